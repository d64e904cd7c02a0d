// The Ne10 stand-in's dispatch table and vector functions: what ne10_init
// fills, the trap before it, the plain variants against plain loops and the
// NEON variants against the plain ones.
#include "standins/ne10/ne10.h"
#include "standins/ne10/ne10_standin_hooks.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Binary = ne10_result_t (*)(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t);
using ByConstant = ne10_result_t (*)(ne10_float32_t *, ne10_float32_t *, const ne10_float32_t, ne10_uint32_t);

constexpr float kConstant = -0.375f;

struct Variant {
    const char *name;
    Binary add, sub, mul;
    ByConstant mulc;
};

const Variant kPlain = {"plain", ne10_add_float_c, ne10_sub_float_c, ne10_mul_float_c, ne10_mulc_float_c};
#if defined(__ARM_NEON)
const Variant kNeon = {"NEON", ne10_add_float_neon, ne10_sub_float_neon, ne10_mul_float_neon,
                       ne10_mulc_float_neon};
#endif

std::vector<float> ramp(uint32_t n, float start, float step)
{
    std::vector<float> v(n);
    for (uint32_t i = 0; i < n; ++i)
        v[i] = start + step * static_cast<float>(i) * (i % 3 == 0 ? -1.0f : 1.0f);
    return v;
}

struct Results {
    std::vector<float> add, sub, mul, mulc, in_place;
};

// Each function on (a, b) with count n, into arrays one element longer than n
// so a write past the count shows; in_place is mul with dst = src2.
Results run(const Variant &v, const std::vector<float> &a, const std::vector<float> &b, uint32_t n)
{
    std::vector<float> x = a, y = b;
    Results r{std::vector<float>(n + 1, 9.0f), std::vector<float>(n + 1, 9.0f), std::vector<float>(n + 1, 9.0f),
              std::vector<float>(n + 1, 9.0f), y};
    EXPECT_EQ(v.add(r.add.data(), x.data(), y.data(), n), NE10_OK);
    EXPECT_EQ(v.sub(r.sub.data(), x.data(), y.data(), n), NE10_OK);
    EXPECT_EQ(v.mul(r.mul.data(), x.data(), y.data(), n), NE10_OK);
    EXPECT_EQ(v.mulc(r.mulc.data(), x.data(), kConstant, n), NE10_OK);
    EXPECT_EQ(v.mul(r.in_place.data(), x.data(), r.in_place.data(), n), NE10_OK);
    EXPECT_EQ(x, a);
    EXPECT_EQ(y, b);
    return r;
}

TEST(Ne10VectorTest, PlainVariantsAgainstPlainLoops)
{
    for (uint32_t n : {0u, 1u, 3u, 4u, 7u, 17u}) {
        SCOPED_TRACE(n);
        const std::vector<float> a = ramp(n + 1, 1.5f, 0.25f), b = ramp(n + 1, -2.0f, 0.75f);
        const Results r = run(kPlain, a, b, n);
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(r.add[i], a[i] + b[i]) << i;
            EXPECT_EQ(r.sub[i], a[i] - b[i]) << i; // the first source minus the second
            EXPECT_EQ(r.mul[i], a[i] * b[i]) << i;
            EXPECT_EQ(r.mulc[i], a[i] * kConstant) << i;
            EXPECT_EQ(r.in_place[i], a[i] * b[i]) << i;
        }
        EXPECT_EQ(r.add[n], 9.0f);
        EXPECT_EQ(r.sub[n], 9.0f);
        EXPECT_EQ(r.mul[n], 9.0f);
        EXPECT_EQ(r.mulc[n], 9.0f);
        EXPECT_EQ(r.in_place[n], b[n]);
    }
}

TEST(Ne10VectorTest, NeonVariantsAgreeWithPlain)
{
#if defined(__ARM_NEON)
    for (uint32_t n : {0u, 1u, 3u, 4u, 7u, 17u, 1025u}) {
        SCOPED_TRACE(n);
        std::vector<float> a = ramp(n + 1, 1.5f, 0.25f), b = ramp(n + 1, -2.0f, 0.75f);
        if (n > 4)
            a[2] = 1e-39f; // subnormal: NEON flushes it, the plain code keeps it
        const Results plain = run(kPlain, a, b, n);
        const Results neon = run(kNeon, a, b, n);
        const std::vector<float> Results::*fields[] = {&Results::add, &Results::sub, &Results::mul,
                                                       &Results::mulc, &Results::in_place};
        for (auto field : fields) {
            ASSERT_EQ((neon.*field).size(), (plain.*field).size());
            for (size_t i = 0; i < (plain.*field).size(); ++i)
                EXPECT_NEAR((neon.*field)[i], (plain.*field)[i], 1e-37f) << i;
        }
    }
#else
    GTEST_SKIP() << "this build does not target NEON";
#endif
}

TEST(Ne10DispatchTest, InitFillsTheTargetsVariants)
{
    ASSERT_EQ(ne10_init(), NE10_OK);
#if defined(__ARM_NEON)
    const Variant &want = kNeon;
    EXPECT_EQ(ne10_fft_r2c_1d_float32, ne10_fft_r2c_1d_float32_neon);
#else
    const Variant &want = kPlain;
    EXPECT_EQ(ne10_fft_r2c_1d_float32, ne10_fft_r2c_1d_float32_c);
#endif
    EXPECT_EQ(ne10_add_float, want.add);
    EXPECT_EQ(ne10_sub_float, want.sub);
    EXPECT_EQ(ne10_mul_float, want.mul);
    EXPECT_EQ(ne10_mulc_float, want.mulc);
    // Again: the same entries.
    ASSERT_EQ(ne10_init(), NE10_OK);
    EXPECT_EQ(ne10_add_float, want.add);
}

TEST(Ne10DispatchTest, FailedInitLeavesTheTraps)
{
    ne10_standin_reset_dispatch();
    ne10_standin_fail_next_init();
    EXPECT_EQ(ne10_init(), NE10_ERR);
    EXPECT_NE(ne10_add_float, kPlain.add);
    EXPECT_NE(ne10_mulc_float, kPlain.mulc);
#if defined(__ARM_NEON)
    EXPECT_NE(ne10_add_float, kNeon.add);
#endif
    EXPECT_EQ(ne10_init(), NE10_OK);
}

TEST(Ne10DispatchDeathTest, EntriesUsedBeforeInitAbort)
{
    float x[4] = {1, 2, 3, 4};
    ne10_fft_cpx_float32_t out[3];
    EXPECT_DEATH((ne10_standin_reset_dispatch(), ne10_add_float(x, x, x, 4)), "ne10_add_float called before ne10_init");
    EXPECT_DEATH((ne10_standin_reset_dispatch(), ne10_sub_float(x, x, x, 4)), "ne10_sub_float called before");
    EXPECT_DEATH((ne10_standin_reset_dispatch(), ne10_mul_float(x, x, x, 4)), "ne10_mul_float called before");
    EXPECT_DEATH((ne10_standin_reset_dispatch(), ne10_mulc_float(x, x, 2.0f, 4)), "ne10_mulc_float called before");
    EXPECT_DEATH((ne10_standin_reset_dispatch(), ne10_fft_r2c_1d_float32(out, x, nullptr)),
                 "ne10_fft_r2c_1d_float32 called before");
    // The death happened in child processes: this one is still initialised.
    EXPECT_EQ(ne10_init(), NE10_OK);
}

} // namespace
