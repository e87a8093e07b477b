// The multi-file commit: a store (new files, one removal) and a rename (files
// and a folder of members) under every single failed step and under a death
// at every step; after `recover` the files are all old or all new and
// nothing is left over.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "FolderSnapshot.h"
#include "JournalText.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVASurfacePin.h"

namespace faults = NORVAAtomicFileFaults;

namespace {

using foldersnapshot::Snapshot;
using foldersnapshot::restore;
const auto snapshot = foldersnapshot::take;

bool writeFile(const NORVAUString& path, const std::string& text) {
    NORVAAtomicFile f(path);
    return f.write(text.data(), text.size()) && f.commit();
}

struct Kind {
    const char* name;
    Snapshot before;
    std::function<bool(const NORVAUString& root)> change;  // true when committed
    std::vector<const char*> stems;                         // recovered after a failure
};

std::vector<Kind> kinds() {
    const Snapshot before = {{"s.vns", "old grid"}, {"s.xml", "old meta"}, {"s", "<folder>"},
                             {"s/s_0.vns", "old member"}, {"s/cache.vcc", "old cache"}};
    return {
        {"store",
         before,
         [](const NORVAUString& root) {
             NORVAFileTransaction t(root + "/s");
             const bool written = writeFile(root + "/s.vns", "new grid") && writeFile(root + "/s.xml", "new meta") &&
                                  writeFile(root + "/s/s_0.vns", "new member");
             t.remove(root + "/s/cache.vcc");
             return written && t.commit();
         },
         {"s"}},
        {"rename",
         before,
         [](const NORVAUString& root) {
             NORVAFileTransaction t(root + "/s");
             t.journalAlsoAt(root + "/t");
             t.move(root + "/s.vns", root + "/t.vns");
             t.move(root + "/s.xml", root + "/t.xml");
             t.move(root + "/s", root + "/t");
             t.move(root + "/t/s_0.vns", root + "/t/t_0.vns");
             return t.commit();
         },
         {"s", "t"}},
        // Into another folder: the journal is written under both folders'
        // names, and recovering the new name first must finish it.
        {"rename across folders",
         {{"a", "<folder>"}, {"b", "<folder>"}, {"a/s.vns", "old grid"}, {"a/s", "<folder>"}, {"a/s/s_0.vns", "m"}},
         [](const NORVAUString& root) {
             NORVAFileTransaction t(root + "/a/s");
             t.journalAlsoAt(root + "/b/t");
             t.move(root + "/a/s.vns", root + "/b/t.vns");
             t.move(root + "/a/s", root + "/b/t");
             t.move(root + "/b/t/s_0.vns", root + "/b/t/t_0.vns");
             return t.commit();
         },
         {"b/t", "a/s"}},
    };
}

::testing::AssertionResult oldOrNew(const Snapshot& now, const Snapshot& before, const Snapshot& after) {
    if (now == before || now == after) return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure() << "mixed:";
    for (const auto& [name, bytes] : now) result << " " << name << "=" << bytes;
    return result;
}

void recoverAll(const NORVAUString& root, const Kind& kind) {
    for (const char* stem : kind.stems) {
        EXPECT_TRUE(NORVAFileTransaction::recover(root + "/" + stem));
        EXPECT_TRUE(NORVAFileTransaction::leftovers(root + "/" + stem).empty());
    }
}

}  // namespace

TEST(FileTransaction, EveryFailedStepLeavesOldOrNew) {
    TempFolder tmp;
    const std::string root = tmp.path().toUTF8();
    for (const Kind& kind : kinds()) {
        restore(root, kind.before);
        ASSERT_TRUE(kind.change(tmp.path())) << kind.name;
        const Snapshot after = snapshot(root);
        ASSERT_NE(after, kind.before);
        for (int s = 0; s < faults::STEP_COUNT; ++s) {
            const auto step = static_cast<faults::Step>(s);
            for (unsigned n = 1;; ++n) {
                SCOPED_TRACE(std::string(kind.name) + " step " + std::to_string(s) + " #" + std::to_string(n));
                restore(root, kind.before);
                faults::failNth(step, n);
                const bool committed = kind.change(tmp.path());
                const bool fired = faults::fired();
                faults::clear();
                if (committed) {
                    EXPECT_EQ(after, snapshot(root));  // success means the new state
                }
                recoverAll(tmp.path(), kind);
                EXPECT_TRUE(oldOrNew(snapshot(root), kind.before, after));
                if (!fired || ::testing::Test::HasFailure()) break;
            }
        }
    }
}

