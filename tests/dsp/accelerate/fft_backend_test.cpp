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
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char *name;
        float v[3];
        uint64_t count;
        uint32_t index;
        float min;
    };
    const Case cases[] = {
        {"first of equal minima", {2, 1, 1}, 3, 1, 1},
        {"NaN skipped", {nan, 5, 7}, 3, 1, 5},
        // Nothing below +infinity: the position stays at its start, so the
        // value read back is the first element, never one outside the vector.
        {"all NaN", {nan, nan, nan}, 3, 0, nan},
        {"all +infinity", {inf, inf, inf}, 3, 0, inf},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t index = 0xFFFFFFFFu;
        float min = -1.0f;
        vector_min_index(c.v, c.count, &index, &min);
        EXPECT_EQ(index, c.index);
        if (std::isnan(c.min)) {
            EXPECT_TRUE(std::isnan(min));
        } else {
            EXPECT_EQ(min, c.min);
        }
    }
    uint32_t index = 7;
    float min = 3.0f;
    vector_min_index(nullptr, 0, &index, &min);
    EXPECT_EQ(index, 7u);
    EXPECT_EQ(min, 3.0f);
}

} // namespace
