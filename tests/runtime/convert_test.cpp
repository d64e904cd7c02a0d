#include "runtime/convert.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SaturateCastTest, TruncatesTowardZeroAndSaturates)
{
    struct {
        float x;
        int32_t want;
    } const to_i32[] = {
        {2.9f, 2}, {-2.9f, -2}, {0.0f, 0}, {-0.0f, 0}, {kNaN, 0}, {1e30f, INT32_MAX}, {-1e30f, INT32_MIN},
        {kInf, INT32_MAX}, {-kInf, INT32_MIN}, {2147483520.0f, 2147483520}, {2147483648.0f, INT32_MAX},
    };
    for (const auto &c : to_i32)
        EXPECT_EQ(saturate_cast<int32_t>(c.x), c.want) << c.x;

    struct {
        float x;
        uint8_t want;
    } const to_u8[] = {{255.9f, 255}, {256.0f, 255}, {300.0f, 255}, {-5.0f, 0}, {-0.9f, 0}, {kNaN, 0}, {7.5f, 7}};
    for (const auto &c : to_u8)
        EXPECT_EQ(saturate_cast<uint8_t>(c.x), c.want) << c.x;

    struct {
        double x;
        int64_t want;
    } const to_i64[] = {
        {9.2e18, 9200000000000000000}, {9.3e18, INT64_MAX}, {9223372036854775807.0, INT64_MAX},
        {-9223372036854775808.0, INT64_MIN}, {-1e300, INT64_MIN}, {-1.5, -1},
    };
    for (const auto &c : to_i64)
        EXPECT_EQ(saturate_cast<int64_t>(c.x), c.want) << c.x;

    EXPECT_EQ(saturate_cast<uint64_t>(1.8e19), 18000000000000000000u);
    EXPECT_EQ(saturate_cast<uint64_t>(1.9e19), UINT64_MAX);
    EXPECT_EQ(saturate_cast<uint16_t>(-1.0), 0);
}

} // namespace