// A writer that dies at each step in turn (a forked child ends at that step,
// as if killed): the next recover finishes or drops its work.
TEST(FileTransaction, DeathAtEveryStepRecoversOldOrNew) {
    TempFolder tmp;
    const std::string root = tmp.path().toUTF8();
    for (const Kind& kind : kinds()) {
        restore(root, kind.before);
        ASSERT_TRUE(kind.change(tmp.path()));
        const Snapshot after = snapshot(root);
        unsigned deaths = 0;
        for (int s = 0; s < faults::STEP_COUNT; ++s) {
            for (unsigned n = 1;; ++n) {
                SCOPED_TRACE(std::string(kind.name) + " step " + std::to_string(s) + " #" + std::to_string(n));
                restore(root, kind.before);
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    faults::exitAtNth(static_cast<faults::Step>(s), n);
                    ::_exit(kind.change(tmp.path()) ? 0 : 1);
                }
                int wstatus = 0;
                ASSERT_EQ(child, ::waitpid(child, &wstatus, 0));
                ASSERT_TRUE(WIFEXITED(wstatus));
                const bool died = WEXITSTATUS(wstatus) == faults::kExitCode;
                if (!died) {
                    EXPECT_EQ(0, WEXITSTATUS(wstatus));
                }
                deaths += died;
                recoverAll(tmp.path(), kind);
                const Snapshot now = snapshot(root);
                EXPECT_TRUE(oldOrNew(now, kind.before, after));
                if (!died || ::testing::Test::HasFailure()) break;
            }
        }
        EXPECT_GE(deaths, 5u) << kind.name;
    }
}

int tokenInFile(const std::string& file, const std::string& token) {
    const std::string held = testsupport::readFile(file);
    return held == "unreadable" ? -1 : held == token;
}

// A commit decided by a step that commits elsewhere (a database writing the
// token into its own file). The writer dies at its first move, after the
// step: `recover` finishes the journal only when the file holds the token,
// drops it when the file holds another, and keeps it when the file cannot
// tell. A step that fails drops the staged files at once.
TEST(FileTransaction, AJournalDecidedElsewhereHoldsOnlyIfItsFileHoldsTheToken) {
    struct Case {
        const char* wrote;  // "" for the token itself
        bool stepCommits;
        const char* meta;   // after recovering
        bool recovered;
    } cases[] = {{"", true, "new meta", true},
                 {"another", true, "old meta", true},
                 {"unreadable", true, "old meta", false},
                 {"", false, "old meta", true}};
    const auto previous = NORVAFileTransaction::setConditionCheck(&tokenInFile);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.wrote) + (c.stepCommits ? "" : ", step fails"));
        TempFolder tmp;
        const std::string root = tmp.path().toUTF8();
        restore(root, {{"s.db", "before"}, {"s.xml", "old meta"}});
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            NORVAFileTransaction t(tmp.path() + "/s");
            const bool written = writeFile(tmp.path() + "/s.xml", "new meta");
            t.decideBy(tmp.path() + "/s.db", [&](const std::string& token) {
                testsupport::writeFile(root + "/s.db", *c.wrote ? c.wrote : token);
                return c.stepCommits;
            });
            faults::exitAtNth(faults::RENAME, 2);  // the journal's own rename is the first
            ::_exit(written && t.commit() ? 0 : 1);
        }
        int wstatus = 0;
        ASSERT_EQ(child, ::waitpid(child, &wstatus, 0));
        EXPECT_EQ(c.stepCommits ? faults::kExitCode : 1, WEXITSTATUS(wstatus));
        EXPECT_EQ(c.recovered, NORVAFileTransaction::recover(tmp.path() + "/s"));
        EXPECT_EQ(c.meta, testsupport::readFile(root + "/s.xml"));
        EXPECT_EQ(c.recovered, NORVAFileTransaction::leftovers(tmp.path() + "/s").empty());
    }
    NORVAFileTransaction::setConditionCheck(previous);
}

