#pragma once
// The edit cache of a CUBE surface: grids loaded from their ".vcg" files or
// created through the engine, at most ten at a time, under the process-wide
// memory budget. The least recently used grid makes room; a modified grid
// is written to its file before it is let go, and on every flush, so that
// no edit depends on cache pressure to survive. A grid loaded from its file
// is clean: only grids edited through this surface are ever written.
//
// The grid a caller holds is the cached one: flushes keep it, and eviction
// takes it only when every cached grid is held. A node pointer alone does
// not hold its grid: it stays valid while the grid is cached.
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

#include "cube/CUBEGridEntry.h"

class KIVOSurfaceCUBEIO;

class CUBEEditCache {
public:
    using Entry = std::shared_ptr<CUBEGridEntry>;
    using Map = std::map<CUBEGridIdx, Entry>;

    static constexpr size_t kMaxGrids = 10;
    static constexpr long kNoBudget = 146030;
    static constexpr long kFolderFailed = 146006;
    static constexpr long kOpenForWriteFailed = 146020;
    static constexpr long kNothingToEvict = -1;
    static constexpr long kGridFailed = -1;

    // The grid by key: from the cache, else from its file, else (with
    // create) a new one. Empty for an invalid key or a missing grid without
    // create (status untouched), or on failure (status set; a grid file of a
    // commit made since the surface was opened: NORVASurfacePin::kChanged).
    Entry getGrid(KIVOSurfaceCUBEIO& surface, const CUBEGridIdx& key, long& status, bool create, bool stamp);

    // Lets go of every clean grid no caller holds.
    void dropClean();
    // Whether a grid is modified; with heldToo false, among those no caller holds.
    bool hasModified(bool heldToo) const;
    // Writes every modified grid (into the caller's commit, when one is
    // open), listing it in `written`; they stay cached and modified until
    // the caller marks them clean once they are committed. With heldToo
    // false, grids a caller holds are neither read nor written. The first
    // failure's status is returned.
    long writeModified(const KIVOSurfaceCUBEIO& surface, std::vector<Entry>& written, bool heldToo = true) const;
    static void markClean(const std::vector<Entry>& written);
    // Marks every modified grid clean, writing nothing.
    void markClean();
    // Lets go of every grid, written or not.
    void clear() { m_entries.clear(); }

    bool empty() const { return m_entries.empty(); }
    size_t size() const { return m_entries.size(); }
    const Map& entries() const { return m_entries; }
    uint64_t heldBytes() const;
    // The edit-cache part of the surface's cache dump.
    void print() const;

private:
    // Referenced from outside the cache.
    // The copy's count update synchronises with the holder's last release,
    // so what the holder wrote before is seen by the thread that asks.
    static bool isHeld(const Map::value_type& item) {
        const Entry copy = item.second;
        return copy.use_count() > 2;
    }
    bool makeRoom(KIVOSurfaceCUBEIO& surface, uint64_t need, long& status);
    bool evictOne(KIVOSurfaceCUBEIO& surface, long& status);
    static long save(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry);
    Entry load(KIVOSurfaceCUBEIO& surface, const CUBEGridIdx& key, bool exists, bool create, long& status);
    Entry readGrid(const KIVOSurfaceCUBEIO& surface, Entry entry, long& status);
    Entry createGrid(const KIVOSurfaceCUBEIO& surface, Entry entry, long& status);

    Map m_entries;
};
