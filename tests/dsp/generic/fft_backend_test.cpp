// The portable backend's own promises: FFT tables built once per record, and
// bins against a direct DFT of the windowed frame, bin 0 without the Nyquist
// term.
#include "dsp/backend/dsp_backend.h"
#include "support/memory_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

class PortableFftBackendTest : public TrackedHeapTest {};

TEST_F(PortableFftBackendTest, TablesAreBuiltOnceByTheFirstSpectrum)
{
    // A build of the FFT tables writes the whole twiddle array: poisoning it
    // before each spectrum and finding the poison gone afterwards counts the
    // builds. Only the first spectrum of a record may build them.
    for (uint16_t n : {16, 256, 2048}) {
        SCOPED_TRACE(n);
        fft_backend fb{};
        ASSERT_TRUE(fft_backend_init(&fb, n));
        const std::vector<float> frame(n, 0.5f);
        int builds = 0;
        for (int call = 0; call < 4; ++call) {
            std::fill(fb.twiddles, fb.twiddles + n, std::numeric_limits<double>::quiet_NaN());
            fft_backend_power_spectrum(&fb, n, frame.data());
            builds += std::none_of(fb.twiddles, fb.twiddles + n, [](double v) { return std::isnan(v); });
        }
        EXPECT_EQ(builds, 1);
        fft_backend_free(&fb);
    }
}

TEST_F(PortableFftBackendTest, BinsMatchDirectDftOfWindowedFrame)
{
    const uint16_t n = 512;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> frame(n);
    for (float &v : frame)
        v = d(gen);
    fft_backend_power_spectrum(&fb, n, frame.data());
    // Bin 0 of the oracle is DC alone: the random frame's Nyquist term must
    // not show there.
    for (int k = 0; k < n / 2; ++k) {
        long double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const long double x = static_cast<double>(frame[j]) * fb.window[j];
            const long double phase = 2.0L * std::numbers::pi_v<long double> * ((j * k) % n) / n;
            re += x * cosl(phase);
            im -= x * sinl(phase);
        }
        const float want = static_cast<float>(re * re + im * im);
        // One float rounding of a double result: within an ulp or two.
        EXPECT_NEAR(fb.power[k], want, 2.5e-7f * want + 1e-12f) << k;
    }
    fft_backend_free(&fb);
}

TEST_F(PortableFftBackendTest, InitFailureAtEachArrayUnwinds)
{
    // Five arrays; failing any of them leaves n set and every array NULL, and
    // a successful record's tables are built by its first spectrum.
    for (uint64_t fail = 1; fail <= 6; ++fail) {
        SCOPED_TRACE(fail);
        fft_backend fb{};
        memory_manager_fail_at(fail, false);
        const bool built = fft_backend_init(&fb, 64);
        memory_manager_fail_at(0, false);
        EXPECT_EQ(built, fail == 6);
        EXPECT_EQ(fb.n, 64);
        if (built) {
            EXPECT_EQ(fb.bitrev[0], 0);
            fft_backend_power_spectrum(&fb, 64, std::vector<float>(64, 0.5f).data());
            EXPECT_EQ(fb.bitrev[0], 16);
            fft_backend_free(&fb);
        }
        const void *arrays[] = {fb.window, fb.work, fb.power, fb.twiddles, fb.bitrev};
        EXPECT_EQ(std::count(std::begin(arrays), std::end(arrays), nullptr), 5);
        EXPECT_EQ(bytes_in_use_delta(), 0);
    }
}

} // namespace