// Nested transactions commit with the outer one; a nested one that ends
// uncommitted, or a file that fails inside, fails the outer one.
TEST(FileTransaction, NestedJoinsOuterAndFailureSpreads) {
    TempFolder tmp;
    const NORVAUString a = tmp.file("a.vns"), b = tmp.file("b.vns");
    ASSERT_TRUE(writeFile(a, "old a") && writeFile(b, "old b"));
    const Snapshot before = snapshot(tmp.path().toUTF8());
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        NORVAFileTransaction outer(tmp.file("c"));
        ASSERT_TRUE(writeFile(a, "new a"));
        {
            NORVAFileTransaction inner(tmp.file("b"));
            EXPECT_TRUE(inner.isNested());
            if (mode == 2) faults::failNth(faults::WRITE, 1);
            const bool written = writeFile(b, "new b");
            faults::clear();
            if (mode != 1 && written) {
                EXPECT_TRUE(inner.commit());
            }
        }
        EXPECT_EQ("old b", snapshot(tmp.path().toUTF8())["b.vns"]);  // nothing moves before the commit
        EXPECT_EQ(mode == 0, outer.commit());
        if (mode == 0) {
            EXPECT_EQ("new a|new b", snapshot(tmp.path().toUTF8())["a.vns"] + "|" +
                                         snapshot(tmp.path().toUTF8())["b.vns"]);
            ASSERT_TRUE(writeFile(a, "old a") && writeFile(b, "old b"));
        } else {
            EXPECT_EQ(before, snapshot(tmp.path().toUTF8()));
        }
    }
}

// Recovery removes only what belongs to the stem and no live writer holds:
// not the temporaries of "s.2020" when recovering "s", not an open writer's.
TEST(FileTransaction, RecoverSparesOtherSurfacesAndLiveWriters) {
    TempFolder tmp;
    const std::string root = tmp.path().toUTF8();
    restore(root, {{".s.vns.tmp-aaaaaa", "orphan"},
                   {"..s.journal.tmp-bbbbbb", "orphan"},
                   {".s.2020.vns.tmp-cccccc", "other"},
                   {"s/.s_0.vns.tmp-dddddd", "orphan"},
                   {"s.vns", "kept"}});
    NORVAAtomicFile live(tmp.file("s.xml"));
    ASSERT_TRUE(live.isOpen());
    EXPECT_EQ(4u, NORVAFileTransaction::leftovers(tmp.file("s")).size());
    EXPECT_TRUE(NORVAFileTransaction::recover(tmp.file("s")));
    const std::vector<NORVAUString> left = NORVAFileTransaction::leftovers(tmp.file("s"));
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(live.temporaryPath().toUTF8(), left[0].toUTF8());
    Snapshot now = snapshot(root);
    EXPECT_EQ(1u, now.count(".s.2020.vns.tmp-cccccc"));
    EXPECT_EQ(0u, now.count("s/.s_0.vns.tmp-dddddd"));
    EXPECT_TRUE(live.write("x", 1) && live.commit());
    EXPECT_EQ("x", snapshot(root)["s.xml"]);
}

namespace forged {

// Steps a forger takes around a planted journal "a/.s.journal": "a" is the
// surface's folder, "b" another folder of this user, "outside" a folder
// every user may write (sticky, like /tmp). Each is true when made; giving a
// file to another user fails unless this process may act as one.
bool link(const std::string& root, const char* from, const char* to) {
    return ::link((root + from).c_str(), (root + to).c_str()) == 0;
}
bool symlink(const std::string& root, const char* to, const char* at) {
    return ::symlink((root + to).c_str(), (root + at).c_str()) == 0;
}
bool moveOut(const std::string& root, const char* to) {
    return ::rename((root + "/a/.s.journal").c_str(), (root + to).c_str()) == 0;
}
bool chownOther(const std::string& path) { return ::chown(path.c_str(), 4242, 4242) == 0; }

// Files whose state differs from what was expected, outside the surface's folder.
size_t touchedOutside(const Snapshot& expected, const Snapshot& now) {
    std::set<std::string> names;
    for (const Snapshot* s : {&expected, &now})
        for (const auto& entry : *s)
            if (entry.first != "a" && entry.first.compare(0, 2, "a/") != 0) names.insert(entry.first);
    size_t n = 0;
    for (const std::string& name : names) {
        const auto x = expected.find(name), y = now.find(name);
        const bool inExpected = x != expected.end(), inNow = y != now.end();
        n += inExpected && inNow ? x->second != y->second : inExpected != inNow;
    }
    return n;
}

}  // namespace forged

