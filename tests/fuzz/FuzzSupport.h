#pragma once
// Shared pieces of the fuzz targets: the invariant check, a scratch file for
// readers that only take a path, and the seed writer every target implements.
//
// Each target file (tests/fuzz/<Name>Fuzz.cpp) defines
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t);
//   void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter&);
// The second one writes the target's seed corpus with the library's own
// writers, so the corpus is never a stored blob that drifts from the format.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cube_engine/cube_grid.h"

// A broken invariant is a finding: stop at once so the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                      \
    do {                                                                      \
        if (!(cond)) {                                                        \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond,    \
                         __FILE__, __LINE__);                                 \
            __builtin_trap();                                                 \
        }                                                                     \
    } while (0)

namespace fuzzsupport {

// Collects named seed inputs into one corpus folder.
class SeedWriter {
public:
    explicit SeedWriter(std::string folder) : folder_(std::move(folder)) {}
    void add(const std::string& name, const std::vector<uint8_t>& bytes);
    void add(const std::string& name, const std::string& bytes);
    const std::string& folder() const { return folder_; }
    int written() const { return written_; }
    bool failed() const { return failed_; }

private:
    std::string folder_;
    int written_ = 0;
    bool failed_ = false;
};

// A scratch folder private to this process (in /dev/shm when it exists),
// removed at exit. Readers that only take a path read inputs from files here.
const std::string& scratchFolder();
// Writes the bytes to scratchFolder()/name, replacing what was there, and
// returns the full path.
std::string writeScratch(const std::string& name, const uint8_t* data, size_t size);
// Whole contents of a file, for seeds produced by writers that take a path.
std::vector<uint8_t> readWhole(const std::string& path);
// Removes every file below scratchFolder()/name (a folder), keeping the folder.
void clearScratch(const std::string& name);

// A small engine grid with every kind of node (empty, queued soundings,
// several hypotheses with a nomination and a rejection, a lone hypothesis),
// for seeds of every format that carries engine grids. Free with
// cube_grid_release.
_cube_grid* sampleGrid(uint32_t columns, uint32_t rows, uint32_t mode, const _cube_param* params);

// Targets call this when the reader took an input; the replay driver counts
// them, so a seed corpus the reader refuses whole fails the replay.
void noteAccepted();
int acceptedCount();

// Sends the engine's reports to nowhere; fuzzed inputs fail on purpose.
void silenceEngine();

}  // namespace fuzzsupport

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds);
