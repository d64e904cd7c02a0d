// The Accelerate backend against a double-precision reference: bins 1 ..
// N/2-1 are |X_k|^2 of the Hann-windowed frame up to single-precision
// rounding, and bin 0 holds the DC plus the Nyquist power.
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

// |X_k|^2 of x_j = frame_j window_j for the requested bins, in double: window
// values are the symmetric Hann window computed in double, so the reference
// owes nothing to the backend.
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

class AccelerateFftBackendTest : public TrackedHeapTest {};

TEST_F(AccelerateFftBackendTest, SpectrumMatchesDoubleReference)
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
            // direct sums affordable under emulation.
            std::vector<uint32_t> bins;
            for (uint32_t k = 0; k < n / 2; k += (n <= 4096 ? 1 : n / 64 + 1))
                bins.push_back(k);
            bins.push_back(n / 8); // the tone's bin
            bins.push_back(n / 2 - 1);
            std::vector<double> want(bins.size());
            double peak = 0;
            for (size_t b = 0; b < bins.size(); ++b) {
                want[b] = ref.power(bins[b]) + (bins[b] == 0 ? ref.power(n / 2) : 0.0);
                peak = std::max(peak, want[b]);
            }
            // Float rounding of the window, the frame and the transform, as a
            // share of the strongest bin.
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

TEST_F(AccelerateFftBackendTest, NyquistPowerLandsInBinZero)
{
    const uint16_t n = 2048;
    const float a = 0.75f;
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, n));
    const std::vector<float> frame = make_frame("q", n);
    fft_backend_power_spectrum(&fb, n, frame.data());
    // The window sums to (N - 1)/2.
    const double full = (a * (n - 1) / 2.0) * (a * (n - 1) / 2.0);
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
