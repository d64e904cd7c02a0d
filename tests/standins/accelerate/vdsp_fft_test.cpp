// The Accelerate stand-in's FFT against a direct double-precision DFT: the
// packed layout (2 X_0 and 2 X_(N/2) sharing element 0), the factor of 2, the
// float stride of the interleaved-to-split copy.
#include "standins/accelerate/accelerate_standin.h"
#include "support/memory_fixture.h"
#include "support/reference_dft.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Runs the packed transform of x with a setup made for 2^setup_log2n points
// and unpacks it, undoing the factor 2, into X_0 .. X_(n/2).
std::vector<std::complex<double>> packed_transform(const std::vector<float> &x, vDSP_Length setup_log2n)
{
    const size_t n = x.size();
    vDSP_Length log2n = 0;
    while ((size_t{1} << log2n) < n)
        ++log2n;
    std::vector<float> re(n / 2), im(n / 2);
    const DSPSplitComplex pair = {re.data(), im.data()};
    FFTSetup setup = vDSP_create_fftsetup(setup_log2n, kFFTRadix2);
    EXPECT_NE(setup, nullptr);
    if (setup == nullptr)
        return {};
    vDSP_ctoz(reinterpret_cast<const DSPComplex *>(x.data()), 2, &pair, 1, n / 2);
    vDSP_fft_zrip(setup, &pair, 1, log2n, kFFTDirection_Forward);
    vDSP_destroy_fftsetup(setup);
    std::vector<std::complex<double>> out(n / 2 + 1);
    out[0] = re[0] / 2.0;
    out[n / 2] = im[0] / 2.0;
    for (size_t k = 1; k < n / 2; ++k)
        out[k] = std::complex<double>(re[k], im[k]) / 2.0;
    return out;
}

// Signal-to-error ratio of got against want, in dB.
double snr_db(const std::vector<std::complex<double>> &want, const std::vector<std::complex<double>> &got)
{
    double signal = 0, error = 0;
    for (size_t k = 0; k < want.size(); ++k) {
        signal += std::norm(want[k]);
        error += std::norm(want[k] - got[k]);
    }
    return error == 0 ? 400.0 : 10.0 * std::log10(signal / error);
}

class VdspFftTest : public TrackedHeapTest {};

TEST_F(VdspFftTest, PackedTransformMatchesDirectDft)
{
    struct Case {
        uint32_t n;
        vDSP_Length setup_log2n; // a setup may be larger than the transform
    };
    const Case cases[] = {{2, 1}, {4, 2}, {8, 3}, {16, 4}, {64, 6}, {1024, 10}, {4096, 12},
                          {2, 15}, {8, 12}, {256, 12}, {2048, 15}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "n " << c.n << " setup 2^" << c.setup_log2n);
        const std::vector<float> x = random_samples<float>(c.n, c.n + 7);
        const std::vector<std::complex<double>> got = packed_transform(x, c.setup_log2n);
        ASSERT_EQ(got.size(), c.n / 2 + 1);
        EXPECT_GT(snr_db(direct_dft(x), got), 120.0);
    }
    EXPECT_EQ(bytes_in_use_delta(), 0);
}

TEST_F(VdspFftTest, SmallTransformsToTheBit)
{
    // x = {1, 2, 3, 4}: X_0 = 10, X_1 = -2 + 2i, X_2 = -2, all doubled.
    float re[2] = {0, 0}, im[2] = {0, 0};
    const float x[4] = {1, 2, 3, 4};
    const DSPSplitComplex pair = {re, im};
    FFTSetup setup = vDSP_create_fftsetup(2, kFFTRadix2);
    ASSERT_NE(setup, nullptr);
    vDSP_ctoz(reinterpret_cast<const DSPComplex *>(x), 2, &pair, 1, 2);
    vDSP_fft_zrip(setup, &pair, 1, 2, kFFTDirection_Forward);
    EXPECT_EQ(re[0], 20.0f);
    EXPECT_EQ(im[0], -4.0f);
    EXPECT_EQ(re[1], -4.0f);
    EXPECT_EQ(im[1], 4.0f);

    // n = 2: element 0 holds 2 (x0 + x1) and 2 (x0 - x1).
    float r2[1] = {0.75f}, i2[1] = {-0.5f};
    const DSPSplitComplex two = {r2, i2};
    vDSP_fft_zrip(setup, &two, 1, 1, kFFTDirection_Forward);
    EXPECT_EQ(r2[0], 0.5f);
    EXPECT_EQ(i2[0], 2.5f);
    vDSP_destroy_fftsetup(setup);
}

TEST_F(VdspFftTest, SetupRefusesWhatItCannotServe)
{
    struct Case {
        vDSP_Length log2n;
        FFTRadix radix;
        bool made;
    };
    const Case cases[] = {{0, kFFTRadix2, false}, {1, kFFTRadix2, true}, {15, kFFTRadix2, true},
                          {16, kFFTRadix2, false}, {10, 1, false}, {10, 2, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "log2n " << c.log2n << " radix " << c.radix);
        FFTSetup setup = vDSP_create_fftsetup(c.log2n, c.radix);
        EXPECT_EQ(setup != nullptr, c.made);
        vDSP_destroy_fftsetup(setup);
    }
    vDSP_destroy_fftsetup(nullptr);
    EXPECT_EQ(bytes_in_use_delta(), 0);
}

TEST_F(VdspFftTest, SetupFailsCleanlyWhenMemoryRunsOut)
{
    sweep_allocation_failures([] {
        FFTSetup setup = vDSP_create_fftsetup(8, kFFTRadix2);
        vDSP_destroy_fftsetup(setup);
        return setup != nullptr;
    });
}

TEST(VdspSplitComplexTest, CtozStrideCountsFloats)
{
    const float in[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    struct Case {
        vDSP_Stride ic;
        vDSP_Stride iz;
        vDSP_Length n;
        float re[4];
        float im[4];
    };
    const Case cases[] = {
        {2, 1, 4, {0, 2, 4, 6}, {1, 3, 5, 7}}, // consecutive complex values
        {4, 1, 2, {0, 4, -1, -1}, {1, 5, -1, -1}}, // every other complex value
        {2, 2, 2, {0, -1, 2, -1}, {1, -1, 3, -1}}, // strided output
        {2, 1, 0, {-1, -1, -1, -1}, {-1, -1, -1, -1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "IC " << c.ic << " IZ " << c.iz << " n " << c.n);
        float re[4] = {-1, -1, -1, -1}, im[4] = {-1, -1, -1, -1};
        const DSPSplitComplex z = {re, im};
        vDSP_ctoz(reinterpret_cast<const DSPComplex *>(in), c.ic, &z, c.iz, c.n);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(re[k], c.re[k]) << k;
            EXPECT_EQ(im[k], c.im[k]) << k;
        }
    }
}

TEST(VdspSplitComplexTest, ZvmagsSumsSquares)
{
    float re[3] = {3, -1, 0.5f}, im[3] = {4, 0, -2};
    const DSPSplitComplex z = {re, im};
    float out[3] = {};
    vDSP_zvmags(&z, 1, out, 1, 3);
    EXPECT_EQ(out[0], 25.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 4.25f);
}

} // namespace
