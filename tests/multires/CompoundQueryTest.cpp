// Staged progress, the compound query and the joined node and sounding
// iterators.
#include <gtest/gtest.h>

#include "CompoundTestSupport.h"
#include "cube_engine/cube_param.h"
#include "multires/KIVOCompoundIter.h"
#include "multires/KIVOCompoundPointIter.h"
#include "platform/proj/NORVACoordSystem.h"

using namespace multirestest;

namespace {

// Records every percentage it is told.
class RecordingProgress : public NORVAProgress {
public:
    void setPercent(int percent) override {
        NORVAProgress::setPercent(percent);
        percents.push_back(percent);
    }
    std::vector<int> percents;
};

using Staged = MultiStageProgressMonitor<GOProgressWrapper>;

// Nodes at (i, 0) with depth i; steps a monitor on every advance.
class CountingIter : public KIVOSurfaceIter {
public:
    CountingIter(int nodes, const char* attribute, NORVAProgress* monitor = nullptr)
        : m_nodes(nodes), m_descriptor({KIVODescriptor::AttribEntry(attribute, KIVODataType::DOUBLE)}),
          m_set(m_descriptor), m_monitor(monitor) {
        load();
    }
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_nodes;
    }
    bool next(long& status) override {
        status = 0;
        if (m_monitor) m_monitor->step();
        ++m_at;
        load();
        return m_at < m_nodes;
    }
    KIVOAttributeSet* getAttributes() override { return m_at < m_nodes ? &m_set : nullptr; }
    long getPosition(double& x, double& y, const long&) const override {
        x = m_at;
        y = 0;
        return m_at < m_nodes ? 0 : -1;
    }
    long count() const override { return m_nodes; }
    const KIVODescriptor& getAttributeDescriptor() const override { return m_descriptor; }

private:
    void load() {
        if (m_at < m_nodes) m_set.setValue(0, static_cast<double>(m_at));
    }
    int m_nodes;
    int m_at = 0;
    KIVOMemDescriptor m_descriptor;
    KIVOMemAttributeSet m_set;
    NORVAProgress* m_monitor;
};

// Soundings at x = 0..n-1 in an optional coordinate system.
class CountingPointIter : public KIVOPointIter {
public:
    CountingPointIter(int n, const NORVACoordSystem* cs, std::vector<NORVAUString> available = {"Depth"})
        : m_n(n), m_cs(cs), m_available(std::move(available)) {
        markDone(n == 0);
    }
    bool next(long& status) override {
        status = 0;
        ++m_at;
        markDone(m_at >= m_n);
        return m_at < m_n;
    }
    long getPosition(double& x, double& y) const override {
        x = m_at;
        y = m_n;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem() const override { return m_cs; }
    void getAvailable(std::vector<NORVAUString>& names) const override { names = m_available; }
    DATA_TYPE getType(long) const override { return KIVODataType::DOUBLE; }
    long get(long, NORVAUString&) const override { return -1; }
    long get(long, long&) const override { return -1; }
    long get(long, double& v) const override {
        v = m_at;
        return 0;
    }
    long count() const override { return m_n; }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override {
        index = name == NORVAUString("Depth") ? 0 : -1;
        type = KIVODataType::DOUBLE;
        return index == 0;
    }

private:
    int m_n;
    int m_at = 0;
    const NORVACoordSystem* m_cs;
    std::vector<NORVAUString> m_available;
};

std::vector<std::pair<double, double>> positions(KIVOPointIter& iter) {
    std::vector<std::pair<double, double>> out;
    long status = 0;
    for (; !iter.done(status); iter.next(status)) {
        double x = 0, y = 0;
        iter.getPosition(x, y);
        out.emplace_back(x, y);
    }
    return out;
}

}  // namespace

TEST(CompoundQueryTest, StagesSplitTheOuterRun) {
    RecordingProgress outer;
    Staged staged(&outer);
    staged.addStage(3);
    staged.addStage(3);
    staged.setSteps(4);
    for (int i = 0; i < 4; ++i) staged.step();
    staged.setSteps(4);
    for (int i = 0; i < 4; ++i) staged.step();
    EXPECT_EQ((std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}), outer.percents);
    EXPECT_EQ(0u, outer.getSteps());  // announcing stays local

    // Announcing past the last stage stays there; steps past the end stop at 100.
    staged.setSteps(2);
    for (int i = 0; i < 5; ++i) staged.step();
    EXPECT_EQ(2u, staged.getCurrentStage());
    EXPECT_EQ(100, outer.percents.back());
}

