#pragma once
// The edit cache of a CUBE surface: grids loaded from their ".vcg" files or
// created through the engine, at most ten at a time, under the process-wide
// memory budget. The least recently used grid makes room; a modified grid
// that goes is staged in a file of its own (CUBEStagedGrids) and read back
// from there when it is asked for again, so that however many grids are
// edited, the grid files change only when the surface commits, which writes
// the modified grids and moves the staged ones in together. A grid loaded
// from its file is clean: only grids edited through this surface are ever
// written.
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
#include "cube/CUBEStagedGrids.h"
#include "platform/core/KIVOExport.h"

class KIVOSurfaceCUBEIO;
class NORVAAtomicFile;
class NORVAFileTransaction;

class KIVO_EXPORT CUBEEditCache {
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
    // For the budget: every grid no caller holds goes, a modified one to its
    // staged file. The first failure's status is returned; that grid stays.
    long releaseUnheld(const KIVOSurfaceCUBEIO& surface);
    // Whether an edit waits for a commit, in a cached or a staged grid.
    bool hasModified() const;
    // Writes every modified grid into the caller's open commit, listing it
    // in `written`, and plans the move of every staged grid over its file;
    // they stay modified until `committed`. The first failure's status is
    // returned.
    long writeModified(const KIVOSurfaceCUBEIO& surface, NORVAFileTransaction& transaction,
                       std::vector<Entry>& written);
    // The commit is done: written grids are clean, staged ones grid files.
    void committed(const std::vector<Entry>& written);
    // Lets go of every edit unwritten: modified grids become clean and
    // staged ones are removed.
    void markClean();
    // Lets go of every grid and staged file, written or not.
    void clear() {
        m_entries.clear();
        m_staged.clear();
    }
    // The grid folder was renamed, with the staged grids in it.
    void followFolder(const NORVAUString& prefix) { m_staged.followFolder(prefix); }
    // See CUBEStagedGrids::tidyFolders.
    void tidyFolders(bool tidy) { m_staged.tidyFolders(tidy); }

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
    // Writes the grid to a new temporary beside its file; 0 with `file` left
    // unopened for a grid that holds no node.
    static long writeGrid(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry, NORVAAtomicFile& file);
    static long save(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry);
    long stage(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry);
    Entry load(KIVOSurfaceCUBEIO& surface, const CUBEGridIdx& key, const NORVAUString& fileName, bool exists,
               bool create, long& status);
    Entry readGrid(const KIVOSurfaceCUBEIO& surface, Entry entry, const NORVAUString& fileName, long& status);
    Entry createGrid(const KIVOSurfaceCUBEIO& surface, Entry entry, long& status);

    Map m_entries;
    CUBEStagedGrids m_staged;
};
