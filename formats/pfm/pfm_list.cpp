#include "formats/pfm/pfm_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/pfm/pfm_config.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_files.h"
#include "formats/pfm/pfm_handles.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

const char* const kDataTypeNames[PFM_DATA_TYPES] = {
    "Undefined",
    "Agency merge format",
    "Generic Sensor Format",
    "Optech SHOALS .out format",
    "Optech .xy2 format",
    "Agency ASCII XYZ format",
    "Royal Australian Navy HTF",
    "Demo ASCII XYZ format",
    "IVS DTM data format",
    "Norva ZDRS data format",
    "Ascii XYZ data format",
    "C&C Binary XYZ data format",
    "STB Binary XYZ data format",
    "IVS XYZ Binary data format",
    "OMG Merged data format",
    "C&C Trace data format",
    "Simrad Neptune data format",
    "Shoals 1K(HOF) data format",
    "Shoals Airborne data format",
    "Altas SURF data format",
    "French Carribes format",
    "Danish FAU data format",
    "Agency PFM data format",
    "MapInfo MIF format",
    "Shoals TOF data format",
    "Sidescan processing depth format",
    "HYD93B format",
    "LADS format",
    "HS2 format",
    "9COLLIDAR format",
    "FGE format",
    "PIVOT format",
    "MBSystem format",
    "LAS format",
    "BDI format",
    "Agency lat/lon/depth data format",
};

char g_dataTypeNames[PFM_DATA_TYPES][64];

const char* const kVersionMark = "Software - PFM I/O library V";
const size_t kListLine = PFM_PATH_SIZE;
const long kMaxListBytes = 16L * 1024 * 1024;

// Splits text the way a line reader with a 512-byte buffer would.
struct LineSplitter {
    const char* text;
    size_t size;
    size_t pos = 0;
    bool next(std::string& line) {
        if (pos >= size) return false;
        size_t end = pos;
        while (end < size && text[end] != '\n' && end - pos < kListLine - 1) ++end;
        line.assign(text + pos, end - pos);
        line = line.c_str();
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        pos = end < size && text[end] == '\n' ? end + 1 : end;
        return true;
    }
};

