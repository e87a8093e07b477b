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
#include <set>
#include <string>
#include <vector>

#include "CrashKind.h"
#include "TempFolder.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

namespace fs = std::filesystem;

std::string paramName(const ::testing::TestParamInfo<size_t>& info) {
    std::string n = crashtest::kinds()[info.param]->name();
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

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

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedFile, ::testing::Range<size_t>(0, crashtest::kinds().size()), paramName);
