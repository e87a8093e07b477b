#include <gtest/gtest.h>

#include <cfloat>
#include <map>
#include <set>

#include "KestrinPointTestSupport.h"
#include "TempFolder.h"
#include "multires/KestrinCloudStatus.h"
#include "multires/KestrinFactoryPlugin.h"
#include "multires/KestrinGeoCloud.h"
#include "multires/KestrinNodeIterator.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

using namespace kestrinpoints;
using ORBO_3_12_0_::DataSet::NodeIterator;
using ORBO_3_12_0_::DataSet::SurfaceFactory;
using ORBO_3_12_0_::DataSet::Cloud::BandType;
using ORBO_3_12_0_::DataSet::Cloud::GeoCloud;
using KestrinStoreType::FLOAT;
using KestrinStoreType::LONG;

const std::vector<Field> kFields{{"Depth", FLOAT}, {"Status", LONG}, {"Uncertainty", FLOAT}};

// A store of the fields above written to disk; one point per depth at (i + 1, i + 1).
class StoredCloud : public ::testing::Test {
protected:
    NORVAUString write(const std::vector<Point>& points, const std::vector<Field>& fields = kFields,
                       bool withCoordSystem = true, const char* name = "cloud.kps") {
        const NORVAUString path = dir.file(name);
        EXPECT_EQ(0, store(fields, points, withCoordSystem)->store(path));
        return path;
    }
    static std::vector<Point> depths(const std::vector<double>& d, const std::vector<double>& statuses = {}) {
        std::vector<Point> points;
        for (size_t i = 0; i < d.size(); ++i)
            points.push_back({double(i + 1), double(i + 1), {d[i], i < statuses.size() ? statuses[i] : 0.0, 0.25}});
        return points;
    }
    static std::vector<std::vector<double>> walk(NodeIterator& it, unsigned band) {
        std::vector<std::vector<double>> out;
        for (bool more = !it.done(); more; more = it.next()) {
            NORVAPoint2D p;
            EXPECT_EQ(0, it.getPosition(p, 2));
            out.push_back({p.x(), it.getValue(band)->getAsDouble(), double(it.getStates().to_ulong())});
        }
        return out;
    }
    TempFolder dir;
};

TEST_F(StoredCloud, EveryFieldButStatusIsABandFollowedByTheIndex) {
    const NORVAUString path = write(depths({5, 40}));
    struct Case {
        bool statusBand;
        std::vector<NORVAUString> names;
        long statusId;
    };
    for (const Case& c : {Case{false, {"Depth", "Uncertainty", "Index"}, -1},
                          Case{true, {"Depth", "Status", "Uncertainty", "Index"}, 1}}) {
        long status = -1;
        KestrinGeoCloud cloud(path, status, false, c.statusBand);
        ASSERT_EQ(0, status);
        EXPECT_EQ(c.names.size(), cloud.getNumBands());
        EXPECT_EQ(c.names, cloud.getBandNames());
        EXPECT_EQ(c.statusId, cloud.getBandID("Status"));
        EXPECT_EQ(long(c.names.size() - 1), cloud.getBandID("Index"));
        EXPECT_EQ(long(c.names.size() - 2), cloud.getBandID("Uncertainty"));
        EXPECT_EQ(-1, cloud.getBandID("Nothing"));
        EXPECT_EQ(nullptr, cloud.getBand(unsigned(c.names.size())));
        EXPECT_EQ(cloud.getBand(0u), cloud.getBand(0u));  // made once
        EXPECT_EQ(&cloud, cloud.getBand(0u)->getParent());
    }
}

TEST_F(StoredCloud, DepthsAreHeightsInTheRangeTheBandsAndTheCloud) {
    const NORVAUString path = write(depths({5, 12.5, 40}));
    long status = -1;
    KestrinGeoCloud cloud(path, status, false, false);
    ASSERT_EQ(0, status);
    EXPECT_EQ(-41.0, cloud.getInitConfig().minimumZ);
    EXPECT_EQ(-4.0, cloud.getInitConfig().maximumZ);
    EXPECT_EQ(path, cloud.getPath());
    EXPECT_EQ(NORVAUString("Depth"), cloud.getDefaultElevationBand());
    auto depth = cloud.getBand(0u);
    EXPECT_EQ(-40.0, depth->getMinValue());
    EXPECT_EQ(-5.0, depth->getMaxValue());
    EXPECT_EQ(NORVAUString("m"), depth->getType().getUnit());
    EXPECT_EQ(BandType::kDepthDirection, depth->getType().getLengthDirection());
    EXPECT_EQ(FLT_MAX, depth->getDefaultValue().getAsDouble());
    auto index = cloud.getBand(2u);
    EXPECT_EQ(ORBO_3_12_0_::DataSet::Cloud::VT_INT64, index->getType().getValueType());
    EXPECT_EQ(4294967294.0, index->getMaxValue());

    auto it = cloud.query(*cloud.getFullCover(), {0, 2}, false, status, nullptr);
    ASSERT_EQ(0, status);
    std::vector<double> heights, indices;
    for (bool more = !it->done(); more; more = it->next()) {
        NORVAPoint3D p;
        ASSERT_EQ(0, it->getPosition(p, 3));
        EXPECT_EQ(p.z(), it->getValue(0)->getAsDouble());
        heights.push_back(p.z());
        indices.push_back(it->getValue(2)->getAsDouble());
    }
    EXPECT_EQ((std::vector<double>{-5, -12.5, -40}), heights);
    EXPECT_EQ((std::vector<double>{0, 1, 2}), indices);
    NORVAPoint3D p;
    EXPECT_EQ(KestrinCloudStatus::NO_CURRENT_POINT, it->getPosition(p, 3));
}

