// A new surface under the name of a surface of another kind: every way of
// making one is refused before it writes, since it would share that one's
// metadata file.
#include <gtest/gtest.h>

#include <functional>

#include "CombineTestSupport.h"
#include "FolderSnapshot.h"
#include "ToolsTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "multires/KIVOCompoundIO.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/shapes/NORVACover.h"
#include "tools/KIVOGenerator.h"

using namespace combinetest;

namespace {

NORVAType<KIVOSurfaceXMLMetaData> metadataOver(const NORVAUString& path, const KIVODescriptor& descriptor) {
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor)), path);
    setCoordSystem(*meta);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(3.0, 3.0);
    meta->setResolution(1.0);
    return meta;
}

NORVAType<KIVOSurfaceXMLMetaData> depthMetadata(const NORVAUString& path) {
    return metadataOver(path, KIVOMemDescriptor({entry("Depth", KIVODataType::FLOAT)}));
}

KIVOResolutionTable twoRanges() {
    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    table[KIVORangeEntry(20.0, 60.0)] = 2.0f;
    return table;
}

long build(const TempFolder& dir, bool compound) {
    toolstest::VectorPointIter soundings({{1.0, 1.0, 12.0, 0.1}});
    const NORVACoordSystem cs("EPSG:32631", "UTM");
    const NORVACover cover(0.0, 0.0, 3.0, 3.0);
    KIVOGenerator g(soundings, cs, cover, "Depth", "m", "");
    g.setName(dir.file("s.vns"));
    g.setWeightingMethod(KIVOGenerator::REPLACE);
    if (compound) g.setResolutionTable(twoRanges());
    else g.setResolution(1.0);
    return g.generate("", "", "", nullptr, nullptr);
}

// The status of the creation, else that of the first store; `created` runs
// in between.
long storeNew(KIVOSurfaceDataIO& io, const std::function<void()>& created) {
    if (io.getStatus() != 0) return io.getStatus();
    created();
    return io.store(nullptr);
}

}  // namespace

TEST(SurfaceName, ANewSurfaceUnderTheNameOfAnotherKindIsRefused) {
    using Make = std::function<long(const TempFolder& dir, const std::function<void()>& created)>;
    struct Case {
        const char* what;
        bool otherFirst;  // else the other surface is made between creation and first store
        Make make;
    } cases[] = {
        {"a gridded surface", true,
         [](const TempFolder& dir, const std::function<void()>& created) {
             KIVOGriddedDataIO io(dir.file("s.vns"), depthMetadata(dir.file("s.xml")));
             return storeNew(io, created);
         }},
        {"a tile store of the other extension", true,
         [](const TempFolder& dir, const std::function<void()>& created) {
             KIVOKestrinDataIO io(dir.file("s.kts"), *depthMetadata(dir.file("s.xml")));
             return storeNew(io, created);
         }},
        {"a CUBE surface", true,
         [](const TempFolder& dir, const std::function<void()>& created) {
             auto meta = metadataOver(dir.file("s.xml"), *CUBEUtils::getDescriptor(false));
             KIVOSurfaceCUBEIO io(dir.file("s.vcs"), meta, CUBEUtils::getParams(0, 1.0f));
             return storeNew(io, created);
         }},
        {"a compound surface", true,
         [](const TempFolder& dir, const std::function<void()>& created) {
             auto meta = depthMetadata(dir.file("s.xml"));
             meta->setResolutionTable("Depth", twoRanges());
             KIVOCompoundIO io(dir.file("s.kms"), meta);
             return storeNew(io, created);
         }},
        {"a compound surface under an upper-case extension", true,
         [](const TempFolder& dir, const std::function<void()>& created) {
             auto meta = depthMetadata(dir.file("s.xml"));
             meta->setResolutionTable("Depth", twoRanges());
             KIVOCompoundIO io(dir.file("s.KMS"), meta);
             return storeNew(io, created);
         }},
        {"the builder's gridded output", true,
         [](const TempFolder& dir, const std::function<void()>&) { return build(dir, false); }},
        {"the builder's compound output", true,
         [](const TempFolder& dir, const std::function<void()>&) { return build(dir, true); }},
        {"a copy", true,
         [](const TempFolder& dir, const std::function<void()>&) {
             return KIVOSurfaceUtils::copySurface(dir.file("a.vns"), dir.file("s.vns"));
         }},
        {"the first store of a gridded surface", false,
         [](const TempFolder& dir, const std::function<void()>& created) {
             KIVOGriddedDataIO io(dir.file("s.vns"), depthMetadata(dir.file("s.xml")));
             return storeNew(io, created);
         }},
    };
    // The registry takes extensions in any case: so does the check, in both orders.
    for (const char* otherName : {"s.kps", "s.KPS"})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " beside " + otherName);
        TempFolder dir;
        const NORVAUString source = dir.file("a.vns");
        ASSERT_EQ(0, storeGridded(source, {entry("Depth", KIVODataType::FLOAT)}, {{1.0, 2.0, {{"Depth", 7.5}}}}));
        const NORVAUString other = dir.file(otherName);
        foldersnapshot::Snapshot before;
        auto makeOther = [&] {
            ASSERT_EQ(0, combine(other, {source}));
            before = foldersnapshot::take(dir.path().toUTF8());
        };
        testing::internal::CaptureStdout();
        if (c.otherFirst) makeOther();
        const std::function<void()> created = c.otherFirst ? std::function<void()>([] {}) : makeOther;
        const long status = c.make(dir, created);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(KIVOSurfaceUtils::kNameTaken, status);
        EXPECT_TRUE(before == foldersnapshot::take(dir.path().toUTF8()));
        long opened = -1;
        NORVAType<KIVOSurface> kept = KIVOSurfaceUtils::open(other, opened);
        EXPECT_EQ(0, opened);
        EXPECT_EQ(7.5, kept ? valueAt(*kept, 1.0, 2.0, "Depth") : 0.0);
    }
}
