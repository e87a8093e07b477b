// A CUBE grid folder, or a compound member folder, that is a symbolic link to
// a folder elsewhere: deleting, renaming or copying the surface never
// removes or moves what the link points to, and deleting removes the link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CubeTestSupport.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/pathkit/PathUtilities.h"

namespace {

namespace fs = std::filesystem;

void makeCube(const TempFolder& tmp) {
    ASSERT_EQ(0, cubetest::storedWithGrid(tmp.file("work/S.vcs")));
    cubetest::writeAll(CUBEUtils::layerFileName(tmp.file("work/S/S"), "Depth", 0, 0),
                       cubetest::vccBytes(0, 0, 5, 5, std::vector<float>(25, 1.0f)));
}

void makeCompound(const TempFolder& tmp) {
    auto meta = multirestest::compoundMetaData(tmp.file("work/S.xml"), multirestest::twoRanges());
    KIVOCompoundIO io(tmp.file("work/S.kms"), meta);
    ASSERT_EQ(0, io.getStatus());
    ASSERT_EQ(0, multirestest::setDepth(io, 1.0, 1.0, 15.0, 15.0));
    ASSERT_EQ(0, io.store(nullptr));
}

// The surface work/S.<extension>, its folder work/S moved to elsewhere/S
// (beside an unrelated file) and a symbolic link left in its place.
void makeLinked(const TempFolder& tmp, const std::function<void(const TempFolder&)>& make) {
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("elsewhere")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("copy")));
    make(tmp);
    fs::rename(tmp.file("work/S").toUTF8(), tmp.file("elsewhere/S").toUTF8());
    std::ofstream(tmp.file("elsewhere/S/unrelated.txt").toUTF8()) << "not the surface's";
    fs::create_directory_symlink(tmp.file("elsewhere/S").toUTF8(), tmp.file("work/S").toUTF8());
}

}  // namespace

TEST(LinkedFolders, WhatALinkPointsToIsNeverRemovedOrMoved) {
    struct Kind {
        const char* name;
        const char* extension;
        std::function<void(const TempFolder&)> make;
        long renameRefused;
    } kinds[] = {{"CUBE grid folder", ".vcs", makeCube, KIVOSurfaceCUBEIO::kRenameFailed},
                 {"compound member folder", ".kms", makeCompound, KIVOCompoundIO::kFolderFailed}};
    using Operation = std::function<void(const NORVAUString& surface, const TempFolder& tmp, long renameRefused)>;
    const std::pair<const char*, Operation> operations[] = {
        {"open and query",
         [](const NORVAUString& surface, const TempFolder&, long) {
             long status = 0;
             NORVAType<KIVOSurface> opened = KIVOSurfaceUtils::open(surface, status);
             ASSERT_EQ(0, status);
             EXPECT_TRUE(opened->getDataIO()->query(0.0, 0.0, 1e9, 1e9, false, status, nullptr, 0.0));
         }},
        // Whether it stores or refuses, nothing elsewhere changes.
        {"store",
         [](const NORVAUString& surface, const TempFolder&, long) {
             KIVOSurfaceUtils::getDataIO(surface)->store(nullptr);
         }},
        {"rename",
         [](const NORVAUString& surface, const TempFolder&, long renameRefused) {
             NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(surface);
             EXPECT_EQ(renameRefused, io->rename("R"));
         }},
        {"copy",
         [](const NORVAUString& surface, const TempFolder& tmp, long) {
             NORVAUString extension;
             PathUtilities::parsePath(surface, nullptr, nullptr, nullptr, &extension);
             EXPECT_EQ(0, KIVOSurfaceUtils::copySurface(surface, tmp.file("copy/T") + extension));
         }},
        {"deleteAllFiles",
         [](const NORVAUString& surface, const TempFolder& tmp, long) {
             EXPECT_EQ(0, KIVOSurfaceUtils::getDataIO(surface)->deleteAllFiles(true));
             EXPECT_FALSE(fs::exists(fs::symlink_status(tmp.file("work/S").toUTF8())));
         }},
        {"deleteFiles",
         [](const NORVAUString& surface, const TempFolder& tmp, long) {
             EXPECT_TRUE(KIVOSurfaceUtils::deleteFiles(surface));
             EXPECT_FALSE(fs::exists(fs::symlink_status(tmp.file("work/S").toUTF8())));
             EXPECT_FALSE(NORVAFileUtils::exists(surface));
         }},
    };
    for (const Kind& kind : kinds) {
        for (const auto& [what, run] : operations) {
            SCOPED_TRACE(std::string(kind.name) + ": " + what);
            TempFolder tmp;
            ASSERT_FALSE(tmp.path().isEmpty());
            makeLinked(tmp, kind.make);
            const std::string root = tmp.path().toUTF8();
            const foldersnapshot::Snapshot outside = foldersnapshot::outside(root, {"work", "copy"});
            run(tmp.file("work/S") + kind.extension, tmp, kind.renameRefused);
            EXPECT_EQ(outside, foldersnapshot::outside(root, {"work", "copy"}));
        }
    }
}
