#include "platform/core/NORVAFileTransaction.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <random>

#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVALockedFiles.h"
#include "platform/core/NORVAPinnedFolder.h"
#include "platform/core/NORVASurfaceLock.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

thread_local NORVAFileTransaction* t_outermost = nullptr;
NORVAFileTransaction::ConditionCheck s_conditionCheck = nullptr;

const char kJournalSuffix[] = ".journal";
const char kTemporaryMark[] = ".tmp-";
const size_t kTemporaryTail = 11;  // ".tmp-" and mkstemp's six characters

std::string absolute(const NORVAUString& path) { return NORVAFileUtils::absolutePath(path.toUTF8()); }

void splitStem(const NORVAUString& stem, std::string& folder, std::string& name) {
    const std::string s = absolute(stem);
    const size_t slash = s.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : s.substr(0, slash);
    name = slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string journalOf(const std::string& folder, const std::string& name) {
    return folder + "/." + name + kJournalSuffix;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isTemporary(const std::string& entry) {
    return entry.size() > kTemporaryTail + 1 && entry[0] == '.' &&
           entry.compare(entry.size() - kTemporaryTail, 5, kTemporaryMark) == 0;
}

bool isJournal(const std::string& entry) {
    return entry.size() > sizeof kJournalSuffix && entry[0] == '.' && endsWith(entry, kJournalSuffix);
}

// A temporary of the stem's own files: "." + name + extension + ".tmp-XXXXXX"
// with at most one dot in the extension, so that the temporaries of
// "survey.2020" are never taken for those of "survey"; or the journal's.
bool isTemporaryOf(const std::string& entry, const std::string& name) {
    if (!isTemporary(entry)) return false;
    const std::string core = entry.substr(1, entry.size() - 1 - kTemporaryTail);
    if (core == name || core == "." + name + kJournalSuffix) return true;
    if (core.compare(0, name.size() + 1, name + ".") != 0) return false;
    return core.find('.', name.size() + 1) == std::string::npos;
}

// The stem's own folder is the one its caller named, whatever the path goes
// through; a folder below it is entered only as a real folder, never through
// a symbolic link (which could lead into another user's folder).
void listFolder(const std::string& folder, bool followLink,
                const std::function<void(const std::string&, bool)>& visit) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) return;
    std::vector<std::pair<std::string, bool>> entries;
    NORVAFileUtils::forEachEntry(fd, [&](const NORVAFileUtils::DirectoryEntry& e) {
        // Most file systems tell the type here, sparing a stat per entry of
        // a folder that may hold many surfaces. A link (DT_LNK) is no folder.
        bool isDir = e.type == DT_DIR;
        if (e.type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(fd, e.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.emplace_back(e.name, isDir);
    });
    ::close(fd);
    for (const auto& e : entries) visit(e.first, e.second);
}

// Journals and temporaries of the stem: its own beside it, and all inside
// the folder named like it.
void forEachLeftover(const NORVAUString& stem, const std::function<void(const std::string&)>& visit,
                     bool stemFolder = true) {
    std::string folder, name;
    splitStem(stem, folder, name);
    listFolder(folder, true, [&](const std::string& entry, bool isDir) {
        if (!isDir && (entry == "." + name + kJournalSuffix || isTemporaryOf(entry, name))) visit(folder + "/" + entry);
    });
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
        listFolder(dir, false, [&](const std::string& entry, bool isDir) {
            if (isDir)
                walk(dir + "/" + entry);
            else if (isJournal(entry) || isTemporary(entry))
                visit(dir + "/" + entry);
        });
    };
    if (stemFolder) walk(folder + "/" + name);
}

// True when `path` can be a file this user's commit wrote: a regular file of
// this user, reached through no symbolic link; `fd` is then open on it, or -1
// when it cannot be opened. Anything else named like a journal or a
// temporary (a link, a FIFO, a device, another user's file) is never opened
// (a FIFO would wait for a writer).
bool openOwnFile(const std::string& path, struct stat& st, int& fd) {
    fd = -1;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened;
    if (fd < 0 || (::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino)) return true;
    ::close(fd);  // replaced meanwhile
    fd = -1;
    return false;
}

// A live writer holds the lock of its temporary (or journal) for as long as
// it may still need the file.
bool heldByWriter(const std::string& path) {
    struct stat st;
    int fd = -1;
    if (!openOwnFile(path, st, fd) || fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    NORVALockedFiles::release(fd);
    return held;
}

// What finishing a journal name came to: done (or nothing there), a file
// that is no journal of this user's (left alone: nothing of ours to
// finish), one of ours that recovery refuses (another link it does not
// name: kept), or a journal not finished.
enum Finished { DONE, FOREIGN, KEPT, UNFINISHED };

// Why openOwnFile refused a file, from what it found (`st` zeroed before):
// nothing (or one of ours replaced meanwhile, which the caller's next look
// finds), or a file that is not ours.
Finished notOwnFile(const struct stat& st) {
    return st.st_mode != 0 && (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) ? FOREIGN : DONE;
}

// A temporary is left to a live writer, who holds its lock, and to its
// owner when it is not ours alone (another link to it).
bool removeUnlessLocked(const std::string& path) {
    struct stat st;
    int fd = -1;
    if (!openOwnFile(path, st, fd) || fd < 0) return false;
    bool removed = false;
    if (st.st_nlink == 1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    NORVALockedFiles::release(fd);
    return removed;
}

// Tells this commit from every other one of the file, in any process.
std::string newToken() {
    std::random_device device;
    const uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const uint64_t mixed = (static_cast<uint64_t>(device()) << 32 | device()) ^ now ^
                           static_cast<uint64_t>(::getpid()) << 40;
    char text[40];
    std::snprintf(text, sizeof text, "%016" PRIx64 "-%u", mixed, device());
    return text;
}

// A journal whose commit was decided elsewhere: finished when that commit
// happened, dropped (its temporaries go with the stem's) when it did not.
bool finishConditional(const NORVACommitJournal& journal) {
    const int holds = s_conditionCheck ? s_conditionCheck(journal.conditionFile(), journal.conditionToken()) : -1;
    if (holds < 0) return false;
    return holds > 0 ? journal.apply() && journal.removeNames() : journal.removeNames();
}

// Waits for a live writer, then finishes what its journal names. What is
// not this user's journal is left alone: there is nothing of ours to finish.
Finished finishJournal(const std::string& path) {
    struct stat found {}, now;
    int fd = -1;
    if (!openOwnFile(path, found, fd)) return notOwnFile(found);
    if (fd < 0) return UNFINISHED;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    if (::lstat(path.c_str(), &now) != 0 || found.st_ino != now.st_ino || found.st_dev != now.st_dev) {
        NORVALockedFiles::release(fd);  // the writer finished it meanwhile
        return DONE;
    }
    NORVACommitJournal journal;
    bool ok = true;
    if (!journal.read(fd, path)) {
        // Journals appear whole (written aside, then renamed) and are taken
        // back as written, so this is no journal of ours: no move was ever
        // made under it. With another link, though, it may be ours with a
        // link someone else made: kept, and the surface refused meanwhile.
        NORVALockedFiles::release(fd);
        if (now.st_nlink != 1) return KEPT;
        return ::unlink(path.c_str()) == 0 ? DONE : UNFINISHED;
    } else if (journal.hasCondition()) {
        ok = finishConditional(journal);
    } else {
        ok = journal.apply() && journal.removeNames();
    }
    NORVALockedFiles::release(fd);
    return ok ? DONE : UNFINISHED;
}

// The folders a commit changes: those its moves and removals reach into, a
// removed folder itself, and those its journal names lie in.
std::vector<std::string> foldersOf(const NORVACommitJournal& journal, const std::vector<std::string>& names) {
    std::vector<std::string> folders;
    for (const std::string& name : names) folders.push_back(NORVASurfaceLock::folderOf(name));
    for (const NORVACommitJournal::Entry& e : journal.entries()) {
        folders.push_back(NORVASurfaceLock::folderOf(e.from));
        struct stat st;
        if (e.kind == NORVACommitJournal::MOVE)
            folders.push_back(NORVASurfaceLock::folderOf(e.to));
        else if (::lstat(e.from.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            folders.push_back(e.from);
    }
    return folders;
}

// A journal is finished holding the folders it changes, as its commit did:
// no open reads them halfway. Mostly it is a live writer's: once the writer
// is done (a shared hold waits for that), it is gone and nothing is left to
// take exclusively.
Finished finishHeld(const std::string& path) {
    struct stat st {};
    int fd = -1;
    // What is not this user's journal is left alone, as finishJournal would,
    // and not even opened to be looked at (a FIFO would wait for a writer).
    if (!openOwnFile(path, st, fd)) return notOwnFile(st);
    NORVACommitJournal journal;
    if (fd >= 0 && !journal.read(fd, path)) journal = NORVACommitJournal();
    if (fd >= 0) ::close(fd);
    const std::vector<std::string> folders = foldersOf(journal, {path});
    for (const NORVASurfaceLock::Mode mode : {NORVASurfaceLock::SHARED, NORVASurfaceLock::EXCLUSIVE}) {
        NORVASurfaceLock hold;
        if (hold.lock(folders, mode) != 0) return UNFINISHED;
        if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? DONE : UNFINISHED;
        if (mode == NORVASurfaceLock::EXCLUSIVE) return finishJournal(path);
    }
    return UNFINISHED;
}

// What stood at a name the commit could not write its journal under: 0
// nothing; kBlocked a file recovery will not use; -1 a journal of ours a
// crash left since `recover` ran, which the next `recover` finishes.
long occupied(const std::string& journal) {
    struct stat st;
    if (::lstat(journal.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
    const bool ours = S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
    return ours ? -1 : NORVASurfacePin::kBlocked;
}

// A journal's temporary is written under its commit's exclusive hold, not
// locked from its first moment: the folders holding them are held shared
// while they go, and one a live writer holds stays.
void removeTemporaries(const std::vector<std::string>& folders, const std::vector<std::string>& temporaries) {
    NORVASurfaceLock hold;
    if (!temporaries.empty() && hold.lock(folders, NORVASurfaceLock::SHARED) == 0)
        for (const std::string& temp : temporaries) (void)removeUnlessLocked(temp);
}

// For an open holding the stem's folder shared: the temporaries the pin's
// listing of the watched folder shows are swept as `recover` would (a live
// writer's stay); false when it shows what takes `recover`'s own walk (a
// journal, a folder) or there is no listing.
bool sweptFromListing(const NORVASurfacePin& pin) {
    const NORVAPinnedFolder* listing = pin.folderListing();
    if (listing == nullptr || listing->mayHideLeftovers()) return false;
    std::vector<std::string> temporaries;
    for (const std::string& name : listing->dotNames()) {
        if (isJournal(name)) return false;
        if (isTemporary(name)) temporaries.push_back(listing->folder() + "/" + name);
    }
    removeTemporaries({listing->folder()}, temporaries);
    return true;
}

}  // namespace

NORVAFileTransaction::NORVAFileTransaction(const NORVAUString& stem) {
    if (t_outermost) {
        m_outer = t_outermost;
        return;
    }
    std::string folder, name;
    splitStem(stem, folder, name);
    m_journals.push_back(journalOf(folder, name));
    m_failed = name.empty();  // no surface to journal for
    t_outermost = this;
}

NORVAFileTransaction::~NORVAFileTransaction() {
    if (m_outer) {
        if (!m_done) m_outer->fail();
        return;
    }
    if (!m_done) discard();
    if (t_outermost == this) t_outermost = nullptr;
}

NORVAFileTransaction* NORVAFileTransaction::current() { return t_outermost; }

void NORVAFileTransaction::move(const NORVAUString& from, const NORVAUString& to) {
    if (m_outer) return m_outer->move(from, to);
    if (!m_plan.addMove(absolute(from), absolute(to))) fail();
}

void NORVAFileTransaction::remove(const NORVAUString& path) {
    if (m_outer) return m_outer->remove(path);
    if (!m_plan.addRemove(absolute(path))) fail();
}

void NORVAFileTransaction::journalAlsoAt(const NORVAUString& stem) {
    // The outer surface's journal governs; a member's would move with it.
    if (m_outer) return;
    std::string folder, name;
    splitStem(stem, folder, name);
    const std::string journal = journalOf(folder, name);
    for (const std::string& j : m_journals)
        if (j == journal) return;
    m_journals.push_back(journal);
}

bool NORVAFileTransaction::decideBy(const NORVAUString& file, DecisiveStep step) {
    if (m_outer) return m_outer->decideBy(file, std::move(step));
    const std::string path = absolute(file);
    if (m_decisive || !step || !NORVACommitJournal::validPath(path)) return false;
    m_decisiveFile = path;
    m_decisive = std::move(step);
    return true;
}

NORVAFileTransaction::ConditionCheck NORVAFileTransaction::setConditionCheck(ConditionCheck check) {
    const ConditionCheck before = s_conditionCheck;
    s_conditionCheck = check;
    return before;
}

void NORVAFileTransaction::fail() {
    if (m_outer) return m_outer->fail();
    m_failed = true;
}

void NORVAFileTransaction::guard(NORVASurfacePin& pin, const NORVAUString& renamedTo) {
    if (m_outer) return m_outer->guard(pin, renamedTo);
    m_pins.emplace_back(&pin, renamedTo);
}

void NORVAFileTransaction::require(Precondition check) {
    if (m_outer) return m_outer->require(std::move(check));
    if (check) m_preconditions.push_back(std::move(check));
}

bool NORVAFileTransaction::hasFailed() const { return m_outer ? m_outer->hasFailed() : m_failed; }

void NORVAFileTransaction::stage(const NORVAUString& temporary, const NORVAUString& target, int lockFd) {
    if (m_outer) return m_outer->stage(temporary, target, lockFd);
    const std::string temp = absolute(temporary), to = absolute(target);
    m_temporaries.push_back(temp);
    if (lockFd >= 0) m_locks.push_back(lockFd);
    // A target written twice keeps its last content.
    std::string previous;
    if (m_plan.replaceSource(to, temp, previous)) {
        ::unlink(previous.c_str());
        return;
    }
    if (!m_plan.addMove(temp, to)) fail();
}

bool NORVAFileTransaction::commit() {
    if (m_outer) {
        m_done = true;
        return !m_outer->hasFailed();
    }
    if (t_outermost == this) t_outermost = nullptr;  // files written from now on are not ours
    if (m_failed) {
        discard();
        return false;
    }
    m_done = true;
    // From before the journal is written until it is gone, nobody else
    // commits or reads in these folders.
    NORVASurfaceLock hold;
    if (hold.lock(foldersOf(m_plan, m_journals), NORVASurfaceLock::EXCLUSIVE) != 0) m_refusal = NORVASurfaceLock::kBusy;
    for (const auto& pin : m_pins)
        if (m_refusal == 0 && !pin.first->unchanged()) m_refusal = NORVASurfacePin::kChanged;
    for (const Precondition& check : m_preconditions)
        if (m_refusal == 0) m_refusal = check();
    if (m_refusal != 0) {
        discard();
        return false;
    }
    const std::string token = m_decisive ? newToken() : std::string();
    if (m_plan.empty()) {
        const bool decided = !m_decisive || m_decisive(token);
        closeLocks();
        if (decided) repin();
        return decided;
    }
    if (m_decisive && !m_plan.setCondition(m_decisiveFile, token)) {
        discard();
        return false;
    }
    const int journal = m_plan.write(m_journals);
    if (journal < 0) {
        // A journal is never written over a file in its place: one recovery
        // will not use stays where it is, and so does a crash's, for `recover`.
        for (const std::string& name : m_journals)
            if (m_refusal == 0 && occupied(name) > 0) m_refusal = NORVASurfacePin::kBlocked;
        discard();
        return false;
    }
    if (m_decisive && !m_decisive(token)) {
        // Its file kept the old content, so the staged files are dropped; a
        // journal that outlives this is dropped by `recover` just the same.
        (void)m_plan.removeNames();
        NORVALockedFiles::release(journal);
        discard();
        return false;
    }
    // Past this point the commit has happened: a failed move is tried once
    // more, and otherwise left to the next `recover`.
    const bool ok = m_plan.apply() || m_plan.apply();
    if (ok && !m_plan.removeNames()) (void)m_plan.removeNames();
    NORVALockedFiles::release(journal);
    closeLocks();
    m_temporaries.clear();
    if (ok) repin();
    return ok;
}

// Still holding the folders: what is pinned now is this commit's own.
void NORVAFileTransaction::repin() {
    for (const auto& pin : m_pins) {
        // A renamed folder is listed anew; otherwise the journal says what
        // changed in it.
        if (!pin.second.isEmpty()) pin.first->follow(pin.second);
        pin.first->retake(pin.second.isEmpty() ? &m_plan : nullptr);
    }
}

void NORVAFileTransaction::discard() {
    if (m_outer) return m_outer->fail();
    for (const std::string& temp : m_temporaries) ::unlink(temp.c_str());
    m_temporaries.clear();
    closeLocks();
    m_plan = NORVACommitJournal();
    m_decisive = nullptr;
    m_done = true;
    if (t_outermost == this) t_outermost = nullptr;
}

void NORVAFileTransaction::closeLocks() {
    for (const int fd : m_locks) NORVALockedFiles::release(fd);
    m_locks.clear();
}

bool NORVAFileTransaction::recover(const NORVAUString& stem) { return recoverStatus(stem, -1) == 0; }

long NORVAFileTransaction::recoverStatus(const NORVAUString& stem, long unfinished, bool stemFolder) {
    std::string folder, name;
    splitStem(stem, folder, name);
    if (name.empty()) return 0;
    // The stem's own journal name is the one its commits write: whatever
    // holds it blocks them. Inside the folder, only a journal that may be
    // ours does (a member's or a grid's name is no commit's).
    const std::string own = journalOf(folder, name);
    const Finished first = finishHeld(own);
    long status = first == DONE ? 0 : first == UNFINISHED ? unfinished : NORVASurfacePin::kBlocked;
    std::vector<std::string> temporaries;
    forEachLeftover(stem, [&](const std::string& path) {
        const std::string entry = path.substr(path.rfind('/') + 1);
        if (!isJournal(entry)) {
            temporaries.push_back(path);
            return;
        }
        if (path == own && first != DONE) return;
        const Finished finished = finishHeld(path);
        if (status == 0 && (finished == KEPT || (finished == FOREIGN && path == own)))
            status = NORVASurfacePin::kBlocked;
        if (finished == UNFINISHED) status = unfinished;
    }, stemFolder);
    if (status != 0) return status;  // its temporaries may still be needed
    removeTemporaries({folder, folder + "/" + name}, temporaries);
    return 0;
}

long NORVAFileTransaction::holdForReading(const NORVAUString& stem, NORVASurfaceLock& hold, bool stemFolder) {
    std::string folder, name;
    splitStem(stem, folder, name);
    // A journal seen under the shared hold is no live commit's (a commit
    // holds its folder exclusively while its journal exists) but one a crash
    // left: it is finished outside the hold, which is then taken again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const long recovered = recoverStatus(stem, -1, stemFolder)) return recovered;
        if (hold.lock(folder, NORVASurfaceLock::SHARED) != 0) return NORVASurfaceLock::kBusy;
        struct stat st;
        if (name.empty() || ::lstat(journalOf(folder, name).c_str(), &st) != 0) return 0;
        hold.release();
    }
    return NORVASurfaceLock::kBusy;
}

// Each file the read opens is of one commit or another; the main file,
// which every commit replaces, pinned before and looked at after, tells
// whether they were all of the same. The pin is taken with no commit under
// way, and the look waits for one under way to end. A read overtaken twice
// is made under the shared hold: a writer then waits for it once, rather
// than a reader slower than the commits for ever.
long NORVAFileTransaction::readCommitted(const NORVAUString& stem, const NORVAUString& mainFile, NORVASurfacePin& pin,
                                         long unfinished, const std::function<long()>& read) {
    const int kFreeReads = 2;
    // A folder the pin lists anyway is not walked for leftovers as well: its
    // temporaries are swept from the pin's listing, and only a journal or a
    // folder in it takes the walk. One listing of it per open.
    bool walked = !pin.watchesFolder();
    for (int attempt = 0;; ++attempt) {
        NORVASurfaceLock hold;
        const long held = holdForReading(stem, hold, walked);
        if (held != 0) return held == -1 ? unfinished : held;
        pin.take(mainFile);
        if (!walked && !sweptFromListing(pin)) {
            walked = true;
            --attempt;
            continue;
        }
        if (attempt == kFreeReads) return read();
        hold.release();
        const long status = read();
        NORVASurfaceLock look;
        const long changed = pin.holdUnchanged(look);
        if (changed != NORVASurfacePin::kChanged) return changed == 0 ? status : changed;
    }
}

bool NORVAFileTransaction::holdsOnly(const std::vector<NORVAUString>& entries, const std::set<NORVAUString>& own) {
    for (const NORVAUString& entry : entries) {
        const std::string name = entry.toUTF8();
        if (own.count(entry) == 0 && !isTemporary(name) && !isJournal(name)) return false;
    }
    return true;
}

std::vector<NORVAUString> NORVAFileTransaction::leftovers(const NORVAUString& stem) {
    std::vector<NORVAUString> found;
    std::string folder, name;
    splitStem(stem, folder, name);
    if (name.empty()) return found;
    forEachLeftover(stem, [&](const std::string& path) { found.emplace_back(path); });
    return found;
}

std::vector<NORVAUString> NORVAFileTransaction::abandoned(const NORVAUString& stem) {
    std::vector<NORVAUString> found;
    for (const NORVAUString& path : leftovers(stem))
        if (!heldByWriter(path.toUTF8())) found.push_back(path);
    return found;
}
