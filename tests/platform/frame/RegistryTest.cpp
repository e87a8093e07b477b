#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "FrameTestSupport.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOSurfaceUtils.h"

using namespace frametest;
namespace SU = KIVOSurfaceUtils;

// The registry is process-wide and has no removal: these tests register
// formats under extensions nobody else uses (".tfa" ...), once.
namespace {

NORVAUString g_lastPath;
int g_made = 0;

// A data-IO whose files are the surface, its ".xml" and two grid files in a
// folder named after it ("<stem>/<stem>_0.bin", "<stem>/deep/<stem>_1.bin").
class FolderIO : public VectorDataIO {
public:
    explicit FolderIO(const NORVAUString& path) : VectorDataIO({}, path) {}
    long getAssociatedFiles(std::vector<NORVAUString>& f) const override {
        const std::string p = getSourceName().toUTF8();
        const std::string stem = p.substr(0, p.rfind('.'));
        const std::string name = stem.substr(stem.rfind('/') + 1);
        f = {NORVAUString(p), NORVAUString(stem + ".xml"), NORVAUString(stem + "/" + name + "_0.bin"),
             NORVAUString(stem + "/deep/" + name + "_1.bin"), NORVAUString(stem + "/" + name + "_2.bin")};
        return 0;
    }
};

// Lists beside its own file one whose name climbs out of the surface's folder.
class ForgedIO : public VectorDataIO {
public:
    explicit ForgedIO(const NORVAUString& path) : VectorDataIO({}, path) {}
    long getAssociatedFiles(std::vector<NORVAUString>& f) const override {
        const std::string p = getSourceName().toUTF8();
        f = {NORVAUString(p), NORVAUString(p.substr(0, p.rfind('.')) + "/../victim/v.txt")};
        return 0;
    }
};

NORVAType<KIVOSurfaceDataIO> makeForged(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new ForgedIO(path));
}

NORVAType<KIVOSurfaceDataIO> makeA(const NORVAUString& path) {
    g_lastPath = path;
    ++g_made;
    return NORVAType<KIVOSurfaceDataIO>(new FolderIO(path));
}
NORVAType<KIVOSurfaceDataIO> makeNothing(const NORVAUString&) { return NORVAType<KIVOSurfaceDataIO>(); }
NORVAType<KIVOSurfaceDataIO> makeFailing(const NORVAUString& path) {
    auto io = new VectorDataIO({}, path);
    io->setStatus(146006);
    return NORVAType<KIVOSurfaceDataIO>(io);
}
NORVAType<KIVOSurfaceDataIO> makeThrowing(const NORVAUString&) { throw std::bad_alloc(); }

struct Registered {
    Registered() {
        SU::registerDataIO("Test A", ".tfa", SU::CUBE, &makeA, true);
        SU::registerDataIO("Test B", ".TFB", SU::TILE_STORE, &makeNothing, false);
        SU::registerDataIO("Test B", ".tfc", SU::TILE_STORE, &makeNothing, false);
        SU::registerDataIO("Test Failing", ".tff", SU::BAG, &makeFailing, true);
        SU::registerDataIO("Test Throwing", ".tft", SU::BAG, &makeThrowing, true);
        SU::registerDataIO("Test A again", ".tfa", SU::WEIGHTED_GRID, &makeNothing, true);
        SU::registerDataIO("Test Forged", ".tfg", SU::BAG, &makeForged, true);
        // The extension-less road needs ".vns" and ".vcs"; register test
        // stand-ins only when the library itself registered none.
        if (!SU::findFormat("x.vns")) SU::registerDataIO("Test VNS", ".vns", SU::GRIDDED, &makeA, true);
        if (!SU::findFormat("x.vcs")) SU::registerDataIO("Test VCS", ".vcs", SU::CUBE, &makeA, true);
    }
};
void ensureRegistered() { static Registered once; }

long indexOf(const char* name, const char* ext) {
    const auto& f = SU::registeredFormats();
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i].name == NORVAUString(name) && f[i].extension == NORVAUString(ext)) return long(i);
    return -1;
}

void touch(const NORVAUString& path) { std::ofstream(path.toUTF8()) << "x"; }

}  // namespace

TEST(FrameRegistry, KeepsRegistrationOrderAndFields) {
    ensureRegistered();
    long a = indexOf("Test A", ".tfa"), b = indexOf("Test B", ".TFB"), c = indexOf("Test B", ".tfc"),
         f = indexOf("Test Failing", ".tff");
    ASSERT_GE(a, 0);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c, a + 2);
    EXPECT_EQ(f, a + 3);
    const auto& entry = SU::registeredFormats()[b];
    EXPECT_EQ(entry.type, SU::TILE_STORE);
    EXPECT_FALSE(entry.flag);
    EXPECT_EQ(entry.creator, &makeNothing);
    EXPECT_EQ(SU::registeredFormats()[c].creator, entry.creator);  // shared creator
}

