// A CUBE grid folder, or a compound member folder, that is a symbolic link to
// a folder elsewhere, or a tile store's points file linked to one elsewhere:
// deleting, renaming, copying or storing the surface never removes, moves or
// writes what the link points to, and deleting removes the link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
#include "KestrinSurfaceTestSupport.h"
#include "platform/kestrin/KestrinStatus.h"
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

void makeTileStore(const TempFolder& tmp) {
    auto io = kestrinsurface::created(tmp.file("work/S.kps"), kestrinsurface::depthAndStatus(), 1.0);
    kestrinsurface::addNode(*io, 5.0, 5.0, 1.0);
    ASSERT_EQ(0, io->store(nullptr));
}

// The surface work/S.<extension>, its part work/<part> (a folder, or a file)
// moved to elsewhere/<part> (beside an unrelated file) and a link left in
// its place: a symbolic link, or a second name of the file (a hard link).
void makeLinked(const TempFolder& tmp, const std::function<void(const TempFolder&)>& make, const std::string& part,
                bool hard) {
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("work")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("elsewhere")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("copy")));
    make(tmp);
    const fs::path at = tmp.file("work/" + part).toUTF8(), moved = tmp.file("elsewhere/" + part).toUTF8();
    fs::rename(at, moved);
    std::ofstream((fs::is_directory(moved) ? moved : moved.parent_path()) / "unrelated.txt") << "not the surface's";
    if (hard) fs::create_hard_link(moved, at);
    else fs::create_symlink(moved, at);
}

}  // namespace

TEST(LinkedFolders, WhatALinkPointsToIsNeverRemovedOrMoved) {
    struct Kind {
        const char* name;
        const char* extension;
        std::function<void(const TempFolder&)> make;
        long renameRefused;
        const char* linked;  // the part that is a link
        bool hard;
        long storeRefused;  // 0: a store may go ahead inside the surface's own folders
    } kinds[] = {{"CUBE grid folder", ".vcs", makeCube, KIVOSurfaceCUBEIO::kRenameFailed, "S", false, 0},
                 {"compound member folder", ".kms", makeCompound, KIVOCompoundIO::kFolderFailed, "S", false, 0},
                 {"tile-store points file", ".kps", makeTileStore, -1, "S.ktf", false, KestrinStatus::WRITE_FAILED},
                 {"tile-store points file, hard link", ".kps", makeTileStore, -1, "S.ktf", true,
                  KestrinStatus::WRITE_FAILED}};
    using Operation = std::function<void(const NORVAUString& surface, const TempFolder& tmp, const Kind& kind)>;
    const std::pair<const char*, Operation> operations[] = {
        {"open and query",
         [](const NORVAUString& surface, const TempFolder&, const Kind&) {
             long status = 0;
             NORVAType<KIVOSurface> opened = KIVOSurfaceUtils::open(surface, status);
             ASSERT_EQ(0, status);
             EXPECT_TRUE(opened->getDataIO()->query(0.0, 0.0, 1e9, 1e9, false, status, nullptr, 0.0));
         }},
        // Whether it stores or refuses, nothing elsewhere changes.
        {"store",
         [](const NORVAUString& surface, const TempFolder&, const Kind& kind) {
             const long status = KIVOSurfaceUtils::getDataIO(surface)->store(nullptr);
             if (kind.storeRefused != 0) {
                 EXPECT_EQ(kind.storeRefused, status);
             }
         }},
        {"rename",
         [](const NORVAUString& surface, const TempFolder&, const Kind& kind) {
             NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(surface);
             EXPECT_EQ(kind.renameRefused, io->rename("R"));
         }},
        {"copy",
         [](const NORVAUString& surface, const TempFolder& tmp, const Kind&) {
             NORVAUString extension;
             PathUtilities::parsePath(surface, nullptr, nullptr, nullptr, &extension);
             EXPECT_EQ(0, KIVOSurfaceUtils::copySurface(surface, tmp.file("copy/T") + extension));
         }},
        {"deleteAllFiles",
         [](const NORVAUString& surface, const TempFolder& tmp, const Kind&) {
             EXPECT_EQ(0, KIVOSurfaceUtils::getDataIO(surface)->deleteAllFiles(true));
             EXPECT_FALSE(fs::exists(fs::symlink_status(tmp.file("work/S").toUTF8())));
         }},
        {"deleteFiles",
         [](const NORVAUString& surface, const TempFolder& tmp, const Kind&) {
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
            makeLinked(tmp, kind.make, kind.linked, kind.hard);
            const std::string root = tmp.path().toUTF8();
            const foldersnapshot::Snapshot outside = foldersnapshot::outside(root, {"work", "copy"});
            run(tmp.file("work/S") + kind.extension, tmp, kind);
            EXPECT_EQ(outside, foldersnapshot::outside(root, {"work", "copy"}));
        }
    }
}
