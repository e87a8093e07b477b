// Multi-resolution surface-factory plug-in: registration, data-set names and
// the raster of one member.
#include <gtest/gtest.h>

#include "CompoundTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "multires/MultiResSurfaceFactoryPlugin.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/orbolink/KIVOGeoRaster.h"

using namespace multirestest;
using ORBO_3_12_0_::DataSet::SurfaceFactory;

namespace {

// A stored compound surface "<name>.kms" with members of the table's resolutions.
void storeCompound(const TempFolder& dir, const std::string& name, const KIVOResolutionTable& table) {
    auto meta = compoundMetaData(dir.file(name + ".xml"), table);
    KIVOCompoundIO io(dir.file(name + ".vns"), meta);
    ASSERT_EQ(0, io.getStatus());
    setDepth(io, 1.0, 1.0, 15.0, 15.0);
    ASSERT_EQ(0, io.store(nullptr));
}

KIVOResolutionTable fineTable() {
    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 0.1f;  // not a float that reads back as 0.1 in double
    table[KIVORangeEntry(20.0, 40.0)] = 2.0f;
    return table;
}

double memberResolution(const ORBO_3_12_0_::DataSet::GeoBandSet& set) {
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::toKIVOSurface(set);
    double x = 0.0, y = 0.0;
    if (!surface || !surface->getMetaData() || surface->getMetaData()->getResolution(x, y) != 0) return -1.0;
    return x;
}

}  // namespace

TEST(MultiResPlugin, RegisteredUnderKmsAtLoad) {
    SurfaceFactory::PluginPtr plugin = SurfaceFactory::getInstance().find("kms");
    ASSERT_TRUE(plugin);
    EXPECT_TRUE(dynamic_cast<MultiResSurfaceFactoryPlugin*>(plugin.get()));
    EXPECT_EQ(NORVAUString("kms"), plugin->getKey());
    EXPECT_EQ(plugin, SurfaceFactory::getInstance().findFor("/a/b/Survey.KMS::x_1"));
    // A second registration under the key keeps the first plug-in.
    MultiResSurfaceFactoryPlugin::registerPlugin("KMS");
    EXPECT_EQ(plugin, SurfaceFactory::getInstance().find("kms"));
    auto copy = plugin->clone();
    ASSERT_TRUE(copy);
    EXPECT_NE(plugin, copy);
    EXPECT_EQ(NORVAUString("kms"), copy->getKey());
}

TEST(MultiResPlugin, FailuresGiveNoSurface) {
    TempFolder dir;
    ASSERT_EQ(0, KIVOGriddedDataIO(dir.file("g.vns"),
                                   [] {
                                       auto m = compoundMetaData(NORVAUString("g.xml"), KIVOResolutionTable());
                                       m->setResolution(1.0);
                                       return m;
                                   }())
                     .store(nullptr));
    MultiResSurfaceFactoryPlugin plugin("kms");
    struct Case {
        const char* what;
        NORVAUString name;
        NORVA::OPEN_MODE mode;
        long status;
    };
    const std::vector<Case> cases = {
        {"update refused before the file is touched", dir.file("missing.kms::m_1"), NORVA::UPDATE, 146153},
        {"create refused", dir.file("missing.kms"), NORVA::CREATE, 146153},
        {"no surface", dir.file("missing.kms::missing_1"), NORVA::READ_ONLY, 146010},
        {"gridded file", dir.file("g.vns::g_1"), NORVA::READ_ONLY, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        long status = 0;
        EXPECT_FALSE(plugin.getSurface(status, c.name, c.mode, nullptr, nullptr));
        EXPECT_EQ(c.status, status);
    }
    long status = 0;
    EXPECT_TRUE(plugin.getDatasetNames(dir.file("missing.kms"), status).empty());
    EXPECT_TRUE(plugin.getDatasetNames(dir.file("g.vns"), status).empty());
    EXPECT_EQ(146131, plugin.deleteSurfaceFiles(dir.file("missing.kms")));
}

TEST(MultiResPlugin, DatasetNamesSelectTheirMembers) {
    TempFolder dir;
    storeCompound(dir, "Survey", fineTable());  // mixed case: opened as given
    MultiResSurfaceFactoryPlugin plugin("kms");
    long status = -1;
    const NORVAUString file = dir.file("Survey.kms");
    const std::vector<NORVAUString> names = plugin.getDatasetNames(file, status);
    EXPECT_EQ(0, status);
    ASSERT_EQ(2u, names.size());
    for (const NORVAUString& name : names) {
        SCOPED_TRACE(name.toUTF8());
        EXPECT_TRUE(name.startsWith("Survey_"));
        long s = -1;
        auto raster = plugin.getSurface(s, file + "::" + name, NORVA::READ_ONLY, nullptr, nullptr);
        ASSERT_TRUE(raster);
        EXPECT_EQ(0, s);
        const double resolution = memberResolution(*raster);
        EXPECT_TRUE(name.endsWith(resolution < 1.0 ? "_0.1" : "_2")) << resolution;
    }
}

TEST(MultiResPlugin, SelectorFormMatchesAtFloatPrecision) {
    TempFolder dir;
    storeCompound(dir, "Survey", fineTable());
    MultiResSurfaceFactoryPlugin plugin("kms");
    struct Case {
        const char* selector;
        double resolution;  // < 0: no member
    };
    // The compound's name and one character are dropped, "_" reads as ".".
    for (const Case& c : {Case{"Survey_0_1", 0.1}, Case{"Survey_2", 2.0}, Case{"Survey_3", -1.0}}) {
        SCOPED_TRACE(c.selector);
        long status = 0;
        auto raster = plugin.getSurface(status, dir.file("Survey.kms") + "::" + c.selector, NORVA::READ_ONLY, nullptr,
                                        nullptr);
        EXPECT_EQ(0, status);
        if (c.resolution < 0) {
            EXPECT_FALSE(raster);
            continue;
        }
        ASSERT_TRUE(raster);
        EXPECT_FLOAT_EQ(static_cast<float>(c.resolution), static_cast<float>(memberResolution(*raster)));
    }
    // The factory routes by extension to the same plug-in.
    long status = 0;
    EXPECT_TRUE(SurfaceFactory::getInstance().getSurface(status, dir.file("Survey.kms::Survey_2"), NORVA::READ_ONLY,
                                                         nullptr, nullptr));
    EXPECT_EQ(SurfaceFactory::kNoPlugin,
              (SurfaceFactory::getInstance().getSurface(status, dir.file("x.unknown"), NORVA::READ_ONLY, nullptr,
                                                        nullptr),
               status));
}

TEST(MultiResPlugin, DeletesTheCompoundFiles) {
    TempFolder dir;
    storeCompound(dir, "s", fineTable());
    MultiResSurfaceFactoryPlugin plugin("kms");
    EXPECT_EQ(0, plugin.deleteSurfaceFiles(dir.file("s.kms")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s.kms")));
}

TEST(DataSetFactory, NamesSplitAtTheLastSeparator) {
    struct Case {
        const char* name;
        const char* file;
        const char* selector;
    };
    for (const Case& c : {Case{"a/b.kms::s_1", "a/b.kms", "s_1"}, Case{"a/b.kms", "a/b.kms", ""},
                          Case{"x::y.kms::z", "x::y.kms", "z"}, Case{"b.kms::", "b.kms", ""}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NORVAUString(c.file), SurfaceFactory::filePart(c.name));
        EXPECT_EQ(NORVAUString(c.selector), SurfaceFactory::selectorPart(c.name));
    }
}
