#include "fuzz/FuzzSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cube_engine/cube.h"

namespace fuzzsupport {
namespace {

namespace fs = std::filesystem;

struct Scratch {
    std::string folder;
    Scratch() {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder = (base / ("kivo-fuzz-" + std::to_string(getpid()))).string();
        fs::create_directories(folder);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

}  // namespace

void SeedWriter::add(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(folder_ + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out.good()) {
        ++written_;
    } else {
        std::fprintf(stderr, "cannot write seed %s/%s\n", folder_.c_str(), name.c_str());
        failed_ = true;
    }
}

void SeedWriter::add(const std::string& name, const std::string& bytes) {
    add(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

const std::string& scratchFolder() {
    static Scratch scratch;
    return scratch.folder;
}

std::string writeScratch(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = scratchFolder() + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();  // the harness itself is broken, not the reader
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

std::vector<uint8_t> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void clearScratch(const std::string& name) {
    const fs::path folder = fs::path(scratchFolder()) / name;
    std::error_code ignored;
    if (!fs::is_directory(folder, ignored)) {
        fs::create_directories(folder, ignored);
        return;
    }
    for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove_all(entry.path(), ignored);
}

void silenceEngine() {
    static FILE* sink = std::fopen("/dev/null", "w");
    cube_set_error_stream(sink);
}

}  // namespace fuzzsupport
