// The peak search written straightforwardly, every bin of the band tested in
// turn, for tests that hold the peak finder's faster search to it.
#pragma once

#include "coding/signal_maths.h"
#include "modem/receiver/peak_finder.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// Fills `peaks` (k slots) as peak_finder_find does for a finder of N = n
// bins at `rate`, with that factor and band, searching spectrum x.
inline void reference_find_peaks(const float *x, int32_t n, uint32_t rate, float factor, int32_t low_bin,
                                 int32_t high_bin, std::vector<spectral_peak> &peaks)
{
    const int32_t k = static_cast<int32_t>(peaks.size());
    const int32_t top = n / 2 - 2;
    std::fill(peaks.begin(), peaks.end(), spectral_peak{0.0f, 0.0f});
    float weakest = -1.0f;
    int32_t replace = 0;
    for (int32_t i = std::max(low_bin, 1); i <= std::min(high_bin, top); ++i) {
        if (x[i] > weakest && x[i] >= x[i - 1] && x[i] > x[i + 1]) {
            peaks[replace] = {static_cast<float>(i) * (1.0f / static_cast<float>(n)), x[i]};
            replace = 0;
            for (int32_t j = 1; j < k; ++j)
                if (peaks[j].magnitude < peaks[replace].magnitude)
                    replace = j;
            weakest = peaks[replace].magnitude;
        }
    }
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const spectral_peak &a, const spectral_peak &b) { return a.magnitude > b.magnitude; });
    bool empty = false; // from the first slot without a magnitude on
    for (spectral_peak &peak : peaks) {
        empty = empty || peak.magnitude == 0.0f;
        if (empty) {
            peak = spectral_peak{0.0f, 0.0f};
            continue;
        }
        const int32_t b = saturate_cast<int32_t>(math_round(peak.frequency * static_cast<float>(n)));
        float frequency = 0.0f;
        if (b >= 1 && b <= top) {
            const float a = amplitude_to_db(x[b - 1]), c = amplitude_to_db(x[b]), d = amplitude_to_db(x[b + 1]);
            const float curvature = (a + c * -2.0f) + d;
            const float p = (a == c && c == d) || curvature == 0.0f ? 0.0f : ((a - d) * 0.5f) / curvature;
            frequency = (static_cast<float>(b) + p) / static_cast<float>(n);
            peak.magnitude = db_to_amplitude(((a - d) * -0.25f) * p + c);
        } else {
            peak.magnitude = 1e-9f;
        }
        peak.frequency = (static_cast<float>(rate) * frequency) * factor;
    }
}
