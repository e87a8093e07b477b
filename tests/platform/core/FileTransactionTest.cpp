// The multi-file commit: a store (new files, one removal) and a rename (files
// and a folder of members) under every single failed step and under a death
// at every step; after `recover` the files are all old or all new and
// nothing is left over.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "FolderSnapshot.h"
#include "JournalText.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileTransaction.h"

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

// Journals found on disk are untrusted: one that reaches outside its own
// folder (absolute paths, "..", a NUL, a symbolic link, a name in another
// folder that is not this very file), lists none of its own names, is torn
// or oversized is dropped with nothing applied. A real journal under two
// hard-linked names in two folders still finishes from either.
TEST(FileTransaction, ForgedJournalsTouchNothingOutside) {
    TempFolder tmp;
    const std::string root = tmp.path().toUTF8();
    enum Other { NONE, LINK, COPY };
    const std::string valid = "M @/a/s.vns\t@/b/t.vns\nN @/a/.s.journal\nN @/b/.t.journal\n";
    struct Case {
        const char* name;
        std::string lines;    // "@" stands for the root; "" for a huge file
        Other other;          // b/.t.journal: none, a hard link or a copy
        const char* stem;     // recovered
        bool applied;         // s.vns moved to b/t.vns
        size_t cut = 0;       // bytes torn off the end
    } cases[] = {
        {"absolute elsewhere", "D @/outside/important\nN .s.journal\n", NONE, "a/s", false},
        {"dot-dot move", "M s.vns\t../outside/x\nN .s.journal\n", NONE, "a/s", false},
        {"dot-dot inside", "D s/../../outside/important\nN .s.journal\n", NONE, "a/s", false},
        {"absolute dot-dot", "D @/a/../outside/important\nN .s.journal\n", NONE, "a/s", false},
        {"name elsewhere", "D s.vns\nN .s.journal\nN @/outside/important\n", NONE, "a/s", false},
        {"nul cuts to folder", std::string("D \0x\nN .s.journal\n", 18), NONE, "a/s", false},
        {"through symlink", "D link/important\nN .s.journal\n", NONE, "a/s", false},
        {"no own name", "D s.vns\n", NONE, "a/s", false},
        {"other name a copy", valid, COPY, "b/t", false},
        {"truncated", valid, LINK, "a/s", false, 9},
        {"oversized", "", NONE, "a/s", false},
        {"hard link, recovered there", valid, LINK, "b/t", true},
        {"hard link, recovered here", valid, LINK, "a/s", true},
    };
    const Snapshot before = {{"a", "<folder>"},         {"a/s.vns", "old grid"},    {"a/s", "<folder>"},
                             {"a/s/s_0.vns", "member"}, {"b", "<folder>"},          {"b/t.xml", "other"},
                             {"outside", "<folder>"},   {"outside/important", "keep"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restore(root, before);
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
        EXPECT_TRUE(NORVAFileTransaction::recover(tmp.file(c.stem)));
        std::filesystem::remove(root + "/a/link");
        Snapshot expected = before;
        if (c.applied) {
            expected["b/t.vns"] = expected["a/s.vns"];
            expected.erase("a/s.vns");
        } else if (c.other == COPY) {
            expected["a/.s.journal"] = text;  // the other surface's journal, not this one's
        }
        if (!c.applied && c.other == LINK) expected["b/.t.journal"] = text;  // b's own open ends it
        EXPECT_EQ(expected, snapshot(root));
    }
}