// An input that is not a regular file (a FIFO would hold the open until
// someone writes to it) counts as one that cannot be opened.
bool canOpen(const std::string& name) {
    const int fd = NORVAFileUtils::openRegular(name.c_str(), O_RDONLY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool parseInput(const std::string& line, int32_t versionCode, PFMInputFile& input) {
    if (versionCode < 30) {
        input.name = line;
        return !line.empty();
    }
    char status = ' ';
    short number = 0, type = 0;
    int consumed = 0;
    if (versionCode < 40) {
        if (std::sscanf(line.c_str(), "%1c %hd %n", &status, &number, &consumed) < 2) return false;
    } else {
        if (std::sscanf(line.c_str(), "%1c %hd %hd %n", &status, &number, &type, &consumed) < 3) return false;
    }
    if (consumed <= 0) return false;
    std::string name = line.substr(static_cast<size_t>(consumed));
    const size_t blank = name.find_first_of(" \t");
    if (blank != std::string::npos) name.resize(blank);  // "%s" stops at a blank
    if (name.empty()) return false;
    input.status = status;
    input.number = number;
    input.type = type;
    input.name = name;
    return true;
}

}  // namespace

const char* pfm_data_type_name(int32_t type) {
    if (type < 0 || type >= PFM_DATA_TYPES) return kDataTypeNames[0];
    if (g_dataTypeNames[type][0] == '\0') pfm_fill_data_type_names();
    return g_dataTypeNames[type];
}

void pfm_fill_data_type_names() {
    for (int i = 0; i < PFM_DATA_TYPES; ++i)
        std::snprintf(g_dataTypeNames[i], sizeof g_dataTypeNames[i], "%s", kDataTypeNames[i]);
}

bool pfm_is_handle_file(const char* path) {
    FILE* f = NORVAFileUtils::openRegularFile(path, false);
    if (!f) return false;
    char line[PFM_PATH_SIZE] = {};
    const bool handle = pfm_ngets(line, sizeof line, f) && std::strstr(line, "PFM Handle File");
    std::fclose(f);
    return handle;
}

std::string pfm_handle_data_stem(const char* handlePath) {
    return std::string(handlePath) + ".data/" + pfm_file_name_part(handlePath);
}

int32_t pfm_create_handle_file(const char* handlePath) {
    const std::string folder = std::string(handlePath) + ".data";
    const std::string bar(80, '#');
    std::string text = std::string("PFM Handle File - ") + PFM_VERSION_TEXT + "\n";
    text += "#\n" + bar + "\n#\n";
    text += "# This is a PFM handle file.  If you were expecting to see the PFM list file\n";
    text += "# you need to look for a directory called:\n#\n#\t" + folder + "\n#\n";
    text += "# In that directory should be a file called:\n#\n#\t" + pfm_handle_data_stem(handlePath) + ".ctl\n#\n";
    text += "# That is the PFM list (or control) file.\n";
    text += "#\n" + bar + "\n#\n";
    if (!pfm_write_whole_file(handlePath, text.data(), text.size()))
        return pfm_set_error(PFM_CREATE_HANDLE_FILE_ERROR, "Unable to create the PFM handle file %s, %s", handlePath,
                             std::strerror(errno));
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return pfm_set_error(PFM_CREATE_DATA_FOLDER_ERROR, "Unable to create the PFM data directory %s, %s",
                             folder.c_str(), std::strerror(errno));
    return 0;
}

int32_t pfm_version_code(const char* line) {
    const char* mark = line ? std::strstr(line, kVersionMark) : nullptr;
    if (!mark) return -1;
    float version = 0.0f;
    if (std::sscanf(mark + std::strlen(kVersionMark) - 1, "V%f", &version) != 1) return -1;
    const double code = std::trunc(version * 10.0 + 0.05);
    if (!std::isfinite(code) || code < 0.0 || code > 32767.0) return -1;
    return static_cast<int32_t>(code);
}

int32_t pfm_parse_list_text(const char* text, size_t size, const char* listPath, PFMListContents& contents,
                            bool probeInputs) {
    contents = PFMListContents();
    LineSplitter lines{text, text ? size : 0};
    std::string line;
    if (!lines.next(line))
        return pfm_set_error(PFM_READ_VERSION_ERROR, "Error reading version number from list file %s", listPath);
    contents.version_code = pfm_version_code(line.c_str());
    if (contents.version_code < 0)
        return pfm_set_error(PFM_READ_VERSION_ERROR, "Version string in list file %s in error", listPath);

    std::string* names[4] = {&contents.bin, &contents.index, &contents.mosaic, &contents.target};
    const int32_t codes[4] = {PFM_READ_BIN_NAME_ERROR, PFM_READ_INDEX_NAME_ERROR, PFM_READ_MOSAIC_NAME_ERROR,
                              PFM_READ_TARGET_NAME_ERROR};
    const char* what[4] = {"bin", "index", "mosaic", "target"};
    for (int i = 0; i < 4; ++i) {
        if (!lines.next(line))
            return pfm_set_error(codes[i], "Error reading %s file name from list file %s", what[i], listPath);
        *names[i] = pfm_substitute(line);
    }

    int32_t warning = 0;
    while (lines.next(line)) {
        if (line.empty()) continue;
        PFMInputFile input;
        if (!parseInput(line, contents.version_code, input)) continue;
        const int32_t expected = static_cast<int32_t>(contents.inputs.size());
        if (contents.version_code >= 30 && input.number != expected)
            return pfm_set_error(PFM_LIST_SEQUENCE_ERROR,
                                 "Mismatch between file count %d and file sequence number %d in PFM list file.\n"
                                 "PFM list file %s has been corrupted.\n",
                                 expected, input.number, listPath);
        if (contents.version_code < 30) input.number = static_cast<int16_t>(expected);
        if (probeInputs && !canOpen(input.name)) {
            warning = pfm_set_error(PFM_OPEN_INPUT_FILE_WARNING, "Unable to open input file %s", input.name.c_str());
            const std::string substituted = pfm_substitute(input.name);
            if (!canOpen(substituted))
                warning = pfm_set_error(PFM_OPEN_INPUT_FILE_ERROR, "Unable to open input file %s", input.name.c_str());
        }
        contents.inputs.push_back(input);
        if (contents.inputs.size() > 32767)
            return pfm_set_error(PFM_LIST_SEQUENCE_ERROR,
                                 "Mismatch between file count %d and file sequence number %d in PFM list file.\n"
                                 "PFM list file %s has been corrupted.\n",
                                 32767, 32768, listPath);
    }
    return warning;
}

int32_t pfm_read_list_file(int32_t handle, PFM_OPEN_ARGS* args) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !args) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    FILE* f = nullptr;
    if (!state->read_only) {
        f = NORVAFileUtils::openRegularFile(args->list_path, true);
        if (!f && errno != ENOENT) {
            f = NORVAFileUtils::openRegularFile(args->list_path, false);
            if (f) std::fprintf(stderr, "List file %s is opened read-only.\n", args->list_path);
        }
    } else {
        f = NORVAFileUtils::openRegularFile(args->list_path, false);
    }
    if (!f) return pfm_set_error(PFM_OPEN_LIST_FILE_ERROR, "Error opening %s", args->list_path);
    state->list_fp = f;
    std::string text;
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && static_cast<long>(text.size()) < kMaxListBytes)
        text.append(chunk, n);
    PFMListContents contents;
    const int32_t status = pfm_parse_list_text(text.data(), text.size(), args->list_path, contents, true);
    if (status != 0 && status != PFM_OPEN_INPUT_FILE_ERROR && status != PFM_OPEN_INPUT_FILE_WARNING) return status;
    if (!pfm_copy_path(args->bin_path, sizeof args->bin_path, contents.bin.c_str()) ||
        !pfm_copy_path(args->index_path, sizeof args->index_path, contents.index.c_str()) ||
        !pfm_copy_path(args->image_path, sizeof args->image_path, contents.mosaic.c_str()) ||
        !pfm_copy_path(args->target_path, sizeof args->target_path, contents.target.c_str()))
        return pfm_set_error(PFM_PATH_TOO_LONG, "A file name in list file %s is too long", args->list_path);
    state->version_code = static_cast<int16_t>(contents.version_code);
    return status;
}

