// Peak finder: picks the k strongest local maxima of a power spectrum inside a
// band, strongest first, refines each to a fractional bin by a parabola
// through the decibel values of three bins, and gives frequencies in Hz
// scaled by an adjustable frequency-correction factor. Each detector owns one.
//
// The spectrum is the analyser's: fft_size / 2 powers, bin b at
// b x sample_rate / fft_size.
#pragma once

#include <cstdint>

struct spectral_peak {
    float frequency; // Hz once peak_finder_find has finished
    float magnitude; // same power scale as the spectrum
};

// The frequency-correction factors a peak finder accepts.
inline constexpr float PEAK_FINDER_MIN_CORRECTION = 0.5f;
inline constexpr float PEAK_FINDER_MAX_CORRECTION = 1.5f;

struct peak_finder {
    int32_t fft_size;      // N
    float inverse_size;    // 1 / N
    uint32_t sample_rate;  // Hz
    int32_t low_bin;       // search band, both ends included, for the present factor
    int32_t high_bin;
    int32_t peak_count;    // k
    spectral_peak *peaks;  // k slots, owned; refilled by every search
    float frequency_factor; // 1.0 at creation, always within [0.5, 1.5]
    float low_hz;           // the band as given, in corrected Hz; 0 in either: the whole spectrum
    float high_hz;
    float *run_max;         // scratch of every search: one maximum per run of 32 bins of the band, owned
};

// A slot that holds no peak: frequency 0 or magnitude 0. Every search leaves
// its unused slots at (0, 0); a found peak always has a positive magnitude
// and, with a sample rate above 0, a positive frequency.
inline bool spectral_peak_is_empty(const spectral_peak *peak)
{
    return peak->frequency == 0.0f || peak->magnitude == 0.0f;
}

// Band from low_hz to high_hz in the frequencies the finder reports, which
// are those heard times the correction factor: the search covers bins
// trunc(((Hz / factor) x N) / sample_rate), so a tone the sender's clock
// moved is still searched where it is heard. The whole usable spectrum,
// bins 1 to N / 2 - 2, when either frequency is 0. A search never leaves
// 1 .. N / 2 - 2 whatever the band. None when k or N is below 1 (no slot to
// fill, no spectrum) or memory runs out.
peak_finder *new_peak_finder(uint32_t sample_rate, int32_t fft_size, int32_t k, float low_hz, float high_hz);
// Searches `spectrum` (N / 2 bins, read only) and returns the k slots,
// strongest first: the finder's own array, valid until the next search.
// Fewer than k local maxima in the band leave the remaining slots empty.
// Allocates nothing.
const spectral_peak *peak_finder_find(peak_finder *pf, const float *spectrum);
// The bins a search reads for the present band and factor, the neighbours of
// its ends included: first .. last, within the spectrum. False when the band
// holds no bin to test (a search then reads nothing and finds nothing).
bool peak_finder_bins_read(const peak_finder *pf, uint32_t *first, uint32_t *last);
// Sort order of the slots: negative when a has the larger magnitude.
int compare_peaks_by_magnitude(const spectral_peak *a, const spectral_peak *b);
// Stores factor and moves the band with it, answering true, when
// 0.5 <= factor <= 1.5; false, keeping the old factor and band, for anything
// else (NaN included) and for NULL. Allocates nothing.
bool peak_finder_set_frequency_correction(peak_finder *pf, float factor);
// The factor; 0.0 for NULL.
float peak_finder_frequency_correction(const peak_finder *pf);
// Frees the slots and the record. Accepts NULL.
void del_peak_finder(peak_finder *pf);
