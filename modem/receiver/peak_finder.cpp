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

// Bins passed over together when none of them can be taken.
constexpr int32_t kRun = 8;

// Whether any of the kRun values from x exceeds w (NaN does not). Counted
// rather than tested one by one, so that the compiler can compare the run in
// a few vector operations with no branch per bin.
bool any_above(const float *x, float w)
{
    int32_t above = 0;
    for (int32_t j = 0; j < kRun; ++j)
        above += x[j] > w;
    return above != 0;
}

// The band a search covers: the finder's band within 1 .. N / 2 - 2, so that
// both neighbours of every tested bin lie inside the spectrum. Empty when
// lo > hi.
void search_band(const peak_finder *pf, int32_t *lo, int32_t *hi)
{
    const int32_t top = pf->fft_size / 2 - 2;
    *lo = pf->low_bin < 1 ? 1 : pf->low_bin;
    *hi = pf->high_bin > top ? top : pf->high_bin;
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

    const int32_t top = n / 2 - 2;
    int32_t lo = 0;
    int32_t hi = -1;
    search_band(pf, &lo, &hi);
    float weakest = -1.0f;
    int32_t replace = 0;
    auto test = [&](int32_t i) {
        // A plateau goes to its right-hand bin; NaN is never taken.
        if (x[i] > weakest && x[i] >= x[i - 1] && x[i] > x[i + 1]) {
            peaks[replace] = spectral_peak{static_cast<float>(i) * pf->inverse_size, x[i]};
            weakest = weakest_slot(peaks, k, &replace);
        }
    };
    // Only a bin above the weakest kept magnitude can be taken, and that
    // magnitude changes only when one is: a run of bins none of which
    // exceeds it is passed over whole.
    const int32_t whole = lo > hi ? lo : hi + 1 - (hi + 1 - lo) % kRun;
    int32_t i = lo;
    for (; i < whole; i += kRun)
        if (any_above(x + i, weakest))
            for (int32_t j = i; j < i + kRun; ++j)
                test(j);
    for (; i <= hi; ++i)
        test(i);

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

bool peak_finder_bins_read(const peak_finder *pf, uint32_t *first, uint32_t *last)
{
    int32_t lo = 0;
    int32_t hi = -1;
    search_band(pf, &lo, &hi);
    if (lo > hi)
        return false;
    *first = static_cast<uint32_t>(lo - 1);
    *last = static_cast<uint32_t>(hi + 1);
    return true;
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
