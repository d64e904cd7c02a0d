// The Ne10 stand-in's real-to-complex FFT against a direct double-precision
// DFT, and its NEON variant against the plain one on the same input.
#include "standins/ne10/ne10.h"
#include "support/memory_fixture.h"
#include "support/reference_dft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Transform = void (*)(ne10_fft_cpx_float32_t *, ne10_float32_t *, ne10_fft_r2c_cfg_float32_t);

// Runs one variant on a copy of x; fails the test if the input changes.
std::vector<ne10_fft_cpx_float32_t> run(Transform transform, const std::vector<float> &x)
{
    ne10_fft_r2c_cfg_float32_t cfg = ne10_fft_alloc_r2c_float32(static_cast<ne10_int32_t>(x.size()));
    EXPECT_NE(cfg, nullptr);
    if (cfg == nullptr)
        return {};
    std::vector<float> in = x;
    std::vector<ne10_fft_cpx_float32_t> out(x.size() / 2 + 1, {-9.0f, -9.0f});
    transform(out.data(), in.data(), cfg);
    ne10_fft_destroy_r2c_float32(cfg);
    EXPECT_EQ(in, x) << "the transform wrote to its input";
    return out;
}

double snr_db(const std::vector<std::complex<double>> &want, const std::vector<ne10_fft_cpx_float32_t> &got)
{
    double signal = 0, error = 0;
    for (size_t k = 0; k < want.size(); ++k) {
        signal += std::norm(want[k]);
        error += std::norm(want[k] - std::complex<double>(got[k].r, got[k].i));
    }
    return error == 0 ? 400.0 : 10.0 * std::log10(signal / error);
}

class Ne10R2cTest : public TrackedHeapTest {};

TEST_F(Ne10R2cTest, PlainVariantMatchesDirectDft)
{
    for (uint32_t n : {2u, 4u, 8u, 16u, 32u, 64u, 2048u, 4096u}) {
        SCOPED_TRACE(n);
        const std::vector<float> x = random_samples<float>(n, n + 1);
        const std::vector<ne10_fft_cpx_float32_t> got = run(ne10_fft_r2c_1d_float32_c, x);
        ASSERT_EQ(got.size(), n / 2 + 1);
        EXPECT_GT(snr_db(direct_dft(x), got), 120.0);
        EXPECT_EQ(got[0].i, 0.0f);
        EXPECT_EQ(got[n / 2].i, 0.0f);
    }
    EXPECT_EQ(bytes_in_use_delta(), 0);
}

TEST_F(Ne10R2cTest, SmallTransformsToTheBit)
{
    // {1, 2, 3, 4}: X_0 = 10, X_1 = -2 + 2i, X_2 = -2.
    const std::vector<ne10_fft_cpx_float32_t> four = run(ne10_fft_r2c_1d_float32_c, {1, 2, 3, 4});
    ASSERT_EQ(four.size(), 3u);
    EXPECT_EQ(four[0].r, 10.0f);
    EXPECT_EQ(four[1].r, -2.0f);
    EXPECT_EQ(four[1].i, 2.0f);
    EXPECT_EQ(four[2].r, -2.0f);
    const std::vector<ne10_fft_cpx_float32_t> two = run(ne10_fft_r2c_1d_float32_c, {0.75f, -0.5f});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].r, 0.25f);
    EXPECT_EQ(two[1].r, 1.25f);
}

TEST_F(Ne10R2cTest, NeonVariantAgreesWithPlain)
{
#if defined(__ARM_NEON)
    for (uint32_t n : {2u, 8u, 16u, 64u, 2048u, 32768u}) {
        SCOPED_TRACE(n);
        std::vector<float> x = random_samples<float>(n, n + 3);
        // Subnormal samples: NEON flushes them to zero, the plain code keeps them.
        x[n / 2] = 1e-40f;
        const std::vector<ne10_fft_cpx_float32_t> plain = run(ne10_fft_r2c_1d_float32_c, x);
        const std::vector<ne10_fft_cpx_float32_t> neon = run(ne10_fft_r2c_1d_float32_neon, x);
        ASSERT_EQ(neon.size(), plain.size());
        float worst = 0.0f;
        for (size_t k = 0; k < plain.size(); ++k)
            worst = std::max({worst, std::fabs(neon[k].r - plain[k].r), std::fabs(neon[k].i - plain[k].i)});
        EXPECT_LT(worst, 1e-5f * std::sqrt(static_cast<float>(n)));
    }
#else
    GTEST_SKIP() << "this build does not target NEON";
#endif
}

TEST_F(Ne10R2cTest, AllocRefusesUnsupportedSizes)
{
    for (ne10_int32_t n : {-2, 0, 1, 3, 6, 1000, 32769, 65536}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(ne10_fft_alloc_r2c_float32(n), nullptr);
    }
    for (ne10_int32_t n : {2, 4, 32768}) {
        SCOPED_TRACE(n);
        ne10_fft_r2c_cfg_float32_t cfg = ne10_fft_alloc_r2c_float32(n);
        EXPECT_NE(cfg, nullptr);
        ne10_fft_destroy_r2c_float32(cfg);
    }
    ne10_fft_destroy_r2c_float32(nullptr);
    EXPECT_EQ(bytes_in_use_delta(), 0);
}

TEST_F(Ne10R2cTest, AllocFailsCleanlyWhenMemoryRunsOut)
{
    sweep_allocation_failures([] {
        ne10_fft_r2c_cfg_float32_t cfg = ne10_fft_alloc_r2c_float32(256);
        ne10_fft_destroy_r2c_float32(cfg);
        return cfg != nullptr;
    });
}

} // namespace
