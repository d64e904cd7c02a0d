// The Ne10 backend against a double-precision reference: N/2 + 1 bins, each
// |X_k|^2 of the Hann-windowed frame up to single-precision rounding, bin 0
// the DC power alone and bin N/2 the Nyquist power.
#include "dsp/backend/dsp_backend.h"
#include "standins/ne10/ne10_standin_hooks.h"
#include "support/memory_fixture.h"
#include "support/fft_backend_check.h"
#include "support/reference_dft.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

class Ne10FftBackendTest : public TrackedHeapTest {};

TEST_F(Ne10FftBackendTest, SpectrumMatchesDoubleReference)
{
    expect_spectra_match_reference(nyquist_bin::extra_bin);
}

TEST_F(Ne10FftBackendTest, NyquistPowerLandsInTheExtraBin)
{
    const uint16_t n = 2048;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    const double full = nyquist_frame_power(&fb, n);
    EXPECT_NEAR(fb.power[n / 2], full, 1e-4 * full);
    EXPECT_NEAR(fb.power[n / 2 - 1], full / 4, 1e-3 * full);
    // Bin 0 keeps the DC power alone.
    EXPECT_LT(fb.power[0], 1e-9 * full);
    fft_backend_free(&fb);
}

TEST_F(Ne10FftBackendTest, NormaliseScalesEveryBinIncludingTheExtraOne)
{
    const uint16_t n = 1024;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    std::vector<float> frame = make_test_frame("tone", n); // amplitude 0.5 at bin n/8
    for (uint32_t i = 0; i < n; ++i)
        frame[i] += (i % 2 == 0) ? 0.125f : -0.125f; // and some Nyquist power
    fft_backend_power_spectrum(&fb, n, frame.data());
    const std::vector<float> power(fb.power, fb.power + n / 2 + 1);
    fft_backend_normalise(&fb, n);
    for (uint32_t k = 0; k <= n / 2u; ++k)
        EXPECT_FLOAT_EQ(fb.power[k], std::sqrt(power[k]) * (4.0f / n)) << k;
    EXPECT_NEAR(fb.power[n / 8], 0.5, 2e-3);
    EXPECT_NEAR(fb.power[n / 2], 0.25, 2e-3); // 0.125 read as twice its amplitude at the edge
    fft_backend_free(&fb);
}

TEST_F(Ne10FftBackendTest, FailedLibraryInitLeavesNothing)
{
    fft_backend fb{};
    ne10_standin_fail_next_init();
    EXPECT_FALSE(fft_backend_init(&fb, 512));
    EXPECT_EQ(bytes_in_use_delta(), 0);
    ASSERT_TRUE(fft_backend_init(&fb, 512));
    fft_backend_free(&fb);
}

} // namespace
