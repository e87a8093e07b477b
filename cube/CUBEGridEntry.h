#pragma once
// One grid held in a CUBE surface's edit cache, and the contents of its
// ".vcg" grid file: magic, version 1, layout word, state word, engine grid.
// The caller that edits the grid through the entry sets its state to
// kModified. Known to callers as KIVOSurfaceCUBEIO::_cubeEntry.
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "cube/CUBEGridIdx.h"
#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"

class KIVO_EXPORT CUBEGridEntry : public CUBEGridIdx {
public:
    static constexpr uint32_t kModified = 1;
    static constexpr uint32_t kClean = 3;
    static constexpr uint16_t kFileVersion = 1;
    static constexpr int16_t kLayout = 1;
    static constexpr long kReadFailed = -1;
    static constexpr long kHeaderWriteFailed = 146006;
    static constexpr long kGridWriteFailed = 146020;

    CUBEGridEntry() = default;
    explicit CUBEGridEntry(const CUBEGridIdx& key) : CUBEGridIdx(key) {}
    ~CUBEGridEntry();
    CUBEGridEntry(const CUBEGridEntry&) = delete;
    CUBEGridEntry& operator=(const CUBEGridEntry&) = delete;

    bool operator<(const CUBEGridEntry& o) const { return CUBEGridIdx::operator<(o); }
    bool operator==(const CUBEGridEntry& o) const { return CUBEGridIdx::operator==(o) && grid == o.grid; }
    bool operator!=(const CUBEGridEntry& o) const { return !(*this == o); }

    // Reads a grid file from the stream's position. A grid wider or taller
    // than maxSide nodes, or larger than the file can hold, is refused before
    // anything is allocated. With modifiedOnly, a clean file reads no grid.
    long read(FILE* file, const _cube_param* params, bool modifiedOnly, uint32_t maxSide = UINT32_MAX);
    long write(FILE* file, const _cube_param* params) const;
    // What the grid holds in memory (nodes, cached values, hypotheses and
    // each node's queue as the heap hands it out): what the budget charges
    // for a grid in the cache. A grid's file is much smaller.
    uint64_t residentBytes(const _cube_param* params) const;

    _cube_grid* grid = nullptr;  // owned
    time_t stamp = 0;            // last use, whole seconds
    uint32_t state = 0;
    uint64_t bytes = 0;          // what the memory budget was charged for it

private:
    long readBody(FILE* file, const _cube_param* params, int16_t layout, uint32_t maxSide);
};