int32_t create_list_file(int32_t handle, const PFM_OPEN_ARGS* args) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !args) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    if (pfm_file_exists(args->list_path))
        return pfm_set_error(PFM_CREATE_LIST_FILE_EXISTS, "Trying to create list file %s, already exists",
                             args->list_path);
    std::string text = std::string(PFM_VERSION_TEXT) + "\n" + args->bin_path + "\n" + args->index_path + "\n" +
                       args->image_path + "\n" + args->target_path + "\n";
    if (!pfm_write_whole_file(args->list_path, text.data(), text.size()))
        return pfm_set_error(PFM_CREATE_LIST_FILE_ERROR, "Unable to open list file %s in create_list_file",
                             args->list_path);
    state->list_fp = std::fopen(args->list_path, "r+b");
    if (!state->list_fp)
        return pfm_set_error(PFM_CREATE_LIST_FILE_ERROR, "Unable to open list file %s in create_list_file",
                             args->list_path);
    state->list_created = true;
    return 0;
}

int32_t pfm_open_line_file(int32_t handle, const char* path) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !path) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    FILE* f = nullptr;
    if (!state->read_only) {
        f = NORVAFileUtils::openRegularFile(path, true);
        if (!f && errno != ENOENT) {
            f = NORVAFileUtils::openRegularFile(path, false);
            if (f) std::fprintf(stderr, "Line file is opened read-only.\n");
        }
    } else {
        f = NORVAFileUtils::openRegularFile(path, false);
    }
    if (!f) return pfm_set_error(PFM_OPEN_LINE_FILE_ERROR, "Error opening %s", path);
    state->line_fp = f;
    return 0;
}

int32_t create_line_file(int32_t handle, const char* path) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !path) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    if (pfm_file_exists(path))
        return pfm_set_error(PFM_CREATE_LINE_FILE_EXISTS, "Trying to create line file %s, already exists", path);
    if (!pfm_write_whole_file(path, "", 0) || !(state->line_fp = std::fopen(path, "r+b")))
        return pfm_set_error(PFM_CREATE_LINE_FILE_ERROR, "Unable to open line file %s in create_line_file", path);
    return 0;
}
