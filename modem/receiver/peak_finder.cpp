#include "modem/receiver/peak_finder.h"

#include "coding/signal_maths.h"
#include "dsp/float_lanes.h"
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

// Bins summarised by one maximum: a search looks into a run only when its
// maximum can be taken. Eight vectors.
constexpr int32_t kRun = 32;

// v when it exceeds m, else m: a NaN never displaces a number, so a maximum
// started from a number is the largest number seen (or that start).
template <typename T>
inline T larger(T v, T m)
{
    return v > m ? v : m;
}

// No bin at or below the floor is ever taken: the weakest kept magnitude
// starts there and only rises.
constexpr float kFloor = -1.0f;

// The largest lane of m, which holds no NaN.
inline float largest_lane(lanes4 m)
{
    m = larger(__builtin_shufflevector(m, m, 2, 3, 0, 1), m);
    m = larger(__builtin_shufflevector(m, m, 1, 0, 3, 2), m);
    return m[0];
}

// The larger of kFloor and the largest number among the kRun values from x.
inline float run_maximum(const float *x)
{
    static_assert(kRun == 32, "a run is eight vectors");
    lanes4 m = splat4(kFloor);
    m = larger(load4(x), m);
    m = larger(load4(x + 4), m);
    m = larger(load4(x + 8), m);
    m = larger(load4(x + 12), m);
    m = larger(load4(x + 16), m);
    m = larger(load4(x + 20), m);
    m = larger(load4(x + 24), m);
    m = larger(load4(x + 28), m);
    return largest_lane(m);
}

// The same for the count (below kRun) values from x.
float short_run_maximum(const float *x, int32_t count)
{
    lanes4 m = splat4(kFloor);
    int32_t j = 0;
    for (; j + 4 <= count; j += 4)
        m = larger(load4(x + j), m);
    float r = largest_lane(m);
    for (; j < count; ++j)
        r = larger(x[j], r);
    return r;
}

// Fills run_max with the maximum (as run_maximum gives it) of each run of
// bins lo .. hi, the last one possibly shorter, each run on its own so that
// none waits for the one before; returns the number of runs and sets top to
// the largest of them.
int32_t fill_run_maxima(float *run_max, const float *x, int32_t lo, int32_t hi, float *top)
{
    int32_t runs = 0;
    float t = kFloor;
    int32_t i = lo;
    for (; i + kRun - 1 <= hi; i += kRun) {
        const float m = run_maximum(x + i);
        run_max[runs++] = m;
        t = larger(m, t);
    }
    if (i <= hi) {
        const float m = short_run_maximum(x + i, hi + 1 - i);
        run_max[runs++] = m;
        t = larger(m, t);
    }
    *top = t;
    return runs;
}

// A plateau goes to its right-hand bin; NaN is never a maximum.
inline bool local_maximum(const float *x, int32_t i)
{
    return x[i] >= x[i - 1] && x[i] > x[i + 1];
}

// With one slot a search ends on the first local maximum of the largest value
// among them: a later equal one is not taken. When some bin holding the
// band's largest number (top, above the floor) is a local maximum, that
// number is this value and the first such bin is the answer, found in the
// runs that reach top without following every rise on the way to it. False,
// `at` untouched, when there is no such bin.
bool first_largest_maximum(const float *x, const float *run_max, int32_t runs, int32_t lo, int32_t hi, float top,
                           int32_t *at)
{
    for (int32_t r = 0; r < runs; ++r) {
        if (run_max[r] != top)
            continue;
        const int32_t first = lo + r * kRun;
        const int32_t last = hi - first < kRun ? hi : first + kRun - 1;
        for (int32_t i = first; i <= last; ++i) {
            if (x[i] == top && local_maximum(x, i)) {
                *at = i;
                return true;
            }
        }
    }
    return false;
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
    // One maximum per run of the widest band, bins 1 .. N / 2 - 2.
    pf->run_max = tracked_alloc<float>(static_cast<uint64_t>(fft_size / 2) / kRun + 1);
    if (pf->peaks == nullptr || pf->run_max == nullptr) {
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
    float largest = kFloor;
    const int32_t runs = lo > hi ? 0 : fill_run_maxima(pf->run_max, x, lo, hi, &largest);
    const float *run_max = pf->run_max;
    int32_t at = 0;
    if (k == 1 && largest > kFloor && first_largest_maximum(x, run_max, runs, lo, hi, largest, &at)) {
        peaks[0] = spectral_peak{static_cast<float>(at) * pf->inverse_size, x[at]};
    } else {
        // Only a bin above the weakest kept magnitude can be taken, and that
        // magnitude changes only when one is: a run whose maximum does not
        // exceed it is passed over whole.
        float weakest = kFloor;
        int32_t replace = 0;
        for (int32_t r = 0; r < runs; ++r) {
            if (!(run_max[r] > weakest))
                continue;
            const int32_t first = lo + r * kRun;
            const int32_t last = hi - first < kRun ? hi : first + kRun - 1;
            for (int32_t i = first; i <= last; ++i) {
                if (x[i] > weakest && local_maximum(x, i)) {
                    peaks[replace] = spectral_peak{static_cast<float>(i) * pf->inverse_size, x[i]};
                    weakest = weakest_slot(peaks, k, &replace);
                }
            }
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
    tracked_free(pf->run_max);
    tracked_free(pf);
}
