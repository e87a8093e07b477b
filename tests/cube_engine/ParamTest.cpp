#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cube_engine/cube.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/errmod.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::CapturedReports;


struct ParamPtr {
    _cube_param *p;
    explicit ParamPtr(_cube_param *q) : p(q) {}
    ~ParamPtr() { free(p); }
    _cube_param *operator->() const { return p; }
};

TEST(EngineConventions, InvalidValuesByTypeAndUnknownTypeLeavesOutput)
{
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    float f = 0;
    double d = 0;
    mapsheet_get_invalid(MAPSHEET_U8, &u8);
    mapsheet_get_invalid(MAPSHEET_U16, &u16);
    mapsheet_get_invalid(MAPSHEET_U32, &u32);
    mapsheet_get_invalid(MAPSHEET_F32, &f);
    mapsheet_get_invalid(MAPSHEET_F64, &d);
    EXPECT_EQ(u8, 255);
    EXPECT_EQ(u16, 65535);
    EXPECT_EQ(u32, 0x7FFFFFFFu);
    uint32_t bits;
    memcpy(&bits, &f, 4);
    EXPECT_EQ(bits, 0x7F7FFFFFu);
    EXPECT_EQ(d, DBL_MAX);

    CapturedReports reports;
    double untouched = 42.0;
    mapsheet_get_invalid(5, &untouched);
    EXPECT_EQ(untouched, 42.0);
    EXPECT_EQ(reports.str(),
              "mapsheet: internal: error: unknown data type (5) in call to mapsheet_get_invalid().\n");
}

TEST(EngineConventions, ReportsWithAndWithoutModuleAndNoDataNan)
{
    CapturedReports reports;
    cube_report(nullptr, "plain\n");
    cube_report("cube", "x\n");
    cube_reportf("cube_grid", "n=%d\n", 3);
    cube_reportf(nullptr, "m=%d\n", 4);
    EXPECT_EQ(reports.str(), "plain\ncube: x\ncube_grid: n=3\nm=4\n");

    float nan = cube_grid_nan();
    uint32_t bits;
    memcpy(&bits, &nan, 4);
    EXPECT_EQ(bits, 0x7FFFFFFFu);
}

TEST(Iho, TableRowsAndUnknownOrder)
{
    double a = -1, b = -1, c = -1, d = -1, e = -1;
    ASSERT_EQ(errmod_iho_limits(0, &a, &b, &c, &d, &e), 1);
    EXPECT_EQ(a, 0.2);
    EXPECT_EQ(b, 0.0075);
    EXPECT_EQ(e, 2.0);
    ASSERT_EQ(errmod_iho_limits(3, &a, &b, &c, &d, &e), 1);
    EXPECT_EQ(c, 5.0);
    EXPECT_EQ(e, 150.0);

    CapturedReports reports;
    a = -7;
    EXPECT_EQ(errmod_iho_limits(4, &a, &b, &c, &d, &e), 0);
    EXPECT_EQ(errmod_iho_limits(-1, &a, &b, &c, &d, &e), 0);
    EXPECT_EQ(a, -7);
    EXPECT_EQ(reports.str(), "errmod: error: IHO survey order (4) not known.\n"
                             "errmod: error: IHO survey order (-1) not known.\n");
}

TEST(Params, CreationScalesContextsBySpacing)
{
    ParamPtr p(cube_init_param(1, 2.0, 1.0));
    ASSERT_NE(p.p, nullptr);
    EXPECT_EQ(p->dist_scale, 1.0);
    EXPECT_EQ(p->min_context, 5.0f);
    EXPECT_EQ(p->max_context, 10.0f);
    EXPECT_EQ(p->no_data_value, FLT_MAX);
    EXPECT_EQ(p->median_length, 11u);
    EXPECT_EQ(p->mthd, 1u);

    ParamPtr half(cube_init_param(3, 0.5, 0.5));
    EXPECT_EQ(half->min_context, 10.0f);
    EXPECT_EQ(half->max_context, 20.0f);
    EXPECT_DOUBLE_EQ(half->var_scale, 4.0);
    EXPECT_DOUBLE_EQ(half->iho_fixed, 1.0);
    EXPECT_DOUBLE_EQ(half->iho_pcent, 0.000529);

    // A NaN spacing falls back to dx.
    ParamPtr nan_dy(cube_init_param(0, 2.0, NAN));
    EXPECT_EQ(nan_dy->dist_scale, 2.0);

    CapturedReports reports;
    ParamPtr bad_order(cube_init_param(9, 1.0, 1.0));
    ASSERT_NE(bad_order.p, nullptr);
    EXPECT_EQ(bad_order->iho_fixed, 0.0);
    EXPECT_EQ(bad_order->iho_pcent, 0.0);
}

TEST(Params, BlockIs168LittleEndianBytesAndRoundTrips)
{
    ParamPtr p(cube_init_param(2, 0.5, 0.5));
    p->reserved3 = 0xA1B2C3D4u;
    cube_stream out;
    ASSERT_TRUE(cube_stream_memory_writer(&out, 0));
    ASSERT_EQ(cube_write_params(p.p, &out), 1);
    ASSERT_EQ(out.size, 168u);
    // Word 20 (queue length) at byte 80, word 3 at byte 12, word 12-13 at 48.
    EXPECT_EQ(cube_get_u32(out.data + 80), 11u);
    EXPECT_EQ(cube_get_u32(out.data + 12), 0xA1B2C3D4u);
    EXPECT_EQ(cube_get_f64(out.data + 48), 0.5);
    EXPECT_EQ(cube_get_f32(out.data + 4 * 24), 0.135f);

    cube_stream in;
    cube_stream_memory_reader(&in, out.data, out.size);
    ParamPtr back(cube_read_params(&in));
    ASSERT_NE(back.p, nullptr);
    EXPECT_EQ(memcmp(back.p, p.p, sizeof(_cube_param)), 0);
    cube_stream_close(&out);
}

TEST(Params, ShortReadKeepsDefaultsBehindTheBytesRead)
{
    uint8_t bytes[168];
    memset(bytes, 0, sizeof bytes);
    cube_put_u32(bytes + 8, 4);         // method
    cube_put_u32(bytes + 80, 7);        // queue length
    cube_put_u32(bytes + 96, 99);       // run length (word 24 is f32; word 25 at 100)
    CapturedReports reports;
    cube_stream in;
    cube_stream_memory_reader(&in, bytes, 100);
    ParamPtr p(cube_read_params(&in));
    ASSERT_NE(p.p, nullptr);
    EXPECT_EQ(reports.str(), "cube: failed to read algorithm parameters.\n");
    EXPECT_EQ(p->mthd, 4u);
    EXPECT_EQ(p->median_length, 7u);
    EXPECT_EQ(p->runlength_t, 5u);             // word 25 begins at byte 100: default
    EXPECT_EQ(p->nh_strength_max, 2.5f);
    EXPECT_EQ(p->null_variance, 0.0);          // read as zero from the stream
}

TEST(Params, SaturatingConversionsOfFileWords)
{
    EXPECT_EQ(cube_float_to_u32(NAN), 0u);
    EXPECT_EQ(cube_float_to_u32(-3.0), 0u);
    EXPECT_EQ(cube_float_to_u32(1e30), UINT32_MAX);
    EXPECT_EQ(cube_float_to_u32(INFINITY), UINT32_MAX);
    EXPECT_EQ(cube_float_to_u32(7.9), 7u);
    _cube_param p = *cube_default_param();
    p.median_length = 100000;
    EXPECT_EQ(cube_param_queue_length(&p), 255u);
}

}  // namespace
