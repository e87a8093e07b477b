#pragma once
// Edited grids that left a CUBE surface's edit cache before the surface
// committed them. Each waits in a synced temporary file of its own beside its
// grid file (".<grid file>.tmp-XXXXXX"), locked while this object holds it,
// until the surface's next commit moves it over the grid file: until then
// the grid files keep what was last committed, however many grids are
// edited. A staged file let go of without a commit is removed; one left by a
// process that died is a leftover that the next open's recovery removes.
#include <map>

#include "cube/CUBEGridIdx.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"

class NORVAAtomicFile;
class NORVAFileTransaction;

class KIVO_EXPORT CUBEStagedGrids {
public:
    CUBEStagedGrids() = default;
    ~CUBEStagedGrids() { clear(); }
    CUBEStagedGrids(CUBEStagedGrids&& other) noexcept
        : m_files(std::move(other.m_files)), m_tidyFolders(other.m_tidyFolders) {
        other.m_files.clear();
    }
    CUBEStagedGrids& operator=(CUBEStagedGrids&& other) noexcept;
    CUBEStagedGrids(const CUBEStagedGrids&) = delete;
    CUBEStagedGrids& operator=(const CUBEStagedGrids&) = delete;

    // Keeps the written, uncommitted `file` as the grid's staged file, in
    // place of the one staged for it before; false when it cannot be kept.
    bool keep(const CUBEGridIdx& key, NORVAAtomicFile& file);
    // The grid's staged file, named through the descriptor this object holds
    // (where the system offers that), so that it is read wherever another
    // object's rename of the surface carried it; empty when none.
    NORVAUString fileOf(const CUBEGridIdx& key) const;
    // Removes the grid's staged file, wherever it is now: its edits are let
    // go of, or are held in the edit cache again.
    void drop(const CUBEGridIdx& key);
    // Removes every staged file.
    void clear();
    bool empty() const { return m_files.empty(); }
    // The grid folder was renamed with the staged files in it: they lie
    // beside the grid files named from `prefix` now.
    void followFolder(const NORVAUString& prefix);
    // The grid folder is named after the surface's header beside it (F/S
    // beside F/S.vcs). A staged file then takes its folder along when it
    // leaves it empty and that header is gone: the surface was deleted
    // while this object held the file, and nothing of it is to stay.
    void tidyFolders(bool tidy) { m_tidyFolders = tidy; }

    // Plans the move of every staged file over its grid file, named from
    // `prefix`. An outermost commit only plans them: the files stay this
    // object's until `committed`, so that they are there for the next try
    // when it fails. A commit nested in another surface's takes them over,
    // since only the outer one decides whether they are moved or removed.
    void commitInto(NORVAFileTransaction& transaction, const NORVAUString& prefix);
    // The commit made the planned moves: the staged files are grid files now.
    void committed();

private:
    struct Staged {
        NORVAUString path;
        int lock = -1;  // holds the file's lock
    };

    static void closeLock(Staged& staged);

    std::map<CUBEGridIdx, Staged> m_files;
    bool m_tidyFolders = false;
};
