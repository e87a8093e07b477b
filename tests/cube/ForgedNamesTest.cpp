// A CUBE surface whose metadata names an attribute that would lead out of
// the grid folder once pasted into a layer-cache file name: every operation
// a user runs on it leaves whatever lies outside the surface as it was.
#include <gtest/gtest.h>

#include <functional>

#include "CubeTestSupport.h"
#include "FolderSnapshot.h"
#include "TestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceUtils.h"

namespace {

// work/sub/S.vcs with one stored grid and its depth layer; bystander folders
// work/victims (reached by a name with ".." from the grid folder) and victims
// (reached the same way from a copy's grid folder copy/T).
void makeSurface(const cubetest::TempDir& tmp) {
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work/sub")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work/victims/c")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("victims")));
    testsupport::writeFile(tmp.file("work/victims/c/vA.vcc").toUTF8(), "not the surface's");
    testsupport::writeFile(tmp.file("work/victims/other.txt").toUTF8(), "bystander");
    testsupport::writeFile(tmp.file("victims/other.txt").toUTF8(), "bystander");
    ASSERT_EQ(0, cubetest::storedWithGrid(tmp.file("work/sub/S.vcs")));
    cubetest::writeAll(CUBEUtils::layerFileName(tmp.file("work/sub/S/S"), "Depth", 0, 0),
                       cubetest::vccBytes(0, 0, 5, 5, std::vector<float>(25, 1.0f)));
}

// The metadata names `forged` where it named "Depth"; the grid folder holds
// what makes the forged path resolve: the folder the name starts with and
// a placeholder of its leaf name.
void forge(const cubetest::TempDir& tmp, const std::string& forged) {
    std::string xml = testsupport::readFile(tmp.file("work/sub/S.xml").toUTF8());
    const std::string depth = "name=\"Depth\"";
    const size_t at = xml.find(depth);
    ASSERT_NE(std::string::npos, at);
    xml.replace(at, depth.size(), "name=\"" + forged + "\"");
    testsupport::writeFile(tmp.file("work/sub/S.xml").toUTF8(), xml);
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(tmp.file("work/sub/S/S_0x0_X")));
    testsupport::writeFile(tmp.file("work/sub/S/vA.vcc").toUTF8(), "placeholder");
}

}  // namespace

TEST(CubeForgedNames, NothingOutsideTheSurfaceChangesAndTheSurfaceIsRefused) {
    // As they stand in the ".xml" text.
    const char* const names[] = {"X/../../../victims/c/vA", "a/b", "..", ".", "", "&#0;"};
    using Operation = std::function<void(const NORVAUString& surface, const NORVAUString& copy)>;
    const std::pair<const char*, Operation> operations[] = {
        {"open and query",
         [](const NORVAUString& surface, const NORVAUString&) {
             long status = 0;
             NORVAType<KIVOSurface> opened = KIVOSurfaceUtils::open(surface, status);
             EXPECT_EQ(KIVOSurfaceCUBEIO::kBadAttributeName, status);
             if (opened) opened->getDataIO()->query(0.0, 0.0, 1e9, 1e9, false, status, nullptr, 0.0);
         }},
        {"store", [](const NORVAUString& surface, const NORVAUString&) { KIVOSurfaceCUBEIO(surface).store(nullptr); }},
        {"rename", [](const NORVAUString& surface, const NORVAUString&) { KIVOSurfaceCUBEIO(surface).rename("R"); }},
        {"copy",
         [](const NORVAUString& surface, const NORVAUString& copy) {
             EXPECT_NE(0, KIVOSurfaceUtils::copySurface(surface, copy));
         }},
        {"deleteAllFiles",
         [](const NORVAUString& surface, const NORVAUString&) { KIVOSurfaceCUBEIO(surface).deleteAllFiles(true); }},
        {"deleteFiles",
         [](const NORVAUString& surface, const NORVAUString&) {
             EXPECT_FALSE(KIVOSurfaceUtils::deleteFiles(surface));
         }},
    };
    for (const char* name : names) {
        cubetest::TempDir tmp;
        ASSERT_FALSE(tmp.path().isEmpty());
        makeSurface(tmp);
        forge(tmp, name);
        ASSERT_TRUE(NORVAFileUtils::makeDirectory(tmp.file("copy")));
        const std::string root = tmp.path().toUTF8();
        const foldersnapshot::Snapshot start = foldersnapshot::take(root);
        const foldersnapshot::Snapshot outside = foldersnapshot::outside(root, {"work/sub", "copy"});
        const foldersnapshot::Snapshot all = foldersnapshot::outside(root, {"copy"});
        for (const auto& [what, run] : operations) {
            SCOPED_TRACE(std::string(name) + ": " + what);
            run(tmp.file("work/sub/S.vcs"), tmp.file("copy/T.vcs"));
            EXPECT_EQ(outside, foldersnapshot::outside(root, {"work/sub", "copy"}));
            // Refused as damaged: the surface stays as it was too.
            EXPECT_EQ(all, foldersnapshot::outside(root, {"copy"}));
            foldersnapshot::restore(root, start);
        }
    }
    // Made from metadata holding such a name, a surface is refused alike.
    for (const char* name : {"X/../../../victims/c/vA", "a/b", "..", ".", ""}) {
        cubetest::TempDir tmp;
        std::vector<KIVODescriptor::AttribEntry> entries{KIVODescriptor::AttribEntry(name, KIVODataType::FLOAT)};
        auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(KIVOMemDescriptor(entries)));
        auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), tmp.file("N.xml"));
        meta->setDimensions(9.0, 9.0);
        meta->setResolution(1.0);
        KIVOSurfaceCUBEIO made(tmp.file("N.vcs"), meta, CUBEUtils::getParams(0, 1.0f));
        EXPECT_EQ(KIVOSurfaceCUBEIO::kBadAttributeName, made.getStatus()) << name;
    }
}
