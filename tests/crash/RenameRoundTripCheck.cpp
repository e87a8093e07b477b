// Processes renaming one CUBE surface back and forth, c to d and d to c,
// each opening whichever name it finds: every rename moves the whole
// surface (header, metadata, grid folder and the host's version 2 grid set)
// or refuses, so that at the end one name holds all of it and the other
// nothing. An object that another's renames overtook, even when they brought
// the surface back under its name, is refused.
//
// KIVO_RENAME_SECONDS sets how long the processes run (1 s by default).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "TempFolder.h"
#include "cube/CUBEGridSet.h"
#include "cube/CubeTestSupport.h"
#include "cube/GridLayerTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counts {
    // Refused: another's renames overtook the object, or the other name was
    // taken by the time it looked.
    long renamed = 0, overtaken = 0, taken = 0, failed = 0;
};

double runSeconds() {
    const char* v = std::getenv("KIVO_RENAME_SECONDS");
    return v && *v ? std::strtod(v, nullptr) : 1.0;
}

[[noreturn]] void renameUntil(const TempFolder& dir, Clock::time_point end, int out) {
    Counts counts;
    const char* names[] = {"c", "d"};
    for (int turn = 0; Clock::now() < end; turn ^= 1) {
        const NORVAUString path = dir.file(std::string(names[turn]) + ".vcs");
        KIVOSurfaceCUBEIO surface(path);
        if (surface.getStatus() != 0) continue;  // renamed away meanwhile
        const long status = surface.rename(names[turn ^ 1]);
        if (status == 0) ++counts.renamed;
        else if (status == NORVASurfacePin::kChanged) ++counts.overtaken;
        else if (status == KIVOSurfaceCUBEIO::kRenameFailed) ++counts.taken;
        else ++counts.failed;
    }
    ::_exit(::write(out, &counts, sizeof counts) == static_cast<ssize_t>(sizeof counts) ? 0 : 4);
}

// Why the folder does not hold the whole surface under one name; empty when it does.
std::string split(const TempFolder& dir) {
    const bool atC = NORVAFileUtils::exists(dir.file("c.vcs")), atD = NORVAFileUtils::exists(dir.file("d.vcs"));
    if (atC == atD) return atC ? "a header under both names" : "no header";
    const std::string name = atC ? "c" : "d", other = atC ? "d" : "c";
    for (const std::string& gone : {other + ".xml", other, other + "_V2"})
        if (NORVAFileUtils::exists(dir.file(gone))) return other + ": " + gone + " left";
    if (KIVOSurfaceCUBEIO(dir.file(name + ".vcs")).getStatus() != 0) return name + " does not open";
    if (cubetest::readAll(dir.file(name + "/" + name + "_0x0.vcg")).empty()) return name + ": grid missing";
    if (gridlayer::hostDepth(dir.file(name + ".vcs")) != gridlayer::kHostDepth) return name + ": grid set lost";
    return std::string();
}

class RenameRoundTrip : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(RenameRoundTrip, ProcessesRenamingBackAndForthNeverSplitTheSurface) {
    TempFolder dir;
    ASSERT_EQ(0, cubetest::storedWithGrid(dir.file("c.vcs")));
    gridlayer::hostEdit(dir.file("c.vcs"));
    ASSERT_EQ("", split(dir));
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(runSeconds()));
    std::vector<std::pair<pid_t, int>> children;
    std::fflush(nullptr);
    for (int i = 0; i < GetParam(); ++i) {
        int pipeEnds[2];
        ASSERT_EQ(0, ::pipe(pipeEnds));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);  // the CUBE reports of every open
            renameUntil(dir, end, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);
        children.emplace_back(child, pipeEnds[0]);
    }
    Counts total;
    for (const auto& child : children) {
        Counts counts;
        EXPECT_EQ(static_cast<ssize_t>(sizeof counts), ::read(child.second, &counts, sizeof counts));
        ::close(child.second);
        int status = 0;
        EXPECT_EQ(child.first, ::waitpid(child.first, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        total.renamed += counts.renamed;
        total.overtaken += counts.overtaken;
        total.taken += counts.taken;
        total.failed += counts.failed;
    }
    std::printf("%d processes: %ld renames, refused %ld as overtaken and %ld as taken, %ld failed\n", GetParam(),
                total.renamed, total.overtaken, total.taken, total.failed);
    EXPECT_GT(total.renamed, 0);
    EXPECT_EQ(0, total.failed);
    EXPECT_EQ("", split(dir));
}

INSTANTIATE_TEST_SUITE_P(Processes, RenameRoundTrip, testing::Values(2, 3));
