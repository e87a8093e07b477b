// Files planted where a surface keeps its own: every file of a freshly made
// surface of each kind is replaced in turn by a FIFO and by a link to an
// endless device, and a child process opens the surface as a user would.
// The open must come back (with whatever status) within a few seconds: a
// reader that waits on a FIFO for a writer, or reads a device until its end,
// never answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CrashKind.h"
#include "TempFolder.h"

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

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedFile, ::testing::Range<size_t>(0, crashtest::kinds().size()), paramName);
