#pragma once
// The journal of a multi-file commit: the moves and removals that turn a
// surface's old files into its new ones, written durably before the first
// of them is made. Applying it is idempotent (a move whose source is gone,
// or a removal whose path is gone, counts as done), so a journal found after
// a crash is simply applied again from the start.
//
// Layout (UTF-8 text, one entry a line):
//   "KIVO commit journal 1"
//   "M <from>\t<to>" | "D <path>" | "N <journal name>"
//   | "C <file>\t<token>" (at most one: apply only if the file holds the token)
//   "E <entry count> <FNV-1a 64 of every byte before this line, hex>"
// When every name lies in one folder, paths inside it are kept relative to
// it, so a folder moved as a whole still recovers; otherwise (a rename into
// another folder) every path is absolute, since a relative one would resolve
// against whichever name is read.
//
// A journal found on disk is untrusted: it is taken only when it is a regular
// file of this user, every link of it is one of its names, and every path
// lies below the folder of the file read, or of another of its names that
// is this very file (a hard link) in a folder of this user that no one else
// can add to, spelled without ".", ".." or empty parts and reached through
// no symbolic link. The writer holds itself to the same rule, so it never
// commits what recovery would refuse.
#include <sys/types.h>

#include <string>
#include <vector>

class NORVACommitJournal {
public:
    enum Kind { MOVE, REMOVE };
    struct Entry {
        Kind kind;
        std::string from;  // absolute; the path to remove for REMOVE
        std::string to;
    };

    // Absolute paths; false when a path cannot be kept in a journal line.
    bool addMove(const std::string& from, const std::string& to);
    bool addRemove(const std::string& path);
    // Replaces the source of the move to `to`; false when there is none.
    bool replaceSource(const std::string& to, const std::string& from, std::string& previous);
    bool empty() const { return m_entries.empty(); }
    // A journal written before a step that commits elsewhere (a database's
    // own transaction) holds only if that step wrote `token` into `file`.
    bool setCondition(const std::string& file, const std::string& token);
    bool hasCondition() const { return !m_conditionFile.empty(); }
    const std::string& conditionFile() const { return m_conditionFile; }
    const std::string& conditionToken() const { return m_conditionToken; }
    const std::vector<Entry>& entries() const { return m_entries; }

    // Writes the journal, synced, under every name (the first is the main
    // one, the others are hard links to it made after it appears), never in
    // place of a file already there. Returns a descriptor that holds the
    // journal's lock until NORVALockedFiles::release lets go of it (a forked
    // child has none), or -1 with nothing left behind.
    int write(const std::vector<std::string>& names);
    // Reads a whole journal from `fd`, the file found at `path` (absolute);
    // false for a torn, oversized or foreign file, or one that is not this
    // user's to apply there.
    bool read(int fd, const std::string& path);
    // Makes every move and removal not yet made, then syncs the folders.
    bool apply() const;
    // Removes every name the journal was written under that is still this
    // very file (never another file put in its place).
    bool removeNames() const;
    const std::vector<std::string>& names() const { return m_names; }

    static bool validPath(const std::string& path);

    // Bounds of a journal: a huge file is refused before it is read.
    static const size_t kMaxBytes = 16u << 20;
    static const size_t kMaxLines = 1u << 18;

private:
    std::string serialise(const std::string& folder) const;
    bool isThisFile(const std::string& path) const;
    bool confined(const std::string& path, bool relative, nlink_t links) const;
    bool entriesBelow(const std::vector<std::string>& folders) const;
    bool parse(const std::string& text, const std::string& folder, bool& relative);

    std::vector<Entry> m_entries;
    std::vector<std::string> m_names;
    std::string m_conditionFile;
    std::string m_conditionToken;
    dev_t m_device = 0;
    ino_t m_inode = 0;  // 0 until written or read
};
