// Files planted where a surface keeps its own: every file of a freshly made
// surface of each kind is replaced in turn by a FIFO and by a link to an
// endless device, and a child process opens the surface as a user would.
// The open must come back (with whatever status) within a few seconds: a
// reader that waits on a FIFO for a writer, or reads a device until its end,
// never answers. And a file planted under a name the surface's commits
// journal under blocks the surface for as long as it is there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "CrashKind.h"
#include "FolderSnapshot.h"
#include "TempFolder.h"
#include "core/KIVOSurfaceOpen.h"
#include "multires/KIVOKestrinDataIO.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/kestrin/NORVAKestrinDatabase.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> regularFilesBelow(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder));
    return files;
}

// The stems of the surface files in a folder ("g" of "g.vns").
std::set<std::string> stemsIn(const fs::path& folder) {
    std::set<std::string> stems;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.') stems.insert(name.substr(0, name.find('.')));
    }
    return stems;
}

// True when the check came back in time without a crash.
bool answers(CrashKind& kind, const std::string& folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        std::string why;
        kind.check(folder, why);
        ::_exit(0);
    }
    int status = -1;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class PlantedFile : public ::testing::TestWithParam<size_t> {
protected:
    CrashKind& kind = *crashtest::kinds()[GetParam()];
    TempFolder tmp;
    const fs::path made = tmp.path().toUTF8() + "/made";
    const fs::path work = tmp.path().toUTF8() + "/work";
};

}  // namespace