TEST(CompoundQueryTest, ClosedStagesAndMonitorsWithoutOuter) {
    RecordingProgress outer;
    Staged staged(&outer);
    for (int i = 0; i < 3; ++i) staged.addStage(3);
    staged.setSteps(4);  // the first member announces, then is dropped
    staged.advanceTo(1);
    staged.advanceTo(2);  // the second is not queried
    staged.setSteps(2);
    staged.step();
    EXPECT_EQ(83, outer.percents.back());  // half of the last stage after two closed ones
    staged.advanceTo(1);                   // never backwards
    EXPECT_EQ(3u, staged.getCurrentStage());

    Staged alone(nullptr);
    alone.addStage(1);
    alone.setSteps(1);
    EXPECT_TRUE(alone.step());
    GOProgressWrapper bare(nullptr);
    EXPECT_TRUE(bare.step());
    EXPECT_TRUE(bare.setPosition(50));

    outer.cancel();
    EXPECT_FALSE(staged.step());
}

TEST(CompoundQueryTest, CompoundQueryTellsTheCallerOneRun) {
    struct Case {
        double selector;
        size_t nodes;
    } cases[] = {{DBL_MAX, 3}, {15.0, 1}, {30.0, 2}, {100.0, 0}};
    for (const Case& c : cases) {
        TempFolder dir;
        auto meta = compoundMetaData(dir.file("s.xml"), twoRanges());
        KIVOCompoundIO io(dir.file("s.kms"), meta);
        setDepth(io, 1.0, 1.0, 12.0, 12.0);
        setDepth(io, 2.0, 2.0, 25.0, 25.0);
        setDepth(io, 5.0, 5.0, 35.0, 35.0);
        RecordingProgress outer;
        long status = -5;
        NORVAType<KIVOSurfaceIter> iter = io.query(0.0, 0.0, 8.0, 8.0, false, status, &outer, c.selector);
        ASSERT_EQ(0, status);
        ASSERT_TRUE(iter);
        EXPECT_EQ(100u, outer.getSteps());
        EXPECT_TRUE(outer.percents.empty());
        size_t n = 0;
        for (; !iter->done(status); iter->next(status)) {
            ++n;
            EXPECT_NE(nullptr, iter->getAttributes());
        }
        EXPECT_EQ(c.nodes, n) << c.selector;
        double x = 0, y = 0;
        EXPECT_EQ(-1, iter->getPosition(x, y, -1));
        EXPECT_EQ(nullptr, iter->getAttributes());
    }
}

TEST(CompoundQueryTest, JoinedIteratorSkipsEmptyMembersAndMergesDescriptors) {
    KIVOCompoundIter::MemberList members;
    members.emplace_back(new CountingIter(0, "Depth"));
    members.emplace_back(new CountingIter(2, "Depth"));
    members.emplace_back(new CountingIter(0, "Mean"));
    members.emplace_back(new CountingIter(3, "Shoal"));
    KIVOCompoundIter iter(std::move(members));
    EXPECT_EQ(5, iter.count());
    const KIVODescriptor& merged = iter.getMergedDescriptor();
    EXPECT_EQ(3, merged.getNumberOfAttributes());
    long status = 0;
    std::vector<double> xs;
    for (; !iter.done(status); iter.next(status)) {
        double x = 0, y = 0;
        iter.getPosition(x, y, -1);
        xs.push_back(x);
    }
    EXPECT_EQ((std::vector<double>{0, 1, 0, 1, 2}), xs);
    EXPECT_FALSE(iter.next(status));
    EXPECT_EQ(&merged, &iter.getAttributeDescriptor());
    EXPECT_EQ(-1, iter.setAttributes(KIVOMemAttributeSet(merged)));

    KIVOCompoundIter none{KIVOCompoundIter::MemberList()};
    EXPECT_TRUE(none.done(status));
    EXPECT_EQ(0, none.count());
}