// Journals found on disk are untrusted, and so is anything named like a
// journal or a temporary of the stem. Recovery acts only through a journal
// this user's commit wrote for the surface: a regular file of this user,
// reached through no symbolic link, every link of it a name it lists, its
// other names only in folders of this user that nobody else can add to, its
// paths below those folders. One that reaches outside (absolute paths, "..",
// a NUL, a symbolic link, a name in another folder that is not this very
// file), lists none of its own names, is torn or oversized is dropped with
// nothing applied; one with a link it does not list is kept and the surface
// refused; what is not this user's journal (a link, a FIFO, another user's
// file) is left alone, and blocks the surface under the stem's own journal
// name. The sweep never follows a symbolic link. A real
// journal under two hard-linked names in two folders still finishes from
// either.
TEST(FileTransaction, ForgedJournalsTouchNothingOutside) {
    TempFolder tmp;
    const std::string root = tmp.path().toUTF8();
    enum Other { NONE, LINK, COPY };
    // DROPPED: the stem's journal removed; KEPT, BLOCKED: left, the surface refused (kBlocked)
    enum Fate { APPLIED, DROPPED, KEPT, BLOCKED, UNTOUCHED };
    const std::string valid = "M @/a/s.vns\t@/b/t.vns\nN @/a/.s.journal\nN @/b/.t.journal\n";
    const std::string inB = "D @/b/t.xml\nN @/a/.s.journal\nN @/b/.t.journal\n";
    const std::string selfOutside = "D @/outside/important\nN @/outside/.v.journal\n";
    using Plant = bool (*)(const std::string& root);
    struct Case {
        const char* name;
        std::string lines;    // "@" stands for the root; "" for a huge file
        Other other;          // b/.t.journal: none, a hard link or a copy
        const char* stem;     // recovered
        Fate fate;
        Plant plant = nullptr;
        size_t cut = 0;       // bytes torn off the end
    } cases[] = {
        {"absolute elsewhere", "D @/outside/important\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"dot-dot move", "M s.vns\t../outside/x\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"dot-dot inside", "D s/../../outside/important\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"absolute dot-dot", "D @/a/../outside/important\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"name elsewhere", "D s.vns\nN .s.journal\nN @/outside/important\n", NONE, "a/s", DROPPED},
        {"nul cuts to folder", std::string("D \0x\nN .s.journal\n", 18), NONE, "a/s", DROPPED},
        {"through symlink", "D link/important\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"no own name", "D s.vns\n", NONE, "a/s", DROPPED},
        {"other name a copy", valid, COPY, "b/t", DROPPED},
        {"truncated, linked", valid, LINK, "a/s", KEPT, nullptr, 9},
        {"oversized", "", NONE, "a/s", DROPPED},
        {"condition file outside", "C @/outside/important\ttoken\nD s.vns\nN .s.journal\n", NONE, "a/s", DROPPED},
        {"names a link of itself in a shared folder",
         "D @/outside/important\nM @/outside/f2\t@/a/f2\nN @/a/.s.journal\nN @/outside/.h.journal\n", NONE, "a/s", KEPT,
         [](const std::string& r) { return forged::link(r, "/a/.s.journal", "/outside/.h.journal"); }},
        {"names a link of itself behind a symbolic link",
         "D @/a/link/important\nN @/a/.s.journal\nN @/a/link/.h.journal\n", NONE, "a/s", KEPT,
         [](const std::string& r) { return forged::link(r, "/a/.s.journal", "/outside/.h.journal"); }},
        {"a link it does not list", inB, LINK, "a/s", KEPT,
         [](const std::string& r) { return forged::link(r, "/a/.s.journal", "/outside/.x.journal"); }},
        {"another user's journal", inB, LINK, "a/s", BLOCKED,
         [](const std::string& r) { return forged::chownOther(r + "/a/.s.journal"); }},
        {"other name in another user's folder", inB, LINK, "a/s", KEPT,
         [](const std::string& r) { return forged::chownOther(r + "/b"); }},
        {"journal a symbolic link to one outside", selfOutside, NONE, "a/s", BLOCKED,
         [](const std::string& r) {
             return forged::moveOut(r, "/outside/.v.journal") &&
                    forged::symlink(r, "/outside/.v.journal", "/a/.s.journal");
         }},
        {"member journal a symbolic link to one outside", selfOutside, NONE, "a/s", UNTOUCHED,
         [](const std::string& r) {
             return forged::moveOut(r, "/outside/.v.journal") &&
                    forged::symlink(r, "/outside/.v.journal", "/a/s/.m.journal");
         }},
        {"surface folder a symbolic link", selfOutside, NONE, "a/s", UNTOUCHED,
         [](const std::string& r) {
             testsupport::writeFile(r + "/outside/.x.vns.tmp-abcdef", "bait");
             if (!forged::moveOut(r, "/outside/.v.journal")) return false;
             std::filesystem::remove_all(r + "/a/s");
             return forged::symlink(r, "/outside", "/a/s");
         }},
        {"grid folder a symbolic link", selfOutside, NONE, "a/s", UNTOUCHED,
         [](const std::string& r) {
             testsupport::writeFile(r + "/outside/.x.vns.tmp-abcdef", "bait");
             if (!forged::moveOut(r, "/outside/.v.journal")) return false;
             return forged::symlink(r, "/outside", "/a/s/g");
         }},
        {"temporary a symbolic link", "D s.vns\nN .s.journal\n", NONE, "a/s", UNTOUCHED,
         [](const std::string& r) {
             std::filesystem::remove(r + "/a/.s.journal");
             return forged::symlink(r, "/outside/important", "/a/.s.vns.tmp-abcdef");
         }},
        {"journal a FIFO", "D s.vns\nN .s.journal\n", NONE, "a/s", BLOCKED,
         [](const std::string& r) {
             std::filesystem::remove(r + "/a/.s.journal");
             return ::mkfifo((r + "/a/.s.journal").c_str(), 0600) == 0;
         }},
        {"temporary a FIFO", "D s.vns\nN .s.journal\n", NONE, "a/s", UNTOUCHED,
         [](const std::string& r) {
             std::filesystem::remove(r + "/a/.s.journal");
             return ::mkfifo((r + "/a/s/.s_0.vns.tmp-abcdef").c_str(), 0600) == 0;
         }},
        {"relative journal read through a link in a member folder", "D s_0.vns\nN .m.journal\n", NONE, "a/s", KEPT,
         [](const std::string& r) {
             return forged::moveOut(r, "/outside/.m.journal") &&
                    forged::link(r, "/outside/.m.journal", "/a/s/.m.journal");
         }},
        {"hard link, recovered there", valid, LINK, "b/t", APPLIED},
        {"hard link, recovered here", valid, LINK, "a/s", APPLIED},
    };
    const Snapshot before = {{"a", "<folder>"},         {"a/s.vns", "old grid"},    {"a/s", "<folder>"},
                             {"a/s/s_0.vns", "member"}, {"b", "<folder>"},          {"b/t.xml", "other"},
                             {"outside", "<folder>"},   {"outside/important", "keep"}, {"outside/f2", "bait"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restore(root, before);
        ASSERT_EQ(0, ::chmod((root + "/outside").c_str(), 01777));
        std::filesystem::create_directory_symlink(root + "/outside", root + "/a/link");
        std::string text = c.lines;
        for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, root);
        if (!text.empty()) text = sealJournal(text);
        text.resize(text.size() - c.cut);
        std::ofstream(root + "/a/.s.journal", std::ios::binary) << text;
        if (text.empty()) {
            ASSERT_EQ(0, ::truncate((root + "/a/.s.journal").c_str(), NORVACommitJournal::kMaxBytes + 1));
        }
        if (c.other == LINK) {
            ASSERT_EQ(0, ::link((root + "/a/.s.journal").c_str(), (root + "/b/.t.journal").c_str()));
        }
        if (c.other == COPY) std::ofstream(root + "/b/.t.journal", std::ios::binary) << text;
        if (c.plant && !c.plant(root)) {
            EXPECT_NE(0u, ::geteuid()) << "not planted";  // only another user's files may fail
            continue;
        }
        Snapshot expected = snapshot(root);
        EXPECT_EQ(c.fate == KEPT || c.fate == BLOCKED ? NORVASurfacePin::kBlocked : 0,
                  NORVAFileTransaction::recoverStatus(tmp.file(c.stem), -1));
        if (c.fate == APPLIED) {
            expected["b/t.vns"] = expected["a/s.vns"];
            expected.erase("a/s.vns");
            expected.erase("a/.s.journal");
            expected.erase("b/.t.journal");
        }
        if (c.fate == DROPPED) expected.erase(std::string(c.stem).replace(2, 0, ".") + ".journal");
        const Snapshot now = snapshot(root);
        EXPECT_EQ(expected, now);
        EXPECT_EQ(0u, forged::touchedOutside(expected, now));
    }
}