TEST_P(PlantedFile, EveryOpenAnswers) {
    fs::create_directory(made);
    ASSERT_TRUE(kind.create(made.string()));
    struct Plant {
        const char* what;
        bool (*make)(const fs::path&);
    } plants[] = {
        {"FIFO", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
        {"link to /dev/zero", [](const fs::path& p) { return ::symlink("/dev/zero", p.c_str()) == 0; }},
    };
    long planted = 0, silent = 0;
    for (const fs::path& file : regularFilesBelow(made)) {
        for (const Plant& plant : plants) {
            fs::remove_all(work);
            fs::copy(made, work, fs::copy_options::recursive);
            fs::remove(work / file);
            ASSERT_TRUE(plant.make(work / file));
            ++planted;
            if (answers(kind, work.string())) continue;
            ++silent;
            ADD_FAILURE() << plant.what << " at " << file << ": the open did not answer";
        }
    }
    std::printf("planted %s: %ld files planted, %ld opens that did not answer\n", kind.name(), planted, silent);
}


// A file recovery will not use, planted under the journal name of the
// surface (or of the name a rename gives it): the open is refused at once
// with kBlocked rather than "busy", and so is a write by a new object (a
// store, or a rename), which leaves the planted file where it is.
TEST_P(PlantedFile, JournalNameBlocksTheSurface) {
    fs::create_directory(made);
    ASSERT_TRUE(kind.create(made.string()));
    const std::set<std::string> own = stemsIn(made);
    fs::copy(made, work, fs::copy_options::recursive);
    ASSERT_EQ(0, kind.rewrite(work.string()));
    std::set<std::string> stems = stemsIn(work);
    stems.insert(own.begin(), own.end());
    struct Plant {
        const char* what;
        bool (*make)(const fs::path&);
    } plants[] = {
        {"symbolic link", [](const fs::path& p) { return ::symlink("elsewhere", p.c_str()) == 0; }},
        {"FIFO", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
        {"another user's file",
         [](const fs::path& p) {
             std::ofstream(p) << "KIVO commit journal 1\n";
             return ::geteuid() == 0 && ::chown(p.c_str(), 65534, 65534) == 0;
         }},
    };
    double slowest = 0.0;
    int planted = 0;
    for (const std::string& stem : stems) {
        for (const Plant& plant : plants) {
            SCOPED_TRACE(std::string(plant.what) + " as the journal of " + stem);
            fs::remove_all(work);
            fs::copy(made, work, fs::copy_options::recursive);
            const fs::path journal = work / ("." + stem + ".journal");
            if (!plant.make(journal)) continue;  // another user's file needs root
            ++planted;
            struct stat before, after;
            ASSERT_EQ(0, ::lstat(journal.c_str(), &before));
            if (own.count(stem)) {
                std::string why;
                const auto start = std::chrono::steady_clock::now();
                EXPECT_EQ(-1, kind.check(work.string(), why));
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                slowest = std::max(slowest, seconds);
                EXPECT_EQ("open: " + std::to_string(NORVASurfacePin::kBlocked), why);
                EXPECT_LT(seconds, 1.0);
            }
            EXPECT_EQ(NORVASurfacePin::kBlocked, kind.rewrite(work.string()));
            ASSERT_EQ(0, ::lstat(journal.c_str(), &after));
            EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mode == before.st_mode &&
                        after.st_uid == before.st_uid);
        }
    }
    std::printf("planted %s: %d journals planted, slowest blocked open %.3f s\n", kind.name(), planted, slowest);
}

KIVO_INSTANTIATE_OVER_KINDS(PlantedFile);

// A tile store's points file is an SQLite file: SQLite opens a journal, a
// WAL and a shared-memory file beside it, which a handed-over folder may
// already hold.
namespace {

CrashKind& tileStore() {
    for (auto& kind : crashtest::kinds())
        if (std::string(kind->name()) == "tile-store") return *kind;
    throw std::logic_error("no tile-store kind");
}

// What `run` returns in a child process; "no answer" when it did not come
// back within 10 s.
std::string answerOf(const std::function<std::string()>& run) {
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        ::alarm(10);
        const std::string said = run();
        const bool written = ::write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(out[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = -1;
    const bool done = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return done ? said : "no answer";
}

std::string statusOf(const char* call, long status) { return std::string(call) + " " + std::to_string(status) + "; "; }

}  // namespace

// A points file switched to WAL mode, with its shared-memory name a second
// name of a file elsewhere, or reached through a symbolic link from another
// folder: it is refused, and neither an open and a query nor a copy, a store
// or a delete makes, truncates or removes a file elsewhere.
TEST(TileStoreSideFiles, AWalPointsFileChangesNothingElsewhere) {
    struct Case {
        const char* what;
        bool linkedPoints;  // else the shared-memory name is linked
        long refusal;
    } cases[] = {{"shared memory linked elsewhere", false, NORVASurfacePin::kBlocked},
                 {"points file a symbolic link", true, 146021}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        const fs::path work = tmp.path().toUTF8() + "/work", elsewhere = tmp.path().toUTF8() + "/elsewhere";
        fs::create_directories(elsewhere);
        fs::create_directory(work);
        ASSERT_TRUE(tileStore().create(work.string()));
        fs::path points = work / "t.ktf";
        {
            std::fstream f(points, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(18);
            f.write("\2\2", 2);
        }
        if (c.linkedPoints) {
            fs::rename(points, elsewhere / "t.ktf");
            fs::create_symlink(elsewhere / "t.ktf", points);
        } else {
            std::ofstream(elsewhere / "victim", std::ios::binary) << std::string(65540, 'v');
            fs::create_hard_link(elsewhere / "victim", work / "t.ktf-shm");
        }
        const foldersnapshot::Snapshot before = foldersnapshot::take(elsewhere.string());
        std::string why;
        EXPECT_EQ(-1, tileStore().check(work.string(), why));
        EXPECT_EQ("open: " + std::to_string(c.refusal), why);
        EXPECT_TRUE(before == foldersnapshot::take(elsewhere.string())) << "after the open";
        EXPECT_NE(0, KIVOSurfaceUtils::copySurface(NORVAUString((work / "t.kps").string()), tmp.file("copy.kps")));
        (void)tileStore().rewrite(work.string());
        (void)KIVOSurfaceUtils::deleteFiles(NORVAUString((work / "t.kps").string()));
        EXPECT_TRUE(before == foldersnapshot::take(elsewhere.string())) << "after a copy, a store and a delete";
    }
}

// A journal, WAL or shared-memory name beside the points file that holds what
// SQLite must not open or write through blocks the surface at once: opens
// and stores report kBlocked, copies, listings and deletes answer, and the
// planted file stays as it is.
TEST(TileStoreSideFiles, AForeignSideFileBlocksTheSurface) {
    struct Plant {
        const char* what;
        bool (*make)(const fs::path& at, const fs::path& elsewhere);
    } plants[] = {
        {"FIFO", [](const fs::path& p, const fs::path&) { return ::mkfifo(p.c_str(), 0600) == 0; }},
        {"dangling link", [](const fs::path& p, const fs::path&) { return ::symlink("nowhere", p.c_str()) == 0; }},
        {"second name",
         [](const fs::path& p, const fs::path& elsewhere) {
             std::ofstream(elsewhere / "other") << "not a journal";
             return ::link((elsewhere / "other").c_str(), p.c_str()) == 0;
         }},
        {"another user's file",
         [](const fs::path& p, const fs::path&) {
             std::ofstream(p) << "not a journal";
             return ::geteuid() == 0 && ::chown(p.c_str(), 65534, 65534) == 0;
         }},
    };
    const std::string blocked = std::to_string(NORVASurfacePin::kBlocked);
    double slowest = 0.0;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        for (const Plant& plant : plants) {
            SCOPED_TRACE(std::string(plant.what) + " as t.ktf" + suffix);
            TempFolder tmp;
            const fs::path work = tmp.path().toUTF8() + "/work", elsewhere = tmp.path().toUTF8() + "/elsewhere";
            fs::create_directories(elsewhere);
            fs::create_directory(work);
            ASSERT_TRUE(tileStore().create(work.string()));
            const NORVAUString surface((work / "t.kps").string());
            const fs::path planted = work / (std::string("t.ktf") + suffix);
            const auto start = std::chrono::steady_clock::now();
            const std::string said = answerOf([&] {
                KIVOKestrinDataIO openedBefore(surface);
                struct stat at {}, after {};
                if (!plant.make(planted, elsewhere) || ::lstat(planted.c_str(), &at) != 0) return std::string("skip");
                std::string calls = statusOf("open", KIVOKestrinDataIO(surface).getStatus());
                calls += statusOf("store", openedBefore.store(nullptr));
                calls += statusOf("store anew", tileStore().rewrite(work.string()));
                std::vector<NORVAUString> files;
                (void)KIVOSurfaceUtils::getSurfaceFiles(surface, files);
                (void)KIVOSurfaceUtils::copySurface(surface, tmp.file("copy.kps"));
                (void)KIVOSurfaceUtils::deleteFiles(surface);
                const bool kept = ::lstat(planted.c_str(), &after) == 0 && after.st_ino == at.st_ino &&
                                  after.st_mode == at.st_mode && after.st_uid == at.st_uid;
                return calls + (kept ? "kept" : "changed");
            });
            slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (said == "skip") continue;  // another user's file needs root
            EXPECT_EQ("open " + blocked + "; store " + blocked + "; store anew " + blocked + "; kept", said);
        }
    }
    std::printf("tile-store side files: slowest child answered in %.3f s\n", slowest);
}

// A points file whose schema b-tree holds one row out of order: plain reads
// serve every point, but a store whose statements wrote the schema over it
// left a file that no longer opened. The store is refused as damaged, and
// the file stays byte for byte as it was and opens again.
TEST(TileStoreSideFiles, AStoreOverADamagedSchemaLeavesThePointsFileAsItWas) {
    TempFolder tmp;
    const std::string work = tmp.path().toUTF8();
    ASSERT_TRUE(tileStore().create(work));
    const fs::path points = work + "/t.ktf";
    std::string bytes;
    {
        // The last row of the schema's b-tree (a leaf on the first page)
        // takes the first row's id.
        std::ifstream in(points, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        auto byteAt = [&](size_t i) { return static_cast<unsigned char>(bytes.at(i)); };
        ASSERT_EQ(0x0D, byteAt(100));
        const size_t cells = byteAt(103) << 8 | byteAt(104);
        ASSERT_GE(cells, 3u);
        size_t at = byteAt(108 + 2 * (cells - 1)) << 8 | byteAt(109 + 2 * (cells - 1));
        while (byteAt(at) & 0x80) ++at;
        ASSERT_LT(byteAt(++at), 0x80);
        bytes[at] = 1;
        std::ofstream(points, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string why;
    EXPECT_EQ(0, tileStore().check(work, why)) << why;
    EXPECT_EQ(-1, tileStore().update(work, why));
    EXPECT_EQ("store: 146021", why);
    std::ifstream in(points, std::ios::binary);
    EXPECT_TRUE(bytes == std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    EXPECT_EQ(0, tileStore().check(work, why)) << why;
}

// A writer killed inside its store, its journal hot beside its points file
// and part of what it never committed already written into that file (a
// small page cache spills it there). Read through a symbolic link to the
// points file, the surface is refused (kBlocked) and nothing beside the
// target changes; through a link to the folder it is the writer's own file,
// rolled back as the writer's next open would. No read serves the pages of
// the commit cut short, not even one by an object opened before the kill.
TEST(TileStoreSideFiles, AReadThroughALinkNeverServesACommitCutShort) {
    constexpr int kNodes = 2000;
    // "status" or "status: nodes of depth d" (d -1 when the depths differ).
    auto readAs = [](KIVOKestrinDataIO& io) {
        long status = io.getStatus(), s = 0;
        NORVAType<KIVOSurfaceIter> it;
        if (status == 0) it = io.query(-1e9, -1e9, 1e9, 1e9, false, status, nullptr, 0.0);
        if (status != 0 || !it) return std::to_string(status);
        int nodes = 0;
        double first = 0.0, depth = 0.0;
        for (bool more = !it->done(s); more; more = it->next(s), ++nodes) {
            it->getAttributes()->getValue(0, depth);
            if (nodes == 0) first = depth;
            if (depth != first) first = -1.0;
        }
        if (s != 0) return std::to_string(s);
        return "0: " + std::to_string(nodes) + " of depth " + std::to_string(static_cast<int>(first));
    };
    const std::string committed = "0: " + std::to_string(kNodes) + " of depth 1";
    struct Case {
        const char* what;
        bool folderLinked;  // else the points file is
        std::string read;
    } cases[] = {{"points file a symbolic link", false, std::to_string(NORVASurfacePin::kBlocked)},
                 {"folder a symbolic link", true, committed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        const fs::path real = tmp.path().toUTF8() + "/real", linked = tmp.path().toUTF8() + "/linked";
        fs::create_directory(real);
        const NORVAUString surface((real / "t.kps").string());
        {
            auto io = kestrinsurface::created(surface, kestrinsurface::depthAndStatus(), 0.5);
            for (int i = 0; i < kNodes; ++i) ASSERT_EQ(0, io->addNewNode((i % 100) * 0.5, (i / 100) * 0.5));
            ASSERT_EQ(0, io->flush());
            kestrinsurface::forEachNode(*io, -1e9, -1e9, 1e9, 1e9, false,
                                        [](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, 1.0); });
            ASSERT_EQ(0, io->store(nullptr));
        }
        if (c.folderLinked) {
            fs::create_directory_symlink(real, linked);
        } else {
            fs::create_directory(linked);
            fs::copy(real / "t.kps", linked / "t.kps");
            fs::copy(real / "t.xml", linked / "t.xml");
            fs::create_symlink(real / "t.ktf", linked / "t.ktf");
        }
        const NORVAUString throughLink((linked / "t.kps").string());
        const std::string stored = foldersnapshot::take(real.string()).at("t.ktf");
        KIVOKestrinDataIO openedBefore(throughLink);
        ASSERT_EQ(0, openedBefore.getStatus());
        int ready[2];
        ASSERT_EQ(0, ::pipe(ready));
        const pid_t writer = ::fork();
        if (writer == 0) {
            ::alarm(10);
            NORVAKestrinDatabase::setCacheLimit(0);
            KIVOKestrinDataIO io(surface);
            kestrinsurface::forEachNode(io, -1e9, -1e9, 1e9, 1e9, false,
                                        [](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, 2.0); });
            const char go = 1;
            if (::write(ready[1], &go, 1) != 1) ::_exit(1);
            ::pause();
            ::_exit(0);
        }
        char go = 0;
        EXPECT_EQ(1, ::read(ready[0], &go, 1));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        std::ifstream journal(real / "t.ktf-journal", std::ios::binary);
        ASSERT_TRUE(journal.good() && journal.get() > 0) << "no hot journal";
        const foldersnapshot::Snapshot before = foldersnapshot::take(real.string());
        ASSERT_TRUE(stored != before.at("t.ktf")) << "nothing of the session reached the points file";
        KIVOKestrinDataIO openedAfter(throughLink);
        EXPECT_EQ(c.read, readAs(openedAfter));
        const std::string old = readAs(openedBefore);
        EXPECT_TRUE(old == c.read || old == std::to_string(NORVASurfacePin::kChanged)) << old;
        if (!c.folderLinked) {
            EXPECT_TRUE(before == foldersnapshot::take(real.string())) << "beside the target";
        }
        KIVOKestrinDataIO own(surface);
        EXPECT_EQ(committed, readAs(own));
    }
}
