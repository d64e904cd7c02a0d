#include "dsp/backend/dsp_backend.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(SampleConversionTest, FloatToInt16TruncatesAndClamps)
{
    struct Case {
        float in;
        int16_t out;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {-1.0f, -32768},      {-0.00001f, 0},    {0.5f, 16384},        {0.99999994f, 32767},
        {-0.5f, -16384},      {0x1p-15f, 1},     {-0x1p-15f, -1},      {0.99f * 0x1p-15f, 0},
        {-0.99f * 0x1p-15f, 0}, {0.0f, 0},       {-0.0f, 0},
        // Outside [-1, 1): clamped rather than wrapped.
        {1.0f, 32767},        {1.5f, 32767},     {-1.0000001f, -32768}, {-3.0f, -32768},
        {inf, 32767},         {-inf, -32768},    {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        int16_t out = 123;
        float_to_int16(&c.in, &out, 1);
        EXPECT_EQ(out, c.out);
    }
}

TEST(SampleConversionTest, Int16ToFloatIsExactAndRoundTrips)
{
    std::vector<int16_t> all(65536);
    for (int i = 0; i < 65536; ++i)
        all[i] = static_cast<int16_t>(i - 32768);
    std::vector<float> f(all.size());
    int16_to_float(all.data(), f.data(), static_cast<uint32_t>(all.size()));
    EXPECT_EQ(f[0], -1.0f);
    EXPECT_EQ(f[65535], 0.999969482421875f);
    EXPECT_EQ(f[32769], 0x1p-15f);
    std::vector<int16_t> back(all.size(), 7);
    float_to_int16(f.data(), back.data(), static_cast<uint32_t>(f.size()));
    EXPECT_EQ(back, all);
}

} // namespace