// The iterators of a query keep its monitor alive after the surface has
// moved on to another query's monitor.
TEST(CompoundQueryTest, IteratorsShareTheirQuerysMonitor) {
    RecordingProgress outer;
    auto staged = std::make_shared<Staged>(&outer);
    staged->addStage(1);
    staged->setSteps(3);
    KIVOCompoundIter::MemberList members;
    members.emplace_back(new CountingIter(3, "Depth", staged.get()));
    KIVOCompoundIter iter(std::move(members), staged);
    staged.reset();
    long status = 0;
    while (iter.next(status)) {
    }
    EXPECT_EQ((std::vector<int>{33, 66, 100}), outer.percents);
}

TEST(CompoundQueryTest, JoinedSoundingsNeedOneCoordinateSystemAndFieldList) {
    NORVACoordSystem wgs84("EPSG:4326"), utm("EPSG:32633");
    struct Case {
        const char* what;
        const NORVACoordSystem* second;
        std::vector<NORVAUString> secondFields;
        size_t soundings;
    } cases[] = {
        {"same", &wgs84, {"Depth"}, 5},
        {"other system", &utm, {"Depth"}, 0},
        {"other fields", &wgs84, {"Depth", "Time"}, 0},
    };
    for (const Case& c : cases) {
        KIVOCompoundPointIter::MemberList members;
        members.push_back(std::make_shared<CountingPointIter>(2, &wgs84));
        members.push_back(std::make_shared<CountingPointIter>(0, &wgs84));
        members.push_back(std::make_shared<CountingPointIter>(3, c.second, c.secondFields));
        KIVOCompoundPointIter iter(members);
        EXPECT_EQ(c.soundings, positions(iter).size()) << c.what;
        EXPECT_EQ(static_cast<long>(c.soundings), iter.count()) << c.what;
    }
    KIVOCompoundPointIter joined({std::make_shared<CountingPointIter>(1, &wgs84),
                                  std::make_shared<CountingPointIter>(2, &wgs84)});
    EXPECT_EQ((std::vector<std::pair<double, double>>{{0, 1}, {0, 2}, {1, 2}}), positions(joined));

    KIVOCompoundPointIter empty{KIVOCompoundPointIter::MemberList()};
    long status = 0;
    double x = 0, y = 0, v = 0;
    long index = 0;
    KIVOPointIter::DATA_TYPE type;
    EXPECT_TRUE(empty.done(status));
    EXPECT_EQ(-1, empty.getPosition(x, y));
    EXPECT_EQ(-1, empty.get(0, v));
    EXPECT_FALSE(empty.indexOf("Depth", index, type));
    EXPECT_EQ(nullptr, empty.getCoordSystem());
    EXPECT_EQ(0, empty.count());
}

// CUBE members announce their grids when queried and, without layer files
// to read, come back empty: each is dropped after announcing. The staged
// monitor must stay within its stages.
TEST(CompoundQueryTest, MembersDroppedAfterAnnouncing) {
    TempFolder dir;
    _cube_param* params = cube_init_param(0, 1.0, 1.0);
    ASSERT_NE(nullptr, params);
    testing::internal::CaptureStdout();
    auto meta = compoundMetaData(dir.file("c.xml"), twoRanges());
    KIVOCompoundIO io(dir.file("c.kms"), meta, params);
    std::free(params);
    ASSERT_EQ(0, io.getStatus());
    RecordingProgress outer;
    long status = 0;
    for (int query = 0; query < 2; ++query) {
        NORVAType<KIVOSurfaceIter> iter = io.query(0.0, 0.0, 8.0, 8.0, false, status, &outer, DBL_MAX);
        ASSERT_TRUE(iter);
        EXPECT_TRUE(iter->done(status));
        ASSERT_NE(nullptr, io.getLastMonitor());
        EXPECT_EQ(2u, io.getLastMonitor()->getStageCount());
        EXPECT_LE(io.getLastMonitor()->getCurrentStage(), 2u);
    }
    testing::internal::GetCapturedStdout();
    // Each member announces one grid and steps through it while queried.
    EXPECT_EQ((std::vector<int>{50, 100, 50, 100}), outer.percents);
    EXPECT_EQ(100u, outer.getSteps());
}
