// The Ne10 backend against a double-precision reference: N/2 + 1 bins, each
// |X_k|^2 of the Hann-windowed frame up to single-precision rounding, bin 0
// the DC power alone and bin N/2 the Nyquist power.
#include "dsp/backend/dsp_backend.h"
#include "standins/ne10/ne10_standin_hooks.h"
#include "support/memory_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// |X_k|^2 of x_j = frame_j window_j in double, with the symmetric Hann window
// computed in double, so the reference owes nothing to the backend.
struct Reference {
    Reference(const std::vector<float> &frame) : n(frame.size()), x(n), c(n), s(n)
    {
        for (size_t j = 0; j < n; ++j) {
            const double w = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * j / (n - 1)));
            x[j] = frame[j] * w;
            c[j] = std::cos(2.0 * std::numbers::pi * j / n);
            s[j] = std::sin(2.0 * std::numbers::pi * j / n);
        }
    }
    double power(size_t k) const
    {
        double re = 0, im = 0;
        for (size_t j = 0; j < n; ++j) {
            re += x[j] * c[(j * k) % n];
            im -= x[j] * s[(j * k) % n];
        }
        return re * re + im * im;
    }
    size_t n;
    std::vector<double> x, c, s;
};

std::vector<float> make_frame(const char *kind, uint32_t n)
{
    std::vector<float> x(n);
    std::mt19937 gen(n);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (uint32_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        switch (kind[0]) {
        case 'n': x[i] = d(gen); break;                                                     // noise
        case 't': x[i] = static_cast<float>(0.5 * std::cos(2 * std::numbers::pi * (n / 8) * t / n)); break; // tone
        case 'q': x[i] = (i % 2 == 0) ? 0.75f : -0.75f; break;                              // Nyquist
        default: x[i] = 0.0f; break;                                                        // zeros
        }
    }
    return x;
}

class Ne10FftBackendTest : public TrackedHeapTest {};

TEST_F(Ne10FftBackendTest, SpectrumMatchesDoubleReference)
{
    for (uint32_t n = 2; n <= 32768; n *= 2) {
        for (const char *kind : {"noise", "tone", "quick alternation (Nyquist)", "zeros"}) {
            SCOPED_TRACE(testing::Message() << "n " << n << ", " << kind);
            fft_backend fb{};
            ASSERT_TRUE(fft_backend_init(&fb, static_cast<uint16_t>(n)));
            const std::vector<float> frame = make_frame(kind, n);
            fft_backend_power_spectrum(&fb, static_cast<uint16_t>(n), frame.data());
            const Reference ref(frame);
            // Every bin up to 4096 points; beyond, a spread of bins keeps the
            // direct sums affordable under emulation. Bin N/2 is this build's own.
            std::vector<uint32_t> bins;
            for (uint32_t k = 0; k < n / 2; k += (n <= 4096 ? 1 : n / 64 + 1))
                bins.push_back(k);
            bins.push_back(n / 8); // the tone's bin
            bins.push_back(n / 2 - 1);
            bins.push_back(n / 2);
            std::vector<double> want(bins.size());
            double peak = 0;
            for (size_t b = 0; b < bins.size(); ++b) {
                want[b] = ref.power(bins[b]);
                peak = std::max(peak, want[b]);
            }
            double worst = 0;
            for (size_t b = 0; b < bins.size(); ++b)
                worst = std::max(worst, std::fabs(fb.power[bins[b]] - want[b]));
            if (peak == 0) {
                EXPECT_EQ(worst, 0.0);
            } else {
                EXPECT_LT(worst / peak, 2e-6) << "worst bin error " << worst << " of " << peak;
            }
            fft_backend_free(&fb);
        }
    }
}

TEST_F(Ne10FftBackendTest, NyquistPowerLandsInTheExtraBin)
{
    const uint16_t n = 2048;
    const float a = 0.75f;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    const std::vector<float> frame = make_frame("q", n);
    fft_backend_power_spectrum(&fb, n, frame.data());
    // The window sums to (N - 1)/2; bin 0 keeps the DC power alone.
    const double full = (a * (n - 1) / 2.0) * (a * (n - 1) / 2.0);
    EXPECT_NEAR(fb.power[n / 2], full, 1e-4 * full);
    EXPECT_NEAR(fb.power[n / 2 - 1], full / 4, 1e-3 * full);
    EXPECT_LT(fb.power[0], 1e-9 * full);
    fft_backend_free(&fb);
}

TEST_F(Ne10FftBackendTest, NormaliseScalesEveryBinIncludingTheExtraOne)
{
    const uint16_t n = 1024;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    std::vector<float> frame = make_frame("tone", n); // amplitude 0.5 at bin n/8
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
