#include "formats/pfm/pfm_header.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_geodesic.h"
#include "formats/pfm/pfm_handles.h"
#include "formats/pfm/pfm_huge.h"

namespace {

enum Tag { STRING, I16, I32, UC, UI16, UI32, F32, F64, F64P3, F64P12, F64P15, F64C2, I32C2, I64, B };

using Destination = void* (*)(BIN_HEADER&, PFM_LAYOUT&);

struct KeyRow {
    const char* key;
    Tag tag;
    Destination destination;
    bool counted;           // successive lines fill successive polygon points
    int32_t versionLimit;   // written only by versions below it (0: always)
    size_t width;           // strings: bytes of the field
};

#define HF(f) [](BIN_HEADER& h, PFM_LAYOUT&) -> void* { return &h.f; }
#define LF(f) [](BIN_HEADER&, PFM_LAYOUT& l) -> void* { return &l.f; }
#define S(key, f) {key, STRING, HF(f), false, 0, sizeof(BIN_HEADER::f)}
#define R(key, tag, dest) {key, tag, dest, false, 0, 0}
#define OLD(key, tag, dest) {key, tag, dest, false, 30, 0}

const KeyRow kRows[PFM_KEY_COUNT] = {
    S("[VERSION]", version),
    R("[RECORD LENGTH]", I32, LF(record_length)),
    S("[DATE]", date),
    S("[CLASSIFICATION]", classification),
    OLD("[SOUTH LAT]", F64P12, HF(mbr_min_y)),
    OLD("[WEST LON]", F64P12, HF(mbr_min_x)),
    OLD("[NORTH LAT]", F64P12, HF(mbr_max_y)),
    OLD("[EAST LON]", F64P12, HF(mbr_max_x)),
    R("[MIN Y]", F64P12, HF(mbr_min_y)),
    R("[MIN X]", F64P12, HF(mbr_min_x)),
    R("[MAX Y]", F64P12, HF(mbr_max_y)),
    R("[MAX X]", F64P12, HF(mbr_max_x)),
    R("[BIN SIZE XY]", F64P3, HF(bin_size_xy)),
    R("[X BIN SIZE]", F64P15, HF(x_bin_size_degrees)),
    R("[Y BIN SIZE]", F64P15, HF(y_bin_size_degrees)),
    R("[BIN WIDTH]", I32, HF(bin_width)),
    R("[BIN HEIGHT]", I32, HF(bin_height)),
    R("[MIN FILTERED DEPTH]", F32, HF(min_filtered_depth)),
    R("[MAX FILTERED DEPTH]", F32, HF(max_filtered_depth)),
    R("[MIN FILTERED COORD]", I32C2, HF(min_filtered_coord)),
    R("[MAX FILTERED COORD]", I32C2, HF(max_filtered_coord)),
    R("[MIN DEPTH]", F32, HF(min_depth)),
    R("[MAX DEPTH]", F32, HF(max_depth)),
    R("[MIN COORD]", I32C2, HF(min_coord)),
    R("[MAX COORD]", I32C2, HF(max_coord)),
    R("[COUNT BITS]", I32, LF(count_bits)),
    R("[STD BITS]", I32, LF(std_bits)),
    R("[STD SCALE]", F32, LF(std_scale)),
    R("[DEPTH BITS]", I32, LF(depth_bits)),
    R("[DEPTH SCALE]", F32, LF(depth_scale)),
    R("[DEPTH OFFSET]", F32, LF(depth_offset)),
    OLD("[EDITED FLAG BITS]", I32, LF(flag_bits[PFM_EDITED])),
    OLD("[CHECKED FLAG BITS]", I32, LF(flag_bits[PFM_CHECKED])),
    OLD("[SUSPECT FLAG BITS]", I32, LF(flag_bits[PFM_SUSPECT])),
    OLD("[SELECTED FLAG BITS]", I32, LF(flag_bits[PFM_SELECTED])),
    OLD("[CLASS 1 FLAG BITS]", I32, LF(flag_bits[PFM_CLASS1])),
    OLD("[CLASS 2 FLAG BITS]", I32, LF(flag_bits[PFM_CLASS2])),
    OLD("[PROJECTED X BITS]", I32, LF(projected_x_bits)),
    OLD("[PROJECTED X OFFSET]", F32, LF(projected_x_offset)),
    OLD("[DATA FLAG BITS]", I32, LF(flag_bits[PFM_DATA])),
    R("[RECORD POINTER BITS]", I32, LF(record_pointer_bits)),
    R("[FILE NUMBER BITS]", I32, LF(file_number_bits)),
    R("[LINE NUMBER BITS]", I32, LF(line_number_bits)),
    R("[PING NUMBER BITS]", I32, LF(ping_number_bits)),
    R("[BEAM NUMBER BITS]", I32, LF(beam_number_bits)),
    R("[OFFSET BITS]", I32, LF(offset_bits)),
    R("[VALIDITY BITS]", I32, LF(validity_bits)),
    {"[POINT]", F64C2, HF(polygon), true, 0, 0},
    R("[MINIMUM BIN COUNT]", I32, HF(min_bin_count)),
    R("[MAXIMUM BIN COUNT]", I32, HF(max_bin_count)),
    R("[MIN COUNT COORD]", I32C2, HF(min_count_coord)),
    R("[MAX COUNT COORD]", I32C2, HF(max_count_coord)),
    R("[MIN STANDARD DEVIATION]", F64, HF(min_standard_dev)),
    R("[MAX STANDARD DEVIATION]", F64, HF(max_standard_dev)),
    R("[CHART SCALE]", F32, HF(chart_scale)),
    R("[CLASS TYPE]", I32, HF(class_type)),
    R("[PROJECTION]", UC, HF(projection)),
    R("[PROJECTION ZONE]", UI16, HF(projection_zone)),
    R("[HEMISPHERE]", UC, HF(hemisphere)),
    R("[PROJECTION PARAMETER 0]", F64, HF(projection_params[0])),
    R("[PROJECTION PARAMETER 1]", F64, HF(projection_params[1])),
    R("[PROJECTION PARAMETER 2]", F64, HF(projection_params[2])),
    R("[PROJECTION PARAMETER 3]", F64, HF(projection_params[3])),
    R("[PROJECTION PARAMETER 4]", F64, HF(projection_params[4])),
    R("[PROJECTION PARAMETER 5]", F64, HF(projection_params[5])),
    R("[PROJECTION PARAMETER 6]", F64, HF(projection_params[6])),
    R("[PROJECTION PARAMETER 7]", F64, HF(projection_params[7])),
    R("[PROJECTION PARAMETER 8]", F64, HF(projection_params[8])),
    R("[PROJECTION PARAMETER 9]", F64, HF(projection_params[9])),
    R("[PROJECTION PARAMETER 10]", F64, HF(projection_params[10])),
    R("[PROJECTION PARAMETER 11]", F64, HF(projection_params[11])),
    R("[PROJECTION PARAMETER 12]", F64, HF(projection_params[12])),
    R("[PROJECTION PARAMETER 13]", F64, HF(projection_params[13])),
    R("[PROJECTION PARAMETER 14]", F64, HF(projection_params[14])),
    R("[PROJECTION PARAMETER 15]", F64, HF(projection_params[15])),
    S("[AVERAGE FILTERED NAME]", average_filt_name),
    S("[AVERAGE NAME]", average_name),
    R("[DYNAMIC RELOAD]", B, HF(dynamic_reload)),
    R("[NUMBER OF ATTRIBUTES]", UI16, LF(num_ndx_attr)),
    {"[ATTRIBUTE 0]", STRING, HF(ndx_attr_name[0]), false, 0, 30},
    {"[ATTRIBUTE 1]", STRING, HF(ndx_attr_name[1]), false, 0, 30},
    {"[ATTRIBUTE 2]", STRING, HF(ndx_attr_name[2]), false, 0, 30},
    R("[MINIMUM ATTRIBUTE 0]", F32, HF(min_ndx_attr[0])),
    R("[MAXIMUM ATTRIBUTE 0]", F32, HF(max_ndx_attr[0])),
    R("[MINIMUM ATTRIBUTE 1]", F32, HF(min_ndx_attr[1])),
    R("[MAXIMUM ATTRIBUTE 1]", F32, HF(max_ndx_attr[1])),
    R("[MINIMUM ATTRIBUTE 2]", F32, HF(min_ndx_attr[2])),
    R("[MAXIMUM ATTRIBUTE 2]", F32, HF(max_ndx_attr[2])),
    R("[ATTRIBUTE BITS 0]", I32, LF(ndx_attr_bits[0])),
    R("[ATTRIBUTE BITS 1]", I32, LF(ndx_attr_bits[1])),
    R("[ATTRIBUTE BITS 2]", I32, LF(ndx_attr_bits[2])),
    R("[ATTRIBUTE SCALE 0]", F32, LF(ndx_attr_scale[0])),
    R("[ATTRIBUTE SCALE 1]", F32, LF(ndx_attr_scale[1])),
    R("[ATTRIBUTE SCALE 2]", F32, LF(ndx_attr_scale[2])),
    {"[USER FLAG 1 NAME]", STRING, HF(user_flag_name[0]), false, 0, 30},
    {"[USER FLAG 2 NAME]", STRING, HF(user_flag_name[1]), false, 0, 30},
    {"[USER FLAG 3 NAME]", STRING, HF(user_flag_name[2]), false, 0, 30},
    {"[USER FLAG 4 NAME]", STRING, HF(user_flag_name[3]), false, 0, 30},
    R("[COVERAGE MAP ADDRESS]", I64, LF(coverage_map_address)),
    R("[NULL DEPTH]", F32, LF(null_depth)),
};

#undef HF
#undef LF
#undef S
#undef R
#undef OLD

void copyTrimmed(char* field, size_t width, const char* value) {
    while (*value == ' ' || *value == '\t') ++value;
    size_t n = std::strlen(value);
    while (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t' || value[n - 1] == '\r')) --n;
    if (n >= width) n = width - 1;
    std::memcpy(field, value, n);
    field[n] = '\0';
}

void parseValue(const KeyRow& row, const char* value, BIN_HEADER& head, PFM_LAYOUT& layout) {
    void* dest = row.destination(head, layout);
    switch (row.tag) {
    case STRING:
        copyTrimmed(static_cast<char*>(dest), row.width, value);
        break;
    case I16: {
        short v = 0;
        if (std::sscanf(value, "%hd", &v) == 1) *static_cast<int16_t*>(dest) = v;
        break;
    }
    case UI16: {
        int v = 0;
        if (std::sscanf(value, "%d", &v) == 1) *static_cast<uint16_t*>(dest) = static_cast<uint16_t>(v);
        break;
    }
    case I32:
    case UI32: {
        int v = 0;
        if (std::sscanf(value, "%d", &v) == 1) *static_cast<int32_t*>(dest) = v;
        break;
    }
    case UC: {
        // Scanned into a full-width temporary: "%u" into the byte itself would overrun it.
        unsigned v = 0;
        if (std::sscanf(value, "%u", &v) == 1) *static_cast<uint8_t*>(dest) = static_cast<uint8_t>(v);
        break;
    }
    case B: {
        int v = 0;
        if (std::sscanf(value, "%d", &v) == 1) *static_cast<uint8_t*>(dest) = static_cast<uint8_t>(v);
        break;
    }
    case F32: {
        float v = 0.0f;
        if (std::sscanf(value, "%f", &v) == 1) *static_cast<float*>(dest) = v;
        break;
    }
    case F64:
    case F64P3:
    case F64P12:
    case F64P15: {
        double v = 0.0;
        if (std::sscanf(value, "%lf", &v) == 1) *static_cast<double*>(dest) = v;
        break;
    }
    case F64C2: {
        double x = 0.0, y = 0.0;
        if (std::sscanf(value, "%lf,%lf", &x, &y) != 2) break;
        if (row.counted) {
            if (head.polygon_count < 0 || head.polygon_count >= PFM_POLYGON_POINTS) break;
            head.polygon[head.polygon_count].x = x;
            head.polygon[head.polygon_count].y = y;
            ++head.polygon_count;
        } else {
            static_cast<double*>(dest)[0] = x;
            static_cast<double*>(dest)[1] = y;
        }
        break;
    }
    case I32C2: {
        int a = 0, b = 0;
        if (std::sscanf(value, "%d,%d", &a, &b) != 2) break;
        static_cast<int32_t*>(dest)[0] = a;
        static_cast<int32_t*>(dest)[1] = b;
        break;
    }
    case I64: {
        long long v = 0;
        if (std::sscanf(value, "%lld", &v) == 1) *static_cast<int64_t*>(dest) = v;
        break;
    }
    }
}

void parseLine(const char* line, BIN_HEADER& head, PFM_LAYOUT& layout) {
    const char* eq = std::strchr(line, '=');
    if (!eq) return;
    // Keys are looked for before the "=", so a value naming a key cannot set it.
    const std::string key(line, static_cast<size_t>(eq - line));
    for (const KeyRow& row : kRows)
        if (key.find(row.key) != std::string::npos) parseValue(row, eq + 1, head, layout);
}

bool widthIn(int32_t bits, int32_t low, int32_t high) { return bits >= low && bits <= high; }
bool usableScale(float scale) { return std::isfinite(scale) && scale != 0.0f; }
bool positiveSize(double size) { return std::isfinite(size) && size > 0.0; }

void defaultName(char* field, size_t width, const char* name) {
    if (field[0] == '\0') std::snprintf(field, width, "%s", name);
}

int32_t corrupt(const PFM_HANDLE_STATE* state) {
    return pfm_set_error(PFM_BIN_HEADER_CORRUPT, "%s bin file header corrupt.\n\n", state ? state->list_path : "");
}

std::string formatValue(const KeyRow& row, const void* src, int32_t element) {
    char text[1024] = {};  // room for two doubles printed in full
    switch (row.tag) {
    case STRING:
        std::snprintf(text, sizeof text, "%s", static_cast<const char*>(src));
        break;
    case I16:
        std::snprintf(text, sizeof text, "%hd", *static_cast<const int16_t*>(src));
        break;
    case UI16:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(*static_cast<const uint16_t*>(src)));
        break;
    case I32:
    case UI32:
        std::snprintf(text, sizeof text, "%d", *static_cast<const int32_t*>(src));
        break;
    case UC:
    case B:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(*static_cast<const uint8_t*>(src)));
        break;
    case F32:
        std::snprintf(text, sizeof text, "%f", static_cast<double>(*static_cast<const float*>(src)));
        break;
    case F64:
        std::snprintf(text, sizeof text, "%f", *static_cast<const double*>(src));
        break;
    case F64P3:
        std::snprintf(text, sizeof text, "%.3f", *static_cast<const double*>(src));
        break;
    case F64P12:
        std::snprintf(text, sizeof text, "%.12f", *static_cast<const double*>(src));
        break;
    case F64P15:
        std::snprintf(text, sizeof text, "%.15f", *static_cast<const double*>(src));
        break;
    case F64C2: {
        const double* p = static_cast<const double*>(src) + 2 * element;
        std::snprintf(text, sizeof text, "%f,%f", p[0], p[1]);
        break;
    }
    case I32C2: {
        const int32_t* p = static_cast<const int32_t*>(src);
        std::snprintf(text, sizeof text, "%d,%d", p[0], p[1]);
        break;
    }
    case I64:
        std::snprintf(text, sizeof text, "%" PRId64, *static_cast<const int64_t*>(src));
        break;
    }
    return text;
}

}  // namespace

