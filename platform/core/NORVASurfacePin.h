#pragma once
// What a surface object last saw of its surface on disk: the surface's main
// file as it was when the object read it (or was created over it), or as the
// object's own last commit left it. Every commit of a surface replaces its
// main file, and the descriptor kept open here keeps the old file's inode
// from going to a new file, so "the file at the path is the pinned one"
// means "nobody committed since".
//
// A commit refuses with kChanged when its pins no longer hold (another
// process stored the surface after this object read it). Files read after
// the open (grids read when first asked for) are read from a folder the pin
// watches: once another commit came, each file is served only if that
// commit left it as it was at the pin, and refused with kChanged otherwise,
// so that no read mixes generations and none reads "nothing there" where
// the pinned generation had a file. The caller reopens the surface.
#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"

class NORVACommitJournal;
class NORVAPinnedFolder;
class NORVASurfaceLock;

class KIVO_EXPORT NORVASurfacePin {
public:
    static constexpr long kChanged = 146023;
    // A file this user's commits did not write (a symbolic link, a FIFO,
    // another user's file, a journal with a link it does not name) holds the
    // name of the surface's commit journal: recovery will not use it, and no
    // open or commit goes ahead until the user removes it.
    static constexpr long kBlocked = 146025;

    NORVASurfacePin() = default;
    ~NORVASurfacePin() { clear(); }
    NORVASurfacePin(const NORVASurfacePin& other) { *this = other; }
    NORVASurfacePin& operator=(const NORVASurfacePin& other);

    // Pins the file now at the path: "absent" when there is none; lists
    // the watched folder too.
    void take(const NORVAUString& path);
    // Pins what is now at the pinned path (after this object's own commit,
    // whose journal, when given, tells what changed in the watched folder:
    // it is not listed again).
    void retake(const NORVACommitJournal* committed = nullptr);
    // The pinned file has a new name (after this object's own rename); so
    // has the watched folder, which a retake lists anew.
    void follow(const NORVAUString& path);
    // The folder named like the pinned file without its extension (a CUBE
    // surface's grid folder) holds files read after the open: every take
    // lists it.
    void watchFolder() { m_watching = true; }
    bool watchesFolder() const { return m_watching; }
    // The watched folder as the last take listed it; null when none is.
    const NORVAPinnedFolder* folderListing() const { return m_listing.get(); }
    // Nothing pinned: holds for ever.
    void clear();

    // A file stood at the path when it was pinned: a commit this pin
    // guards replaces an existing surface, never makes a new one.
    bool pinnedAFile() const { return !m_path.empty() && m_exists; }
    // True when the file at the path is the pinned one, or both are absent.
    bool unchanged() const;
    // For a read after the open: takes the folder of the pinned file shared
    // into `hold` and checks the pin. 0, kChanged, or NORVASurfaceLock::kBusy.
    long holdUnchanged(NORVASurfaceLock& hold) const;
    // For a read of `file` in the watched folder after the open: as
    // holdUnchanged, but once another commit came, 0 still when that
    // commit left the file (or its absence) as it was at the pin.
    long holdFile(NORVASurfaceLock& hold, const NORVAUString& file) const;
    // The watched folder held a file of that name at the pin.
    bool listed(const NORVAUString& file) const;

private:
    std::string m_path;  // empty: nothing pinned
    bool m_watching = false;
    std::shared_ptr<const NORVAPinnedFolder> m_listing;  // shared by copies
    int m_fd = -1;       // keeps the pinned file's inode
    bool m_exists = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
