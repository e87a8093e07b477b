#pragma once
// One commit for a store or rename that touches several files: either every
// file of the surface takes its new content (or name), or none does, even
// when the process dies at any moment or a disk fills up.
//
// While a transaction is open on a thread, every NORVAAtomicFile committed
// on that thread is not renamed over its target: its synced temporary is
// handed to the transaction. `commit` then writes and syncs a journal naming
// every move (temporary -> target, or old -> new name for renames) and every
// removal, makes them, syncs the folders and removes the journal. Whoever
// next opens, stores or deletes the surface calls `recover`, which finishes
// a journal left by a crash and removes temporaries that no journal names.
//
// A transaction opened while another is open on the same thread joins it:
// its files, moves and removals are committed by the outer one, and when it
// ends uncommitted (or one of its files fails) the outer one fails too.
// Until the commit, targets keep their old content.
//
// The commit holds every folder it changes exclusively (NORVASurfaceLock)
// from before its journal is written until it is removed, and `recover`
// holds them so while it finishes a journal. An open (`readCommitted`)
// reads without holding anything and checks after that no commit replaced
// the surface's main file meanwhile, else reads again: a reader holds up a
// writer for a look, or for one read once the writer overtook it twice. A
// commit refuses when a surface object's pin that guards it no longer
// holds: another process committed that surface since the object read it.
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/NORVACommitJournal.h"
#include "platform/core/NORVAUString.h"

class NORVASurfaceLock;
class NORVASurfacePin;

class NORVAFileTransaction {
public:
    // `stem` is the surface's path without extension; the journal is
    // "." + name + ".journal" in its folder.
    explicit NORVAFileTransaction(const NORVAUString& stem);
    // Not committed: every temporary is removed and nothing is moved.
    ~NORVAFileTransaction();
    NORVAFileTransaction(const NORVAFileTransaction&) = delete;
    NORVAFileTransaction& operator=(const NORVAFileTransaction&) = delete;

    // The transaction that collects this thread's atomic files, if any.
    static NORVAFileTransaction* current();
    bool isNested() const { return m_outer != nullptr; }

    // Plans a rename of a file or folder (made in the order planned, after
    // the atomic files staged before it) or a removal (a folder with its
    // contents). A source that is missing at commit time is skipped.
    void move(const NORVAUString& from, const NORVAUString& to);
    void remove(const NORVAUString& path);
    // A rename also journals under the new stem, so that opening either
    // name after a crash finishes it. Nested: ignored, the outer surface's
    // journal governs.
    void journalAlsoAt(const NORVAUString& stem);
    // A file that commits through its own transaction (a database) joins
    // this one: `step` runs inside `commit`, after the journal is durable and
    // before any move, and must write the token it is given into `file` in
    // the same transaction it commits. The journal then holds only if the
    // file holds that token: a crash before the step's commit drops the
    // staged files, one after it finishes them. One such file per
    // transaction; false (nothing joined) when one is there already.
    using DecisiveStep = std::function<bool(const std::string& token)>;
    bool decideBy(const NORVAUString& file, DecisiveStep step);
    // How `recover` asks whether `file` holds `token`: 1 yes, 0 no, negative
    // when it cannot tell (the journal is kept). Set by the kit that writes
    // such files; without one, such a journal is kept. Returns the one before.
    using ConditionCheck = int (*)(const std::string& file, const std::string& token);
    static ConditionCheck setConditionCheck(ConditionCheck check);

    // The commit goes ahead only while the pin holds, and pins what it
    // wrote once done (nested: the outer commit does), under `renamedTo`
    // when the commit renames the pinned file. The pin must outlive the
    // transaction.
    void guard(NORVASurfacePin& pin, const NORVAUString& renamedTo = NORVAUString());
    // The commit goes ahead only when `check`, run while the commit holds
    // its folders (so that no other commit there changes the answer), gives
    // 0; otherwise it is refused with what `check` gave (nested: the outer
    // commit runs it).
    using Precondition = std::function<long()>;
    void require(Precondition check);