TEST(FrameRegistry, ExtensionsMatchWithoutCase) {
    ensureRegistered();
    const auto* f = SU::findFormat("/data/Survey.TFA");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->name, NORVAUString("Test A"));  // the first registration wins
    ASSERT_NE(SU::findFormat("/data/s.tfb"), nullptr);
    EXPECT_EQ(SU::findFormat("/data/s.tfb")->name, NORVAUString("Test B"));
    EXPECT_EQ(SU::getSurfaceType("/data/s.Tfa"), SU::CUBE);
    EXPECT_EQ(SU::getSurfaceType("/data/s.tfc"), SU::TILE_STORE);
    EXPECT_EQ(SU::getSurfaceType("/data/s.nosuch"), SU::UNKNOWN);
    EXPECT_EQ(SU::findFormat("/data/s.tfa.bak"), nullptr);
}

TEST(FrameRegistry, GetDataIORunsTheCreator) {
    ensureRegistered();
    g_made = 0;
    auto io = SU::getDataIO("/data/Survey.TfA");
    ASSERT_TRUE(io);
    EXPECT_EQ(g_made, 1);
    EXPECT_EQ(g_lastPath, NORVAUString("/data/Survey.TfA"));
    EXPECT_EQ(io->getStatus(), 0);
    EXPECT_FALSE(SU::getDataIO("/data/s.unknownext"));
    EXPECT_FALSE(SU::getDataIO(""));
    EXPECT_FALSE(SU::getDataIO("/data/s.tfb"));  // the creator makes nothing
    EXPECT_FALSE(SU::getDataIO("/data/s.tft"));  // a throwing creator makes nothing
    auto failing = SU::getDataIO("/data/s.tff");
    ASSERT_TRUE(failing);
    EXPECT_EQ(failing->getStatus(), 146006);
}

TEST(FrameRegistry, ExtensionlessStemPrefersVnsThenVcs) {
    ensureRegistered();
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    const NORVAUString stem = tmp.file("surface");
    EXPECT_EQ(SU::findFormat(stem), nullptr);  // neither exists
    EXPECT_FALSE(SU::getDataIO(stem));
    touch(stem + ".vcs");
    ASSERT_NE(SU::findFormat(stem), nullptr);
    EXPECT_TRUE(SU::findFormat(stem)->extension.equalsIgnoreCase(".vcs"));
    touch(stem + ".vns");
    ASSERT_NE(SU::findFormat(stem), nullptr);
    EXPECT_TRUE(SU::findFormat(stem)->extension.equalsIgnoreCase(".vns"));
    EXPECT_EQ(SU::getSurfaceType(stem), SU::findFormat(stem + ".vns")->type);
    // A folder of the stem's name is not a surface.
    const NORVAUString dirStem = tmp.file("folder");
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(dirStem + ".vns"));
    EXPECT_EQ(SU::findFormat(dirStem), nullptr);
}

TEST(FrameRegistry, SurfaceFilesListFoldersBeforeTheirFiles) {
    ensureRegistered();
    const NORVAUString p("/data/s.tfa");
    std::vector<NORVAUString> files{"stale"};
    ASSERT_TRUE(SU::getSurfaceFiles(p, files));
    const std::vector<NORVAUString> expected{"/data/s.tfa",   "/data/s.xml",       "/data/s/",
                                             "/data/s/s_0.bin", "/data/s/deep/",   "/data/s/deep/s_1.bin",
                                             "/data/s/s_2.bin"};
    EXPECT_EQ(files, expected);
    std::vector<NORVAUString> none{"kept"};
    EXPECT_FALSE(SU::getSurfaceFiles("/data/s.nosuch", none));
    EXPECT_FALSE(SU::getSurfaceFiles("/data/s.tfb", none));
    EXPECT_FALSE(SU::getSurfaceFiles("/data/s.tff", none));  // non-zero status
    EXPECT_EQ(none, (std::vector<NORVAUString>{"kept"}));
}

TEST(FrameRegistry, DeleteFilesRemovesTheSurface) {
    ensureRegistered();
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    const NORVAUString p = tmp.file("s.tfa");
    touch(p);
    touch(tmp.file("s.xml"));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("s/deep")));
    touch(tmp.file("s/s_0.bin"));
    touch(tmp.file("s/deep/s_1.bin"));
    touch(tmp.file("other.txt"));
    // s_2.bin does not exist: not a failure.
    EXPECT_TRUE(SU::deleteFiles(p));
    EXPECT_FALSE(NORVAFileUtils::exists(p));
    EXPECT_FALSE(NORVAFileUtils::exists(tmp.file("s.xml")));
    EXPECT_FALSE(NORVAFileUtils::exists(tmp.file("s")));
    EXPECT_TRUE(NORVAFileUtils::exists(tmp.file("other.txt")));
    EXPECT_FALSE(SU::deleteFiles(tmp.file("s.nosuch")));
}

TEST(FrameRegistry, ANameLeadingOutOfTheSurfacesFolderRefusesTheListing) {
    ensureRegistered();
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work/s")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work/victim")));
    touch(tmp.file("work/s.tfg"));
    touch(tmp.file("work/victim/v.txt"));
    std::vector<NORVAUString> files{"kept"};
    EXPECT_FALSE(SU::getSurfaceFiles(tmp.file("work/s.tfg"), files));
    EXPECT_EQ(files, std::vector<NORVAUString>{"kept"});
    EXPECT_FALSE(SU::deleteFiles(tmp.file("work/s.tfg")));
    for (const char* kept : {"work/s.tfg", "work/s", "work/victim/v.txt"})
        EXPECT_TRUE(NORVAFileUtils::exists(tmp.file(kept))) << kept;
}
