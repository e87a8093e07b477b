// Plain driver for the fuzz targets where libFuzzer is absent (and for CI):
//   fuzz_replay_<Target> [--seeds FOLDER] [PATH...]
// --seeds writes the target's seed corpus into FOLDER first; every regular
// file under each PATH (a file or a folder; a missing folder is skipped) is
// then fed once to LLVMFuzzerTestOneInput. A broken invariant traps; seeds
// the reader refuses, every one of them, fail the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

namespace {

bool writeSeeds(const std::string& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file()) fs::remove(entry.path(), error);
    fuzzsupport::SeedWriter seeds(folder);
    kivoFuzzWriteSeeds(seeds);
    std::printf("wrote %d seeds into %s\n", seeds.written(), folder.c_str());
    return !seeds.failed() && seeds.written() > 0;
}

void collect(const fs::path& path, std::vector<fs::path>& files) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
        files.push_back(path);
        return;
    }
    if (!fs::is_directory(path, error)) return;
    for (const auto& entry : fs::recursive_directory_iterator(path, error))
        if (entry.is_regular_file()) files.push_back(entry.path());
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    bool seeded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seeds" && i + 1 < argc) {
            const std::string folder = argv[++i];
            if (!writeSeeds(folder)) return 2;
            seeded = true;
            collect(folder, files);
            continue;
        }
        collect(arg, files);
    }
    std::sort(files.begin(), files.end());
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : files) {
        const std::vector<uint8_t> bytes = fuzzsupport::readWhole(file.string());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int accepted = fuzzsupport::acceptedCount();
    std::printf("replayed %zu inputs in %.3f s, %d read whole\n", files.size(), seconds, accepted);
    if (seeded && accepted == 0) {
        std::printf("the reader refused every seed: the seed writer and the reader disagree\n");
        return 1;
    }
    return 0;
}
