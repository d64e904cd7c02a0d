// The accelerated backends against the double-precision reference, for every
// size from 2 to 32768 and frames of noise, a tone, alternation at the
// Nyquist frequency and zeros.
#pragma once

#include "dsp/backend/dsp_backend.h"
#include "support/reference_dft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

// Where a backend puts the Nyquist power.
enum class nyquist_bin {
    in_bin_zero, // added to the DC power in bin 0 (packed layout)
    extra_bin,   // alone in bin N/2
};

inline void expect_spectra_match_reference(nyquist_bin nyquist)
{
    for (uint32_t n = 2; n <= 32768; n *= 2) {
        for (const char *kind : {"noise", "tone", "quick alternation (Nyquist)", "zeros"}) {
            SCOPED_TRACE(testing::Message() << "n " << n << ", " << kind);
            fft_backend fb{};
            ASSERT_TRUE(fft_backend_init(&fb, static_cast<uint16_t>(n)));
            const std::vector<float> frame = make_test_frame(kind, n);
            fft_backend_power_spectrum(&fb, static_cast<uint16_t>(n), frame.data());
            const HannPowerReference ref(frame);
            // Every bin up to 4096 points; beyond, a spread of bins keeps the
            // direct sums affordable under emulation.
            std::vector<uint32_t> bins;
            for (uint32_t k = 0; k < n / 2; k += (n <= 4096 ? 1 : n / 64 + 1))
                bins.push_back(k);
            bins.push_back(n / 8); // the tone's bin
            bins.push_back(n / 2 - 1);
            if (nyquist == nyquist_bin::extra_bin)
                bins.push_back(n / 2);
            std::vector<double> want(bins.size());
            double peak = 0;
            for (size_t b = 0; b < bins.size(); ++b) {
                want[b] = ref.power(bins[b]);
                if (nyquist == nyquist_bin::in_bin_zero && bins[b] == 0)
                    want[b] += ref.power(n / 2);
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

// Transforms alternation of amplitude 0.75 at the Nyquist frequency with an
// initialised record of size n; returns the Nyquist power the reference
// gives it: the window sums to (N - 1)/2.
inline double nyquist_frame_power(fft_backend *fb, uint16_t n)
{
    const float a = 0.75f;
    const std::vector<float> frame = make_test_frame("q", n);
    fft_backend_power_spectrum(fb, n, frame.data());
    return (a * (n - 1) / 2.0) * (a * (n - 1) / 2.0);
}
