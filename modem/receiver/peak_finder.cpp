#include "modem/receiver/peak_finder.h"

#include "coding/signal_maths.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

namespace {

// Magnitude given to a slot whose bin has no neighbours to refine with.
constexpr float kFloorMagnitude = 1e-9f;

// Fills `r` with the first slot holding the smallest magnitude; returns it.
float weakest_slot(const spectral_peak *peaks, int32_t k, int32_t *r)
{
    int32_t at = 0;
    for (int32_t j = 1; j < k; ++j)
        if (peaks[j].magnitude < peaks[at].magnitude)
            at = j;
    *r = at;
    return peaks[at].magnitude;
}

// Insertion sort: k is a handful of slots, and equal magnitudes keep their
// slot order, so a search is reproducible.
void sort_peaks(spectral_peak *peaks, int32_t k)
{
    for (int32_t i = 1; i < k; ++i) {
        const spectral_peak moving = peaks[i];
        int32_t j = i;
        while (j > 0 && compare_peaks_by_magnitude(&moving, &peaks[j - 1]) < 0) {
            peaks[j] = peaks[j - 1];
            --j;
        }
        peaks[j] = moving;
    }
}

// The band's bins for the present factor. With a factor of 1 the division is
// exact, so the bins are those of (Hz x N) / sample_rate.
void place_band(peak_finder *pf)
{
    if (pf->low_hz != 0.0f && pf->high_hz != 0.0f) {
        const float n = static_cast<float>(pf->fft_size);
        const float rate = static_cast<float>(pf->sample_rate);
        pf->low_bin = saturate_cast<int32_t>(((pf->low_hz / pf->frequency_factor) * n) / rate);
        pf->high_bin = saturate_cast<int32_t>(((pf->high_hz / pf->frequency_factor) * n) / rate);
    } else {
        pf->low_bin = 1;
        pf->high_bin = pf->fft_size / 2 - 2;
    }
}

} // namespace

peak_finder *new_peak_finder(uint32_t sample_rate, int32_t fft_size, int32_t k, float low_hz, float high_hz)
{
    if (k < 1 || fft_size < 1)
        return nullptr;
    peak_finder *pf = tracked_alloc<peak_finder>(1);
    if (pf == nullptr)
        return nullptr;
    pf->peaks = tracked_alloc<spectral_peak>(static_cast<uint64_t>(k));
    if (pf->peaks == nullptr) {
        del_peak_finder(pf);
        return nullptr;
    }
    pf->fft_size = fft_size;
    pf->inverse_size = 1.0f / static_cast<float>(fft_size);
    pf->sample_rate = sample_rate;
    pf->peak_count = k;
    pf->frequency_factor = 1.0f;
    pf->low_hz = low_hz;
    pf->high_hz = high_hz;
    place_band(pf);
    return pf;
}

const spectral_peak *peak_finder_find(peak_finder *pf, const float *x)
{
    spectral_peak *peaks = pf->peaks;
    const int32_t k = pf->peak_count;
    const int32_t n = pf->fft_size;
    for (int32_t j = 0; j < k; ++j)
        peaks[j] = spectral_peak{0.0f, 0.0f};

    // Both neighbours of every tested bin must lie inside the spectrum.
    const int32_t top = n / 2 - 2;
    const int32_t lo = pf->low_bin < 1 ? 1 : pf->low_bin;
    const int32_t hi = pf->high_bin > top ? top : pf->high_bin;
    float weakest = -1.0f;
    int32_t replace = 0;
    for (int32_t i = lo; i <= hi; ++i) {
        // A plateau goes to its right-hand bin; NaN is never taken.
        if (x[i] > weakest && x[i] >= x[i - 1] && x[i] > x[i + 1]) {
            peaks[replace] = spectral_peak{static_cast<float>(i) * pf->inverse_size, x[i]};
            weakest = weakest_slot(peaks, k, &replace);
        }
    }

    sort_peaks(peaks, k);

    const float size = static_cast<float>(n);
    const float rate = static_cast<float>(pf->sample_rate);
    for (int32_t j = 0; j < k; ++j) {
        spectral_peak *peak = &peaks[j];
        if (peak->magnitude == 0.0f) {
            // Sorted, so every later slot is empty too. A bin taken with
            // magnitude 0 (only beside a negative bin) still carries its bin
            // position: clear it so no empty slot has a frequency.
            for (; j < k; ++j)
                peaks[j] = spectral_peak{0.0f, 0.0f};
            break;
        }
        const int32_t b = saturate_cast<int32_t>(math_round(peak->frequency * size));
        float frequency = 0.0f;
        if (b >= 1 && b <= top) {
            // Parabola through the dB values of the power bins; p is the
            // vertex offset in bins, within [-0.5, 0.5] at a local maximum.
            const float a = amplitude_to_db(x[b - 1]);
            const float c = amplitude_to_db(x[b]);
            const float d = amplitude_to_db(x[b + 1]);
            const float curvature = (a + c * -2.0f) + d;
            // A zero curvature without three equal values is a rounding
            // artefact of a flat top: no offset rather than an infinite one.
            const float p = (a == c && c == d) || curvature == 0.0f ? 0.0f : ((a - d) * 0.5f) / curvature;
            frequency = (static_cast<float>(b) + p) / size;
            peak->magnitude = db_to_amplitude(((a - d) * -0.25f) * p + c);
        } else {
            peak->magnitude = kFloorMagnitude;
        }
        peak->frequency = (rate * frequency) * pf->frequency_factor;
    }
    return peaks;
}

int compare_peaks_by_magnitude(const spectral_peak *a, const spectral_peak *b)
{
    return (b->magnitude > a->magnitude) - (b->magnitude < a->magnitude);
}

bool peak_finder_set_frequency_correction(peak_finder *pf, float factor)
{
    if (pf == nullptr || !(factor >= PEAK_FINDER_MIN_CORRECTION && factor <= PEAK_FINDER_MAX_CORRECTION))
        return false;
    pf->frequency_factor = factor;
    place_band(pf);
    return true;
}

float peak_finder_frequency_correction(const peak_finder *pf)
{
    return pf == nullptr ? 0.0f : pf->frequency_factor;
}

void del_peak_finder(peak_finder *pf)
{
    if (pf == nullptr)
        return;
    tracked_free(pf->peaks);
    tracked_free(pf);
}