    // Makes the commit refuse (a writer failed); nested: the outer one.
    void fail();
    bool hasFailed() const;
    // Why a commit that changed nothing did so, when it was refused rather
    // than failed: NORVASurfacePin::kChanged (a guarding pin no longer
    // held), a precondition's status, NORVASurfacePin::kBlocked (a file
    // recovery will not use holds one of its journal names) or
    // NORVASurfaceLock::kBusy (its folders stayed held too long); else 0.
    long refusal() const { return m_outer ? m_outer->refusal() : m_refusal; }
    // `commit` as a status: 0 when done, the refusal when refused, else `failed`.
    long commitStatus(long failed) { return commit() ? 0 : refusal() != 0 ? refusal() : failed; }

    // True when the new state is on disk (nested: when nothing has failed so
    // far; the outer commit decides). False when nothing was changed, or, in
    // the rare case that a move failed twice after the journal was written,
    // the journal stays for `recover` to finish.
    bool commit();
    // Drops every staged temporary and planned step.
    void discard();

    // A synced temporary for `target` (from NORVAAtomicFile, or one its
    // writer kept), with a descriptor that holds its lock; both are owned
    // from now on (the descriptor may be -1).
    void stage(const NORVAUString& temporary, const NORVAUString& target, int lockFd);

    // Finishes the stem's journal left by a crash, then removes temporaries
    // of the stem in its folder and every temporary or journal inside the
    // folder named like the stem (members, grids). Temporaries that a live
    // writer holds are left alone. False when a journal could not be
    // finished, or when one is blocked (see `recoverStatus`): the surface
    // must not be used until it is finished or removed.
    static bool recover(const NORVAUString& stem);
    // `recover` as a status: 0; NORVASurfacePin::kBlocked when the stem's
    // journal name holds a file that is no journal of this user's (a link, a
    // FIFO, another user's file), or a journal here holds a link it does not
    // name: left where it is, and no retry ends that; else `unfinished`.
    // Without `stemFolder`, the folder named like the stem is not walked.
    static long recoverStatus(const NORVAUString& stem, long unfinished, bool stemFolder = true);
    // `recover`, then the stem's folder held shared in `hold` with no
    // journal left in it: every file read under the hold is of one committed
    // generation. 0; kBusy from NORVASurfaceLock; kBlocked; -1 when a
    // journal could not be finished. `stemFolder` as for `recoverStatus`.
    static long holdForReading(const NORVAUString& stem, NORVASurfaceLock& hold, bool stemFolder = true);
    // For an open: `recover`, then `read` (which must start afresh each
    // time) again when a commit replaced the surface's main file while it
    // ran, the third time under the shared hold; `pin` then holds the main
    // file as read. What `read` gave; `unfinished` when a journal could not
    // be finished; kBlocked; kBusy when the lock's wait was over. A folder
    // the pin watches is swept of temporaries from the pin's listing of it,
    // taken under the hold, and walked only when that shows a journal or a
    // folder.
    static long readCommitted(const NORVAUString& stem, const NORVAUString& mainFile, NORVASurfacePin& pin,
                              long unfinished, const std::function<long()>& read);
    // Every entry of a folder's listing is one of `own`, or a name this
    // machinery gives its temporaries and journals.
    static bool holdsOnly(const std::vector<NORVAUString>& entries, const std::set<NORVAUString>& own);
    // Temporaries and journals of the stem still on disk (see `recover`).
    static std::vector<NORVAUString> leftovers(const NORVAUString& stem);
    // Those of them no live writer holds: what a crash left and `recover`
    // did not take. A temporary another object still holds (a grid it
    // staged) is that object's, and goes when it lets go of it.
    static std::vector<NORVAUString> abandoned(const NORVAUString& stem);

private:
    void closeLocks();
    void repin();

    NORVAFileTransaction* m_outer = nullptr;
    std::vector<std::string> m_journals;  // the main name first
    NORVACommitJournal m_plan;
    std::vector<std::string> m_temporaries;
    std::vector<int> m_locks;
    std::vector<std::pair<NORVASurfacePin*, NORVAUString>> m_pins;  // with the name a rename gives it
    std::vector<Precondition> m_preconditions;
    long m_refusal = 0;
    std::string m_decisiveFile;
    DecisiveStep m_decisive;
    bool m_failed = false;
    bool m_done = false;
};
