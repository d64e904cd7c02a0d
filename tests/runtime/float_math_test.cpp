#include "runtime/float_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

namespace {

uint32_t bits_of(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

float from_bits(uint32_t b)
{
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Each function gives bit for bit what the platform's float function gives:
// no detour through double precision.
TEST(FloatMathTest, MatchesThePlatformFloatFunctions)
{
    struct {
        const char *name;
        float (*ours)(float);
        float (*platform)(float);
    } const unary[] = {
        {"ceil", math_ceil, ::ceilf},   {"cos", math_cos, ::cosf},       {"floor", math_floor, ::floorf},
        {"log10", math_log10, ::log10f}, {"log2", math_log2, ::log2f},   {"log", math_log, ::logf},
        {"round", math_round, ::roundf}, {"sin", math_sin, ::sinf},       {"sqrt", math_sqrt, ::sqrtf},
    };
    const float inputs[] = {0.0f, 0.1f, 0.5f, 1.0f, 2.5f, 3.14159265f, 7.7f, 1000.0f, 44100.0f, 1e-20f};
    for (const auto &f : unary) {
        SCOPED_TRACE(f.name);
        for (const float x : inputs) {
            EXPECT_EQ(bits_of(f.ours(x)), bits_of(f.platform(x))) << x;
            EXPECT_EQ(bits_of(f.ours(-x)), bits_of(f.platform(-x))) << -x;
        }
    }
    for (const float x : inputs)
        for (const float y : {-2.0f, -0.5f, 0.0f, 0.5f, 1.0f, 3.0f, 10.0f})
            EXPECT_EQ(bits_of(math_pow(x, y)), bits_of(::powf(x, y))) << x << "^" << y;
}

TEST(FloatMathTest, AbsClearsOnlyTheSignBit)
{
    const uint32_t inputs[] = {
        0x80000000u,             // -0
        0xbf800000u,             // -1
        0x3f800000u,             // 1
        0xff800000u,             // -inf
        0xffc12345u,             // negative NaN with a payload
        0x7fa00001u,             // signalling NaN
        0x80000001u,             // smallest negative subnormal
    };
    for (const uint32_t b : inputs)
        EXPECT_EQ(bits_of(math_abs(from_bits(b))), b & 0x7fffffffu) << std::hex << b;
}

} // namespace
