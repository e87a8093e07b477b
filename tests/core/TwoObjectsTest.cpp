// Two objects of one surface in one process, as two hosts would hold them:
// what one object's commit leaves the other, kind by kind. Each row returns
// "" when it holds, else what it found.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "QuietOutput.h"
#include "TempFolder.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "formats/wgrid/WGridTestSupport.h"
#include "multires/CompoundTestSupport.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOGriddedDataIO.h"

// ---------------------------------------------------------------- renames

namespace {

namespace fs = std::filesystem;

// Everything under the folder, with staged grids counted apart.
std::set<std::string> entriesBelow(const TempFolder& d, size_t& staged) {
    std::set<std::string> names;
    staged = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(d.path().toUTF8())) {
        const std::string name = fs::relative(e.path(), d.path().toUTF8()).string();
        if (name.find(".tmp-") != std::string::npos)
            ++staged;
        else
            names.insert(name);
    }
    return names;
}

std::string listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += " " + n;
    return text;
}

// Y renames after X did: refused as changed, with nothing made anywhere
// once Y is gone too (a CUBE object commits what it holds then), and none
// of Y's staged grids left behind in X's folder.
std::string renameAfterRename(const TempFolder& d, const std::function<long()>& renameX,
                              const std::function<long()>& renameY, const std::function<void()>& dropY) {
    const long x = renameX();
    if (x != 0) return "X's rename: " + std::to_string(x);
    size_t before = 0, after = 0;
    const std::set<std::string> renamed = entriesBelow(d, before);
    const long y = renameY();
    dropY();
    const std::set<std::string> left = entriesBelow(d, after);
    std::string made, gone;
    for (const std::string& n : left)
        if (!renamed.count(n)) made += " " + n;
    for (const std::string& n : renamed)
        if (!left.count(n)) gone += " " + n;
    if (y == NORVASurfacePin::kChanged && made.empty() && gone.empty() && after == 0) return "";
    return "Y's rename: " + std::to_string(y) + "; made:" + made + "; gone:" + gone + "; Y's staged grids left " +
           std::to_string(after) + " (" + std::to_string(before) + " after X's rename); now:" + listed(left);
}

long storeGridded(const NORVAUString& path) {
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(multirestest::depthLayout())), path);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(4.0, 3.0);
    meta->setResolution(1.0);
    KIVOGriddedDataIO grid(path, std::move(meta));
    return grid.getStatus() != 0 ? grid.getStatus() : grid.store(nullptr);
}

std::string griddedRenames() {
    TempFolder d;
    if (const long s = storeGridded(d.file("g.vns"))) return "create: " + std::to_string(s);
    KIVOGriddedDataIO x(d.file("g.vns")), y(d.file("g.vns"));
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

// Y edits `grids` grids of a surface of 5 x 5 grids (the edit cache holds
// ten, the others wait in staged files), then X renames the surface.
std::string cubeRenames(uint16_t grids) {
    QuietOutput quiet;
    TempFolder d;
    const NORVAUString path = d.file("c.vcs");
    if (const long s = cubetest::createStored(path, 24.0, 24.0, 1.0, 5)) return "create: " + std::to_string(s);
    auto y = std::make_unique<KIVOSurfaceCUBEIO>(path);
    for (uint16_t i = 0; i < grids; ++i) {
        long status = 0;
        auto entry = y->getGrid(y->makeKey(i / 5, i % 5), status, true, true);
        if (!entry || cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, 1, 1), 10.0f, 0.25f) != 1)
            return "edit: " + std::to_string(status);
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    }
    KIVOSurfaceCUBEIO x(path);
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y->rename("r2"); }, [&] { y.reset(); });
}

std::string compoundRenames() {
    QuietOutput quiet;
    TempFolder d;
    {
        auto meta = multirestest::compoundMetaData(d.file("c.xml"), multirestest::twoRanges());
        KIVOCompoundIO made(d.file("c.kms"), meta);
        if (const long s = made.getStatus() != 0 ? made.getStatus() : made.store(nullptr))
            return "create: " + std::to_string(s);
    }
    KIVOCompoundIO x(d.file("c.kms")), y(d.file("c.kms"));
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

std::string wgridRenames() {
    TempFolder d;
    wgridtest::writeSurface(d.file("w").toUTF8(), wgridtest::GridShape());
    KIVOWGridDataIO x(d.file("w.def"), "Depth"), y(d.file("w.def"), "Depth");
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

}  // namespace

// ----------------------------------------------------------------

TEST(TwoObjects, OfOneSurface) {
    const struct {
        const char* name;
        std::function<std::string()> run;
    } rows[] = {
        {"gridded: a rename after another object's rename", griddedRenames},
        {"CUBE: a rename after another object's rename", [] { return cubeRenames(1); }},
        {"CUBE: another object's rename with 15 staged grids of this one", [] { return cubeRenames(25); }},
        {"compound: a rename after another object's rename", compoundRenames},
        {"weighted grid: a rename after another object's rename", wgridRenames},
    };
    for (const auto& row : rows) EXPECT_EQ("", row.run()) << row.name;
}