const char* pfm_header_key(int32_t row) { return row >= 0 && row < PFM_KEY_COUNT ? kRows[row].key : ""; }

void pfm_parse_header_text(const char* text, size_t size, BIN_HEADER& head, PFM_LAYOUT& layout) {
    if (!text) return;
    if (size > PFM_HEADER_SIZE) size = PFM_HEADER_SIZE;
    size_t pos = 0;
    while (pos < size && text[pos] != '\0') {
        size_t end = pos;
        while (end < size && text[end] != '\n' && text[end] != '\0' && end - pos < PFM_HEADER_LINE - 1) ++end;
        const std::string line(text + pos, end - pos);
        parseLine(line.c_str(), head, layout);
        pos = end < size && text[end] == '\n' ? end + 1 : end;
    }
}

int32_t pfm_complete_header(int32_t versionCode, BIN_HEADER& head, PFM_LAYOUT& layout) {
    if (versionCode < 40) {
        head.projection = 0;
        for (auto& name : head.ndx_attr_name) std::snprintf(name, sizeof name, "%s", "UNAVAILABLE");
    }
    if (versionCode < 41) {
        const char* names[PFM_USER_FLAGS] = {"CLASS1", "CLASS2", "PFM_NBR", "UNDEFINED"};
        for (int i = 0; i < PFM_USER_FLAGS; ++i)
            std::snprintf(head.user_flag_name[i], sizeof head.user_flag_name[i], "%s", names[i]);
    }
    const char* userNames[PFM_USER_FLAGS] = {"PFM_USER_01", "PFM_USER_02", "PFM_USER_03", "PFM_USER_04"};
    for (int i = 0; i < PFM_USER_FLAGS; ++i) defaultName(head.user_flag_name[i], 30, userNames[i]);
    defaultName(head.average_filt_name, sizeof head.average_filt_name, "Average Filtered Depth");
    defaultName(head.average_name, sizeof head.average_name, "Average Depth");

    // Widths, sizes and scales decide every offset and division that follows.
    const PFM_LAYOUT& l = layout;
    bool ok = widthIn(l.count_bits, 0, 32) && widthIn(l.std_bits, 0, 32) && widthIn(l.depth_bits, 0, 32) &&
              widthIn(l.validity_bits, 0, 32) && widthIn(l.projected_x_bits, 0, 32) &&
              widthIn(l.file_number_bits, 0, 32) && widthIn(l.line_number_bits, 0, 32) &&
              widthIn(l.ping_number_bits, 0, 32) && widthIn(l.beam_number_bits, 0, 32) &&
              widthIn(l.offset_bits, 0, 32) && widthIn(l.record_pointer_bits, 32, 64) &&
              l.record_length > 0 && l.record_length <= 65535 && l.num_ndx_attr <= PFM_ATTRIBUTES;
    for (int32_t bits : l.flag_bits) ok = ok && widthIn(bits, 0, 32);
    for (int i = 0; i < PFM_ATTRIBUTES; ++i) {
        ok = ok && widthIn(l.ndx_attr_bits[i], 0, 32);
        if (l.ndx_attr_bits[i] > 0) ok = ok && usableScale(l.ndx_attr_scale[i]) && std::isfinite(head.min_ndx_attr[i]);
    }
    ok = ok && usableScale(l.depth_scale) && std::isfinite(l.depth_offset);
    if (l.std_bits > 0) ok = ok && usableScale(l.std_scale);
    ok = ok && head.bin_width > 0 && head.bin_height > 0;
    ok = ok && std::isfinite(head.mbr_min_x) && std::isfinite(head.mbr_min_y) && std::isfinite(head.mbr_max_x) &&
         std::isfinite(head.mbr_max_y);
    if (head.projection != 0)
        ok = ok && positiveSize(head.bin_size_xy);
    else
        ok = ok && positiveSize(head.x_bin_size_degrees) && positiveSize(head.y_bin_size_degrees);
    if (!ok) return PFM_BIN_HEADER_CORRUPT;

    if (layout.num_ndx_attr == 0)
        for (int32_t bits : layout.ndx_attr_bits)
            if (bits != 0) ++layout.num_ndx_attr;

    if (head.projection == 0) {
        const double lat = (head.mbr_min_y + head.mbr_max_y) / 2.0;
        const double lon = (head.mbr_min_x + head.mbr_max_x) / 2.0;
        double distance = 0.0, azimuth = 0.0;
        if (pfm_geodesic_inverse(PFM_WGS84_A, PFM_WGS84_B, lat, lon, lat + head.y_bin_size_degrees, lon, &distance,
                                 &azimuth) == 0)
            head.bin_size_xy = distance;
    }
    return 0;
}

