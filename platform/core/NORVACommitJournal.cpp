#include "platform/core/NORVACommitJournal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <set>

#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVALockedFiles.h"

namespace {

namespace faults = NORVAAtomicFileFaults;

const char kFirstLine[] = "KIVO commit journal 1\n";

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

uint64_t fnv1a(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

// An empty folder keeps the path absolute.
std::string relativeTo(const std::string& folder, const std::string& path) {
    if (folder.empty()) return path;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
}

std::string resolve(const std::string& folder, const std::string& path) {
    return !path.empty() && path[0] == '/' ? path : folder + "/" + path;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool syncFolder(const std::string& folder) {
    return !faults::shouldFail(faults::SYNC) && NORVAFileUtils::syncDirectory(NORVAUString(folder));
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (faults::shouldFail(faults::WRITE)) return false;
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, std::string& out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > NORVACommitJournal::kMaxBytes) return false;
    }
}

// True when `path` lies strictly below `folder`, every part after it a plain
// name (no "", "." or ".."), and no part before the last a symbolic link
// (which could lead anywhere). The last part may be one: a move or removal
// acts on the link itself.
bool below(const std::string& folder, const std::string& path) {
    const std::string prefix = folder == "/" ? folder : folder + "/";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t begin = prefix.size();;) {
        const size_t end = path.find('/', begin);
        const std::string part = path.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        struct stat st;
        if (::lstat(path.substr(0, end).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;
        begin = end + 1;
    }
}

// A file's path spelled without "", "." or ".." parts, so that its folder is
// the folder it names.
bool plainFilePath(const std::string& path) {
    const std::string p = path + "/";
    return p.find("//") == std::string::npos && p.find("/./") == std::string::npos &&
           p.find("/../") == std::string::npos;
}

// Where two folders part: the length of the folder both lie in.
size_t sharedLength(const std::string& a, const std::string& b) {
    size_t shared = 0, i = 0;
    for (; i < a.size() && i < b.size() && a[i] == b[i]; ++i)
        if (a[i] == '/') shared = i;
    if ((i == a.size() || a[i] == '/') && (i == b.size() || b[i] == '/')) shared = i;
    return shared;
}

// A folder other than the journal's own holds its names and entries only when
// no other user could have put an entry there: the folder, and every part of
// it below the folder it shares with `own`, is a real folder (no symbolic
// link) of this user that nobody else may write to, and not a sticky one
// (shared by design, like /tmp), where another user may link to our files.
bool privateFolder(const std::string& own, const std::string& folder) {
    for (size_t end = folder.find('/', sharedLength(own, folder) + 1);; end = folder.find('/', end + 1)) {
        struct stat st;
        if (::lstat(folder.substr(0, end).c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
            (st.st_mode & (S_IWOTH | S_ISVTX)) != 0)
            return false;
        if (end == std::string::npos) return true;
    }
}

// Answers of renameat2 that say the call itself is not available here, not
// that the rename is wrong: an old kernel (ENOSYS), a file system without the
// flag (EINVAL, or EOPNOTSUPP on some FUSE and network file systems), or a
// seccomp filter whose default answer is EPERM. A real EPERM of the rename
// comes back again from the plain rename.
bool noReplaceUnavailable(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EPERM;
}

// A journal goes into place without replacing whatever is there: a file
// recovery will not use stays where it is. Where the file system cannot
// promise that, it looks just before.
bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    struct stat st;
    return noReplaceUnavailable(errno) && ::lstat(to.c_str(), &st) != 0 && errno == ENOENT &&
           ::rename(from.c_str(), to.c_str()) == 0;
}

bool belowAny(const std::vector<std::string>& folders, const std::string& path) {
    for (const std::string& folder : folders)
        if (below(folder, path)) return true;
    return false;
}

size_t lineCount(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += c == '\n';
    return n;
}

// A symbolic link goes itself, never what it points to.
bool removePath(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return true;
    if (faults::shouldFail(faults::REMOVE)) return false;
    if (S_ISDIR(st.st_mode)) return NORVAFileUtils::removeDirectory(NORVAUString(path), true);
    return ::unlink(path.c_str()) == 0;
}

}  // namespace

bool NORVACommitJournal::validPath(const std::string& path) {
    return !path.empty() && path[0] == '/' && path.find_first_of(std::string("\t\n\0", 3)) == std::string::npos;
}

bool NORVACommitJournal::addMove(const std::string& from, const std::string& to) {
    if (!validPath(from) || !validPath(to)) return false;
    m_entries.push_back(Entry{MOVE, from, to});
    return true;
}

bool NORVACommitJournal::addRemove(const std::string& path) {
    if (!validPath(path)) return false;
    m_entries.push_back(Entry{REMOVE, path, std::string()});
    return true;
}

bool NORVACommitJournal::setCondition(const std::string& file, const std::string& token) {
    if (!validPath(file) || token.empty() || token.find_first_of("\t\n") != std::string::npos) return false;
    m_conditionFile = file;
    m_conditionToken = token;
    return true;
}

bool NORVACommitJournal::replaceSource(const std::string& to, const std::string& from, std::string& previous) {
    for (Entry& e : m_entries) {
        if (e.kind != MOVE || e.to != to) continue;
        previous = e.from;
        e.from = from;
        return true;
    }
    return false;
}

std::string NORVACommitJournal::serialise(const std::string& folder) const {
    std::string text = kFirstLine;
    for (const Entry& e : m_entries) {
        if (e.kind == MOVE)
            text += "M " + relativeTo(folder, e.from) + "\t" + relativeTo(folder, e.to) + "\n";
        else
            text += "D " + relativeTo(folder, e.from) + "\n";
    }
    for (const std::string& name : m_names) text += "N " + relativeTo(folder, name) + "\n";
    if (hasCondition()) text += "C " + relativeTo(folder, m_conditionFile) + "\t" + m_conditionToken + "\n";
    char end[64];
    std::snprintf(end, sizeof end, "E %zu %016" PRIx64 "\n", m_entries.size(), fnv1a(text));
    return text + end;
}

bool NORVACommitJournal::isThisFile(const std::string& path) const {
    struct stat st;
    return m_inode != 0 && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == m_device &&
           st.st_ino == m_inode;
}

bool NORVACommitJournal::confined(const std::string& path, bool relative, nlink_t links) const {
    // Relative paths were written against the main name's folder: they mean
    // what they say only when the file read is the main name, in that folder.
    if (m_names.empty() ||
        (relative && (!isThisFile(m_names.front()) || folderOf(m_names.front()) != folderOf(path))))
        return false;
    const std::string own = folderOf(path);
    std::vector<std::string> folders{own};
    std::set<std::string> listed;  // names that are this very file
    for (const std::string& name : m_names) {
        if (!plainFilePath(name) || !isThisFile(name)) continue;
        const std::string folder = folderOf(name);
        if (folder != own && !privateFolder(own, folder)) return false;
        if (listed.insert(name).second) folders.push_back(folder);
    }
    // A commit gives its journal the names it lists and no other: a link it
    // does not list was made by someone else. None at all: the file read is
    // none of its names.
    if (listed.empty() || listed.size() != links) return false;
    for (const std::string& name : m_names)
        if (!validPath(name) || !belowAny(folders, name)) return false;
    return entriesBelow(folders);
}

bool NORVACommitJournal::entriesBelow(const std::vector<std::string>& folders) const {
    // A NUL would cut the path short for the system, to the folder itself.
    const auto allowed = [&](const std::string& p) { return validPath(p) && belowAny(folders, p); };
    for (const Entry& e : m_entries)
        if (!allowed(e.from) || (e.kind == MOVE && !allowed(e.to))) return false;
    return !hasCondition() || allowed(m_conditionFile);
}

int NORVACommitJournal::write(const std::vector<std::string>& names) {
    if (names.empty()) return -1;
    for (const std::string& name : names)
        if (!validPath(name)) return -1;
    m_names = names;
    const std::string& main = names.front();
    std::vector<std::string> folders;
    for (const std::string& name : names) folders.push_back(folderOf(name));
    if (!entriesBelow(folders)) return -1;  // recovery would refuse it
    const std::string folder = folderOf(main);
    for (const std::string& f : folders)
        if (f != folder && (!privateFolder(folder, f) || !privateFolder(f, folder))) return -1;
    bool oneFolder = true;
    for (const std::string& f : folders) oneFolder = oneFolder && f == folder;
    const std::string text = serialise(oneFolder ? folder : std::string());
    if (text.size() > kMaxBytes || lineCount(text) > kMaxLines) return -1;
    std::string pattern = folder + "/." + main.substr(main.rfind('/') + 1) + ".tmp-XXXXXX";
    const int fd = NORVALockedFiles::make([&] { return ::mkostemp(&pattern[0], O_CLOEXEC); });
    if (fd < 0) return -1;
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    // The main name appears first: a further name never exists without it,
    // so a crash between the two leaves a journal that the main surface's
    // next open finds.
    std::vector<std::string> made;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && writeAll(fd, text) && !faults::shouldFail(faults::SYNC) && ::fsync(fd) == 0;
    ok = ok && !faults::shouldFail(faults::RENAME) && renameNoReplace(pattern, main);
    if (ok) made.push_back(main);
    for (size_t i = 1; ok && i < names.size(); ++i) {
        ok = !faults::shouldFail(faults::RENAME) && ::link(main.c_str(), names[i].c_str()) == 0;
        if (ok) made.push_back(names[i]);
    }
    ok = ok && syncFolder(folder);
    if (ok) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
        return fd;
    }
    for (const std::string& name : made) ::unlink(name.c_str());
    ::unlink(pattern.c_str());
    NORVALockedFiles::release(fd);
    return -1;
}

