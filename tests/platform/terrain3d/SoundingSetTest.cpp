#include <gtest/gtest.h>

#include "platform/terrain3d/NORVASoundingSource.h"
#include "platform/terrain3d/NORVASuppressedSoundings.h"

using ORTIN_3_12_0::NORVASuppressedSoundings::SoundingSet;

TEST(TerrainSoundingSet, RecordsGrowZeroedAndRefuseWhatTheScalerCannotHold) {
    SoundingSet set(NORVAScaler(100.0, 200.0, 0.0, 0.01, 0.01, 0.001));
    struct Case {
        size_t k;
        double x, y, z;
        long status;
        size_t size;
    };
    const Case cases[] = {{2, 101.5, 202.25, -12.345, 0, 3},   // beyond the end: grows with zeroed records
                          {0, 100.0, 200.0, 1.0, 0, 3},
                          {5, 1e9, 200.0, 1.0, NORVAScaler::SCALER_OUT_OF_RANGE, 3},
                          {2, 100.0, 200.0, 3e7, NORVAScaler::SCALER_OUT_OF_RANGE, 3}};
    for (const Case& c : cases) {
        EXPECT_EQ(set.setSounding(c.k, c.x, c.y, c.z, 42, 1), c.status);
        EXPECT_EQ(set.size(), c.size);
    }
    EXPECT_EQ(set[1].x, 0);
    EXPECT_EQ(set[1].reference, 0u);
    EXPECT_EQ(set[2].x, 150);
    EXPECT_EQ(set[2].y, 225);
    EXPECT_EQ(set[2].z, -12345);
    EXPECT_EQ(set[2].reference, 42u) << "a refused write left record 2 as it was";
    EXPECT_EQ(set[2].flag, 1);
    double x, y, z;
    set.getPosition(2, x, y, z);
    EXPECT_DOUBLE_EQ(x, 101.5);
    EXPECT_DOUBLE_EQ(z, -12.345);
}

namespace {
class OneGroup : public ORTIN_3_12_0::NORVASoundingSource {
public:
    using NORVASoundingSource::NORVASoundingSource;
    unsigned long getSoundingCount(const Box&, long& status) const override {
        status = 0;
        return 0;
    }
    long getSoundings(const unsigned long&, const Box&, SoundingSet&) override { return 0; }
    Box getCover() const override { return Box(); }
    NORVAType<NORVASoundingSource> newCopy() const override { return NORVAType<NORVASoundingSource>(new OneGroup(*this)); }
};
}  // namespace

TEST(TerrainSoundingSource, KeepsItsOwnCoordinateSystem) {
    OneGroup none(nullptr);
    EXPECT_EQ(none.getCoordSystem(), nullptr);
    EXPECT_EQ(none.getNumSoundingGroups(), 1u);
    NORVAType<NORVACoordSystem> cs = makeNORVAType<NORVACoordSystem>("EPSG:32631", "UTM 31N");
    OneGroup source(cs.get());
    cs.reset();
    ASSERT_NE(source.getCoordSystem(), nullptr);
    EXPECT_EQ(source.getCoordSystem()->getName(), NORVAUString("UTM 31N"));
    NORVAType<ORTIN_3_12_0::NORVASoundingSource> copy = source.newCopy();
    EXPECT_EQ(copy->getCoordSystem()->getName(), NORVAUString("UTM 31N"));
    EXPECT_NE(copy->getCoordSystem(), source.getCoordSystem());
}