TEST_F(StoredCloud, ADoubleDepthIsAHeightToo) {
    const NORVAUString path = write(depths({5, 40}), {{"Depth", KestrinStoreType::DOUBLE}, {"Status", LONG}});
    long status = -1;
    KestrinGeoCloud cloud(path, status, true, false);
    ASSERT_EQ(0, status);
    auto it = cloud.query(*cloud.getFullCover(), {0, 1}, false, status, nullptr);
    ASSERT_FALSE(it->done());
    EXPECT_EQ(-5.0, it->getValue(0)->getAsDouble());
    EXPECT_EQ(-40.0, cloud.getBand(0u)->getMinValue());
    // Node identifiers from the Morton key: the point at (1, 1) of a grid from (0, 0).
    EXPECT_NE(0.0, it->getValue(1)->getAsDouble());
}

TEST_F(StoredCloud, StateBitsComeFromTheStatusWord) {
    const NORVAUString path = write(depths({1, 2, 3, 4}, {INT32_MIN, 0x40000000, -1073741824.0, 5}));
    long status = -1;
    KestrinGeoCloud cloud(path, status, false, false);
    auto it = cloud.query(*cloud.getFullCover(), {0}, false, status, nullptr);
    const unsigned long rejected = 1ul << 0, designated = 1ul << 10;
    EXPECT_EQ((std::vector<std::vector<double>>{{1, -1, double(rejected)},
                                                {2, -2, double(designated)},
                                                {3, -3, double(rejected | designated)},
                                                {4, -4, 0}}),
              walk(*it, 0));
    EXPECT_FALSE(it->getState(24));
}

TEST_F(StoredCloud, EachCandidateIsCheckedByItsOwnStateBits) {
    // Only nodes that are not rejected pass.
    KestrinNodeIterator::StateCheck notRejected;
    notRejected.mask.set(KestrinNodeIterator::kRejectedState);
    const NORVAUString path = write(depths({1, 2, 3, 4, 5}, {-1, 0x40000000, -1, -1, 0}));
    long status = -1;
    KestrinGeoCloud cloud(path, status, false, false);
    auto it = std::static_pointer_cast<KestrinNodeIterator>(cloud.query(*cloud.getFullCover(), {0}, false, status, nullptr));
    it->addCheck(notRejected);
    ASSERT_EQ(0, it->init());
    EXPECT_TRUE(it->getState(KestrinNodeIterator::kDesignatedState));
    EXPECT_EQ((std::vector<std::vector<double>>{{2, -2, double(1ul << 10)}, {5, -5, 0}}), walk(*it, 0));
}

TEST_F(StoredCloud, AreaAndCoverQueries) {
    const NORVAUString path = write(depths({1, 2, 3, 4}));
    long status = -1;
    KestrinGeoCloud cloud(path, status, false, false);
    NORVAAreaGeometry triangle(NORVAAreaGeometry::Ring{{0, 0}, {3, 0}, {0, 3}});  // holds (1, 1) only
    auto inArea = cloud.query(triangle, {0}, false, status, nullptr);
    EXPECT_EQ(0, status);
    EXPECT_EQ(1u, walk(*inArea, 0).size());
    struct Case {
        NORVACover cover;
        size_t nodes;
    };
    for (const Case& c : {Case{NORVACover(2, 2, 3, 3), 2}, Case{NORVACover(3, 3, 3, 3), 1},
                          Case{NORVACover(200, 200, 300, 300), 0}, Case{NORVACover(-50, -50, 2.5, 2.5), 2},
                          Case{NORVACover(0, 0, 0.5, 0.5), 0}}) {  // inside the cloud, no node: not a failure
        auto it = cloud.query(c.cover, {0}, false, status, nullptr);
        EXPECT_EQ(0, status);
        EXPECT_EQ(c.nodes, walk(*it, 0).size());
    }
    auto badBand = cloud.query(*cloud.getFullCover(), {0, 7}, false, status, nullptr);
    EXPECT_EQ(KestrinCloudStatus::NO_SUCH_BAND, status);
    EXPECT_TRUE(badBand->getBandType(7).isEmpty());
    EXPECT_EQ(nullptr, cloud.query(NORVAPointGeometry(1, 1), status));
    EXPECT_EQ(0, status);
}