bool NORVACommitJournal::read(int fd, const std::string& path) {
    m_entries.clear();
    m_names.clear();
    m_conditionFile.clear();
    m_conditionToken.clear();
    m_device = 0;
    m_inode = 0;
    // Only this user writes this user's journals.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        static_cast<uint64_t>(st.st_size) > kMaxBytes)
        return false;
    std::string text;
    if (!readAll(fd, text) || lineCount(text) > kMaxLines) return false;
    bool relative = false;
    if (!parse(text, folderOf(path), relative)) {
        m_entries.clear();
        m_names.clear();
        return false;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    if (confined(path, relative, st.st_nlink)) return true;
    *this = NORVACommitJournal();
    return false;
}

bool NORVACommitJournal::parse(const std::string& text, const std::string& folder, bool& relative) {
    if (text.size() < sizeof kFirstLine || text.compare(0, sizeof kFirstLine - 1, kFirstLine) != 0 ||
        text.back() != '\n')
        return false;
    const size_t endLine = text.rfind('\n', text.size() - 2) + 1;  // the last line
    if (text.compare(endLine, 2, "E ") != 0) return false;
    size_t count = 0;
    uint64_t sum = 0;
    if (std::sscanf(text.c_str() + endLine, "E %zu %" SCNx64, &count, &sum) != 2) return false;
    const std::string body = text.substr(0, endLine);
    if (fnv1a(body) != sum) return false;
    const auto take = [&](const std::string& p) {
        relative = relative || p.empty() || p[0] != '/';
        return resolve(folder, p);
    };
    for (size_t at = sizeof kFirstLine - 1; at < body.size();) {
        const size_t eol = body.find('\n', at);
        const std::string line = body.substr(at, eol - at);
        at = eol + 1;
        if (line.size() < 3 || line[1] != ' ') return false;
        const std::string rest = line.substr(2);
        const size_t tab = rest.find('\t');
        if (line[0] == 'M' && tab != std::string::npos)
            m_entries.push_back(Entry{MOVE, take(rest.substr(0, tab)), take(rest.substr(tab + 1))});
        else if (line[0] == 'D')
            m_entries.push_back(Entry{REMOVE, take(rest), std::string()});
        else if (line[0] == 'N')
            m_names.push_back(take(rest));
        else if (line[0] == 'C' && tab != std::string::npos && !hasCondition() &&
                 setCondition(take(rest.substr(0, tab)), rest.substr(tab + 1)))
            continue;
        else
            return false;
    }
    return m_entries.size() == count;
}

bool NORVACommitJournal::apply() const {
    std::set<std::string> folders;
    for (const Entry& e : m_entries) {
        folders.insert(folderOf(e.from));
        if (e.kind == REMOVE) {
            if (!removePath(e.from)) return false;
            continue;
        }
        folders.insert(folderOf(e.to));
        // A move whose source is gone was made before a crash. Without a
        // test's plan the rename itself tells, sparing a look per move.
        if (faults::planned()) {
            if (!exists(e.from)) continue;
            if (faults::shouldFail(faults::RENAME)) return false;
        }
        if (::rename(e.from.c_str(), e.to.c_str()) != 0 && (errno != ENOENT || exists(e.from))) return false;
    }
    for (const std::string& folder : folders)
        if (exists(folder) && !syncFolder(folder)) return false;
    return true;
}

// The main name goes first: a rename's surface lives under the new name once
// the moves are made, so the name kept longest is the one its open finds.
bool NORVACommitJournal::removeNames() const {
    bool ok = true;
    for (const std::string& name : m_names) {
        if (!isThisFile(name)) continue;  // gone already, or another file now
        if (faults::shouldFail(faults::REMOVE) || (::unlink(name.c_str()) != 0 && errno != ENOENT)) ok = false;
    }
    return ok;
}
