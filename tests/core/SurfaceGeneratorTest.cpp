#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/KIVOFieldGenerator.h"
#include "core/KIVOSurfaceGenerator.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Soundings with a "Time" field (index 0) when times are given.
class TimedSoundings : public KIVOPointIter {
public:
    TimedSoundings(std::vector<double> times, bool hasTime) : m_times(std::move(times)), m_hasTime(hasTime) {}
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_times.size();
    }
    bool next(long& status) override {
        status = 0;
        return ++m_at < m_times.size();
    }
    long getPosition(double& x, double& y) const override {
        x = y = 0.0;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem() const override { return nullptr; }
    void getAvailable(std::vector<NORVAUString>& names) const override { names = {"Time"}; }
    DATA_TYPE getType(long) const override { return KIVODataType::DOUBLE; }
    long get(long, NORVAUString&) const override { return -1; }
    long get(long, long&) const override { return -1; }
    long get(long index, double& value) const override {
        if (index != 0 || !m_hasTime) return -1;
        value = m_times[m_at];
        return 0;
    }
    long count() const override { return static_cast<long>(m_times.size()); }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override {
        index = m_hasTime && name == NORVAUString("Time") ? 0 : -1;
        type = KIVODataType::DOUBLE;
        return index == 0;
    }

private:
    std::vector<double> m_times;
    bool m_hasTime;
    size_t m_at = 0;
};

class CountingGenerator : public KIVOFieldGenerator {
public:
    long init() override { return ++inits, 0; }
    long generate(const KIVOPointIter&) override { return ++calls == failAt ? 4711 : 0; }
    long finish() override { return ++finishes, 0; }
    int inits = 0, calls = 0, finishes = 0, failAt = -1;
};

struct GeneratorRun {
    coretest::StubCounters counters;
    KIVOSurface surface = coretest::makeStub({}, &counters);
    CountingGenerator field;

    long generate(TimedSoundings& soundings) {
        KIVOSurfaceGenerator generator(soundings, surface, field);
        return generator.generate(nullptr);
    }
    const KIVOSourceRecord& record() { return surface.getMetaData()->getSourceRecord(); }
};
}  // namespace

TEST(SurfaceGenerator, FailureAtTheThirdSoundingStopsBeforeFinishAndStore) {
    GeneratorRun run;
    run.field.failAt = 3;
    TimedSoundings soundings({1, 2, 3, 4, 5}, true);
    EXPECT_EQ(run.generate(soundings), 4711);
    EXPECT_EQ(run.field.calls, 3);
    EXPECT_EQ(run.field.finishes, 0);
    EXPECT_EQ(run.counters.stores, 0);
    EXPECT_EQ(run.record().firstTime, DBL_MAX) << "metadata untouched";
}

TEST(SurfaceGenerator, EmptyIteratorStillInitialisesFinishesAndStores) {
    GeneratorRun run;
    TimedSoundings soundings({}, true);
    EXPECT_EQ(run.generate(soundings), 0);
    EXPECT_EQ(run.field.inits, 1);
    EXPECT_EQ(run.field.finishes, 1);
    EXPECT_EQ(run.counters.stores, 1);
    EXPECT_EQ(run.record().firstTime, DBL_MAX);
    EXPECT_EQ(run.record().lastTime, -DBL_MAX);
}

TEST(SurfaceGenerator, TimeRangeWidensButNeverNarrows) {
    GeneratorRun run;
    KIVOSourceRecord record;
    record.items.push_back({"SurveyLine", "line1", 0.0});
    record.firstTime = 50.0;
    record.lastTime = 60.0;
    run.surface.getMetaData()->setSourceRecord(record);

    TimedSoundings inside({55, kNaN, 58}, true);
    EXPECT_EQ(run.generate(inside), 0);
    EXPECT_EQ(run.record().firstTime, 50.0);
    EXPECT_EQ(run.record().lastTime, 60.0);

    TimedSoundings wider({40, kNaN, 70}, true);
    EXPECT_EQ(run.generate(wider), 0);
    EXPECT_EQ(run.record().firstTime, 40.0);
    EXPECT_EQ(run.record().lastTime, 70.0);
    EXPECT_EQ(run.record().items, record.items);

    TimedSoundings untimed({1, 100}, false);
    EXPECT_EQ(run.generate(untimed), 0);
    EXPECT_EQ(run.record().firstTime, 40.0);
    EXPECT_EQ(run.record().lastTime, 70.0);
    EXPECT_EQ(run.field.calls, 8);
    EXPECT_EQ(run.counters.stores, 3);
}
