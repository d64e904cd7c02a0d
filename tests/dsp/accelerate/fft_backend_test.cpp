// The Accelerate backend against a double-precision reference: bins 1 ..
// N/2-1 are |X_k|^2 of the Hann-windowed frame up to single-precision
// rounding, and bin 0 holds the DC plus the Nyquist power.
#include "dsp/backend/dsp_backend.h"
#include "support/memory_fixture.h"
#include "support/fft_backend_check.h"
#include "support/reference_dft.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

class AccelerateFftBackendTest : public TrackedHeapTest {};

TEST_F(AccelerateFftBackendTest, SpectrumMatchesDoubleReference)
{
    expect_spectra_match_reference(nyquist_bin::in_bin_zero);
}

TEST_F(AccelerateFftBackendTest, NyquistPowerLandsInBinZero)
{
    const uint16_t n = 2048;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    const double full = nyquist_frame_power(&fb, n);
    EXPECT_NEAR(fb.power[0], full, 1e-4 * full);
    EXPECT_NEAR(fb.power[n / 2 - 1], full / 4, 1e-3 * full);
    fft_backend_free(&fb);
}

TEST_F(AccelerateFftBackendTest, MinIndexReadsTheValueAtItsPosition)
{
    // Nothing below +infinity: the position stays at its start, so the value
    // read back is the first element, never one outside the vector.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float x : {nan, inf}) {
        SCOPED_TRACE(x);
        const float v[3] = {x, x, x};
        uint32_t index = 0xFFFFFFFFu;
        float min = -1.0f;
        vector_min_index(v, 3, &index, &min);
        EXPECT_EQ(index, 0u);
        EXPECT_TRUE(min == x || (std::isnan(min) && std::isnan(x)));
    }
}

} // namespace