std::string pfm_header_text(int32_t versionCode, const BIN_HEADER& head, const PFM_LAYOUT& layout) {
    BIN_HEADER h = head;
    PFM_LAYOUT l = layout;
    std::string text;
    for (const KeyRow& row : kRows) {
        if (row.versionLimit != 0 && versionCode >= row.versionLimit) continue;
        const void* src = row.destination(h, l);
        const int32_t lines = row.counted ? h.polygon_count : 1;
        for (int32_t i = 0; i < lines && i < PFM_POLYGON_POINTS; ++i)
            text += std::string(row.key) + " = " + formatValue(row, src, i) + "\n";
    }
    if (text.size() > PFM_HEADER_SIZE) return std::string();
    text.resize(PFM_HEADER_SIZE, '\0');
    return text;
}

int32_t pfm_load_header(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    std::vector<char> text(PFM_HEADER_SIZE, '\0');
    if (pfm_huge_seek(state->bin_handle, 0, PFM_HUGE_SEEK_SET) != 0) return corrupt(state);
    // The header block is read whole: a file cut inside it may still hold
    // every line of the text, but it is no structure the library wrote.
    if (pfm_huge_read(state->bin_handle, text.data(), text.size()) != text.size())
        return pfm_bin_read_error();
    BIN_HEADER head;
    PFM_LAYOUT layout = state->config_layout;
    pfm_parse_header_text(text.data(), text.size(), head, layout);
    if (pfm_complete_header(state->version_code, head, layout) != 0) return corrupt(state);
    state->head = head;
    state->layout = layout;
    // A bin file whose header is whole but whose bins are cut short still
    // opens: the bins it holds are served, and each one past its end fails
    // to read on its own.
    return pfm_setup_layout(handle);
}

int32_t parse_bin_header(int32_t handle, BIN_HEADER* head) {
    const int32_t status = pfm_load_header(handle);
    if (status != 0) return status;
    if (head) *head = pfm_state(handle)->head;
    return 0;
}

int32_t write_bin_header(int32_t handle, const BIN_HEADER* head) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !head) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    const std::string text = pfm_header_text(state->version_code, *head, state->layout);
    if (text.empty()) return pfm_set_error(PFM_WRITE_BIN_FILE_ERROR, "%s", "Error writing to bin file");
    if (pfm_huge_seek(state->bin_handle, 0, PFM_HUGE_SEEK_SET) != 0 ||
        pfm_huge_write(state->bin_handle, text.data(), text.size()) != text.size())
        return pfm_set_error(PFM_WRITE_BIN_FILE_ERROR, "%s", "Error writing to bin file");
    state->head = *head;
    return 0;
}
