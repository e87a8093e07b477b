#include "fuzz/FuzzSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cube_engine/cube.h"
#include "cube_engine/cube_grid.h"

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

_cube_grid* sampleGrid(uint32_t columns, uint32_t rows, uint32_t mode, const _cube_param* params) {
    _cube_grid* grid = cube_grid_new(columns, rows, 1.0f, 1.0f, mode);
    if (grid == nullptr) std::abort();
    const uint64_t nodes = static_cast<uint64_t>(columns) * rows;
    auto feed = [&](uint64_t at, float depth, int times) {
        if (at >= nodes) return;
        for (int i = 0; i < times; ++i) cube_node_update(&grid->nodes[at], depth, 0.01f, depth + 0.1f, 0.02f, params);
    };
    feed(1, 4.0f, 3);  // fewer than the queue holds: stays queued
    feed(2, 10.0f, 20);
    feed(2, 20.0f, 20);
    feed(2, 30.0f, 20);
    if (nodes > 2) {
        cube_node_nominate_hypothesis(&grid->nodes[2], 20.0f);
        cube_node_reject_hypothesis(&grid->nodes[2], 30.0f);
    }
    if (nodes > 3) cube_node_add_basic_hypothesis(&grid->nodes[3], 5.0f, 0.3f);
    for (uint64_t at = 4; at < nodes; ++at) feed(at, 12.0f + static_cast<float>(at % 7), 12);
    if (grid->cache != nullptr)
        for (uint64_t at = 0; at < nodes; ++at) grid->cache[at] = at % 3 == 0 ? cube_grid_nan() : 12.5f;
    return grid;
}

namespace {
int g_accepted = 0;
}

void noteAccepted() { ++g_accepted; }
int acceptedCount() { return g_accepted; }

void silenceEngine() {
    static FILE* sink = std::fopen("/dev/null", "w");
    cube_set_error_stream(sink);
}

}  // namespace fuzzsupport