// Three points in one cell of the store's resolution: three identifiers,
// the same ones after the store is written again and reopened.
TEST_F(StoredCloud, EveryPointHasItsOwnIndexAcrossReopening) {
    const NORVAUString path = write({{1.1, 1.1, {1, 0, 0}}, {1.2, 1.3, {2, 0, 0}}, {1.4, 1.2, {3, 0, 0}}});
    auto indices = [&](const NORVAUString& at) {
        long status = -1;
        KestrinGeoCloud cloud(at, status, true, false);
        EXPECT_EQ(0, status);
        const unsigned index = static_cast<unsigned>(cloud.getBandID("Index"));
        auto it = cloud.query(*cloud.getFullCover(), {0, index}, false, status, nullptr);
        std::map<double, double> byDepth;
        for (bool more = !it->done(); more; more = it->next())
            byDepth[it->getValue(0)->getAsDouble()] = it->getValue(index)->getAsDouble();
        return byDepth;
    };
    const std::map<double, double> first = indices(path);
    ASSERT_EQ(3u, first.size());
    std::set<double> distinct;
    for (const auto& kv : first) distinct.insert(kv.second);
    EXPECT_EQ(3u, distinct.size());
    {
        NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(path, NORVAKestrinDataIO::UPDATE));
        NORVAKestrinTileStore again(io);
        ASSERT_EQ(0, again.store(dir.file("again.kps")));
    }
    EXPECT_EQ(first, indices(path));
    EXPECT_EQ(first, indices(dir.file("again.kps")));
}

TEST_F(StoredCloud, OnlyReads) {
    const NORVAUString path = write(depths({1}));
    long status = -1;
    KestrinGeoCloud cloud(path, status, false, false);
    EXPECT_EQ(GeoCloud::kNotOffered, cloud.save(nullptr));
    EXPECT_EQ(GeoCloud::kNotOffered, cloud.removeBand(0));
    EXPECT_EQ(3u, cloud.getNumBands());
    auto it = cloud.query(*cloud.getFullCover(), {0}, false, status, nullptr);
    EXPECT_EQ(KestrinCloudStatus::NOT_OFFERED, it->setPosition(NORVAPoint3D(), 3));
    it->setState(true, 5);
    EXPECT_FALSE(it->getState(5));
}

TEST_F(StoredCloud, OpeningFailuresStopWithTheirStatus) {
    struct Case {
        const char* what;
        NORVAUString path;
        long status;  // 0: any non-zero
    };
    const std::vector<Case> cases{
        {"no file", dir.file("none.kps"), 0},
        {"no Depth field", write(depths({1}), {{"Sounding", FLOAT}, {"Status", LONG}}, true, "nodepth.kps"),
         KestrinCloudStatus::NO_DEPTH_FIELD},
        {"no coordinate system", write(depths({1}), kFields, false, "nocs.kps"), 0},
    };
    for (const Case& c : cases) {
        long status = 0;
        KestrinGeoCloud cloud(c.path, status, true, false);
        if (c.status) EXPECT_EQ(c.status, status) << c.what;
        else EXPECT_NE(0, status) << c.what;
        long s = 0;
        EXPECT_EQ(nullptr, SurfaceFactory::getInstance().getSurface(s, c.path, NORVA::READ_ONLY, nullptr, nullptr))
            << c.what;
        EXPECT_EQ(status, s) << c.what;
    }
    long status = -1;
    KestrinGeoCloud cell(write(depths({1, 2}), kFields, true, "cells.KCS"), status, true, false);
    EXPECT_EQ(0, status);
    EXPECT_EQ(dir.file("cells.kps"), cell.getPath());
}

TEST_F(StoredCloud, ThePlugInIsRegisteredUnderKpsAndOnlyReads) {
    const NORVAUString path = write(depths({1, 2}));
    auto plugin = SurfaceFactory::getInstance().find("kps");
    ASSERT_TRUE(plugin);
    EXPECT_NE(nullptr, dynamic_cast<KestrinFactoryPlugin*>(plugin.get()));
    auto copy = plugin->clone();
    EXPECT_NE(plugin, copy);
    EXPECT_EQ(NORVAUString("kps"), copy->getKey());
    for (NORVA::OPEN_MODE mode : {NORVA::UPDATE, NORVA::CREATE}) {
        long status = 0;
        EXPECT_EQ(nullptr, SurfaceFactory::getInstance().getSurface(status, path, mode, nullptr, nullptr));
        EXPECT_EQ(KestrinCloudStatus::UNSUPPORTED_MODE, status);
    }
    long status = -1;
    auto surface = SurfaceFactory::getInstance().getSurface(status, path, NORVA::READ_ONLY, nullptr, nullptr);
    EXPECT_EQ(0, status);
    auto cloud = std::dynamic_pointer_cast<KestrinGeoCloud>(surface);
    ASSERT_TRUE(cloud);
    EXPECT_EQ(3u, cloud->getNumBands());
    EXPECT_TRUE(cloud->usesNodeIndex());
}

}  // namespace
