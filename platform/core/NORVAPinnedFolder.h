#pragma once
// The entries of a surface's folder as of the generation a pin holds (the
// grid folder of a CUBE surface, whose files are read long after the open).
// When another object has committed the surface since, a file of the folder
// may still be served if that commit left it alone: it is the very file that
// was listed (same inode), and nothing has changed it since the commit that
// came after the pin began (its change time is older than the time that
// commit stamped on the pinned main file when it replaced it: every commit
// replaces the main file before any other). A name that was not there then
// and is not there now is absent in both generations.
//
// Both times are the file system's own stamps, so no clock is compared with
// another; a change time equal to the mark counts as a change, so that a
// file a later commit moved in is never taken for an old one, even when an
// inode number was reused.
#include <sys/types.h>
#include <time.h>

#include <string>
#include <unordered_map>
#include <vector>

struct stat;

class NORVACommitJournal;

class NORVAPinnedFolder {
public:
    enum Verdict {
        SAME,     // the file now at the name is the listed one
        ABSENT,   // no such file then or now
        CHANGED,  // added, removed or replaced since the listing
    };

    // Lists the folder now; a folder that does not exist lists empty.
    explicit NORVAPinnedFolder(const std::string& folder);
    // The listing after this object's own commit: the names it moved in are
    // of unknown files (never judged the same), those it moved away or
    // removed are gone.
    NORVAPinnedFolder(const NORVAPinnedFolder& before, const NORVACommitJournal& committed);

    const std::string& folder() const { return m_folder; }
    bool listed(const std::string& name) const { return m_entries.count(name) != 0; }
    // Names a commit's journal or temporary could have (those starting with
    // a dot): a crash may have left them.
    const std::vector<std::string>& dotNames() const { return m_dotNames; }
    // A folder (or an entry of unknown type) was listed, or not every entry
    // was read: what a crash left may lie deeper.
    bool mayHideLeftovers() const { return m_hidden; }
    // `now` is lstat(2) of the name now, or nullptr when there is none; a
    // file on another device than `device` is another file.
    // `changedSince` the change time of the pinned main file once replaced.
    Verdict judge(const std::string& name, const struct stat* now, dev_t device,
                  const struct timespec& changedSince) const;

private:
    std::string m_folder;
    bool m_whole = false;  // every entry was read (else nothing is judged same or absent)
    bool m_hidden = false;
    std::vector<std::string> m_dotNames;
    std::unordered_map<std::string, ino_t> m_entries;  // inode 0: a file not known
};
