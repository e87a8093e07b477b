#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "platform/cloudkit/ORBOCloudValue.h"
#include "platform/cloudkit/ORBONodeIterator.h"

namespace {

using namespace ORBO_3_12_0_::DataSet::Cloud;

TEST(CloudValue, NumbersAreHeldAsTheElementTypeHoldsThem) {
    struct Case {
        int32_t type;
        double in;
        double out;
    };
    const std::vector<Case> cases{
        {VT_FLOAT, 0.1, double(0.1f)},      {VT_FLOAT, DBL_MAX, FLT_MAX},     {VT_FLOAT, -DBL_MAX, -FLT_MAX},
        {VT_DOUBLE, DBL_MAX, DBL_MAX},      {VT_UCHAR, 300, 255},             {VT_UCHAR, -4, 0},
        {VT_SHORT, -12.9, -12},             {VT_SHORT, 1e9, 32767},           {VT_USHORT, 70000, 65535},
        {VT_LONG, DBL_MAX, 2147483647},     {VT_LONG, -3e10, -2147483648.0},  {VT_ULONG, 4294967295.0, 4294967295.0},
        {VT_ULONG, std::nan(""), 0},        {VT_INT64, 42.7, 42},             {VT_INT64, -1, 0},
    };
    for (const Case& c : cases) {
        CloudValue v(c.type);
        v.setNumber(c.in);
        EXPECT_EQ(c.out, v.getAsDouble()) << c.type << " " << c.in;
    }
}

// A node iterator over fixed state words, to drive the state checks.
class Words : public ORBO_3_12_0_::DataSet::StateCheckNodeIterator {
public:
    explicit Words(unsigned long states) : m_states(states) {}
    bool next() override { return false; }
    long init() override { return 0; }
    bool getState(unsigned i) const override { return m_states.test(i); }
    States getStates() const override { return m_states; }
    void setState(bool, unsigned) override {}
    void setState(bool, const States&) override {}
    long getPosition(NORVAPoint3D&, unsigned) const override { return 0; }
    long getPosition(NORVAPoint2D&, unsigned) const override { return 0; }
    long setPosition(const NORVAPoint3D&, unsigned) override { return 0; }
    BandType getBandType(unsigned) const override { return BandType(); }
    const std::vector<unsigned>& getBandIDs() const override { return m_ids; }
    const ORBO_3_12_0_::DataSet::GeoBandSet* getBandSet() const override { return nullptr; }
    bool passes() const { return passesStateCheck(); }

private:
    States m_states;
    std::vector<unsigned> m_ids;
};

TEST(StateCheckNodeIterator, ANodePassesWhenEveryCheckHolds) {
    Words::StateCheck clearBit0, setBit10;
    clearBit0.mask.set(0);
    setBit10.mask.set(10);
    setBit10.required.set(10);
    struct Case {
        unsigned long states;
        bool passes;
    };
    for (const Case& c : {Case{0, false}, Case{1ul << 10, true}, Case{(1ul << 10) | 1, false}, Case{1, false}}) {
        Words words(c.states);
        EXPECT_TRUE(words.passes());  // no check yet
        words.addCheck(clearBit0);
        words.addCheck(setBit10);
        EXPECT_EQ(c.passes, words.passes()) << c.states;
        EXPECT_EQ(nullptr, words.getValue(0));
    }
}

}  // namespace
