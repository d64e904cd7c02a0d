// The Accelerate stand-in's elementwise functions against plain loops, with
// the operand order of the subtraction, scalars by address, strides and
// aliasing; the minimum search; the square root's count by address.
#include "standins/accelerate/accelerate_standin.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kScalar = -1.5f;

TEST(VdspVectorTest, ElementwiseAgainstPlainLoops)
{
    const float x[8] = {1.0f, -2.0f, 0.5f, 3.0f, 1e-3f, -7.25f, 100.0f, 0.0f};
    const float y[8] = {3.0f, 4.0f, 0.25f, -3.0f, 2.0f, 0.5f, -100.0f, -0.0f};
    struct Case {
        const char *name;
        // Calls the function on (first, second) with the given strides.
        void (*call)(const float *, vDSP_Stride, const float *, vDSP_Stride, float *, vDSP_Stride, vDSP_Length);
        float (*plain)(float first, float second);
    };
    const Case cases[] = {
        {"vadd", vDSP_vadd, [](float p, float q) { return p + q; }},
        // The first array is subtracted from the second.
        {"vsub", vDSP_vsub, [](float p, float q) { return q - p; }},
        {"vmul", vDSP_vmul, [](float p, float q) { return p * q; }},
        {"vsmul", [](const float *p, vDSP_Stride ip, const float *, vDSP_Stride, float *o, vDSP_Stride io,
                     vDSP_Length n) { vDSP_vsmul(p, ip, &kScalar, o, io, n); },
         [](float p, float) { return p * kScalar; }},
    };
    struct Strides {
        vDSP_Stride first, second, out;
        vDSP_Length n;
    };
    const Strides strides[] = {{1, 1, 1, 8}, {2, 1, 1, 4}, {1, 2, 2, 4}, {1, 1, 1, 0}, {-1, 1, 1, 4}};
    for (const Case &c : cases) {
        for (const Strides &s : strides) {
            SCOPED_TRACE(testing::Message() << c.name << " strides " << s.first << "," << s.second << ","
                                            << s.out << " n " << s.n);
            // A negative stride walks backwards from the pointer given.
            const float *first = s.first < 0 ? x + 7 : x;
            float out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
            c.call(first, s.first, y, s.second, out, s.out, s.n);
            float want[8] = {9, 9, 9, 9, 9, 9, 9, 9};
            for (vDSP_Length k = 0; k < s.n; ++k) {
                const vDSP_Stride i = static_cast<vDSP_Stride>(k);
                want[i * s.out] = c.plain(first[i * s.first], y[i * s.second]);
            }
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(out[k], want[k]) << k;
        }
        // In place, the output being either input.
        float a[8], b[8], want[8];
        for (int k = 0; k < 8; ++k) {
            a[k] = x[k];
            b[k] = y[k];
            want[k] = c.plain(x[k], y[k]);
        }
        c.call(x, 1, b, 1, b, 1, 8);
        c.call(a, 1, y, 1, a, 1, 8);
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(a[k], want[k]) << c.name << " in place on the first, " << k;
            EXPECT_EQ(b[k], want[k]) << c.name << " in place on the second, " << k;
        }
    }
}

TEST(VdspVectorTest, MinviFirstMinimumSkippingNaN)
{
    struct Case {
        const char *name;
        float v[4];
        vDSP_Length n;
        vDSP_Stride stride;
        vDSP_Length position;
        float min;
    };
    const Case cases[] = {
        {"first of equal minima", {2, 1, 1, 5}, 4, 1, 1, 1},
        {"NaN never chosen", {kNaN, 5, kNaN, 6}, 4, 1, 1, 5},
        {"negative values", {-1, -3, 0, -3.5f}, 4, 1, 3, -3.5f},
        {"all NaN", {kNaN, kNaN, kNaN, kNaN}, 4, 1, 0, kInf},
        {"all +infinity", {kInf, kInf, kInf, kInf}, 4, 1, 0, kInf},
        {"largest finite", {std::numeric_limits<float>::max(), kInf, 0, 0}, 2, 1, 0,
         std::numeric_limits<float>::max()},
        {"empty", {0, 0, 0, 0}, 0, 1, 0, kInf},
        {"stride 2 reports the offset", {4, -9, 3, -9}, 2, 2, 2, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        float min = -42.0f;
        vDSP_Length position = 99;
        vDSP_minvi(c.v, c.stride, &min, &position, c.n);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(min, c.min);
    }
}

TEST(VforceTest, SqrtTakesItsCountByAddress)
{
    float v[5] = {4.0f, 2.0f, 0.0f, 9.0f, 16.0f};
    const int n = 3;
    vvsqrtf(v, v, &n);
    EXPECT_EQ(v[0], 2.0f);
    EXPECT_EQ(v[1], std::sqrt(2.0f));
    EXPECT_EQ(v[2], 0.0f);
    EXPECT_EQ(v[3], 9.0f);
    EXPECT_EQ(v[4], 16.0f);

    float out[2] = {7.0f, 7.0f};
    const float in[2] = {0.25f, -1.0f};
    const int two = 2;
    vvsqrtf(out, in, &two);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_TRUE(std::isnan(out[1]));
}

} // namespace
