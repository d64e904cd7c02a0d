// Noise filter: a running estimate of the power of each bin of a band (the
// noise floor), a fraction of which is subtracted from every spectrum, clamping
// at zero. Owned by a detector, applied to its own copy of each spectrum.
#pragma once

#include <cstdint>

struct noise_filter {
    float *noise;              // estimates of bins first .. last, zero at creation; NULL when that range is empty
    float factor;              // fraction of the estimate subtracted; 0.5 at creation
    float smoothing;           // weight of the old estimate; 0.95 at creation
    float one_minus_smoothing; // 1 - smoothing in float: 0.050000012 at creation, not 0.05f
    uint32_t lo;               // first bin of the band filtered
    uint32_t hi;               // last bin of the band filtered, inclusive
    // Bins that have an estimate: the band given at creation. The band may
    // later move anywhere within them.
    uint32_t first;
    uint32_t last;
};

// None when memory runs out. A band with lo > hi is empty: the filter holds no
// estimate and changes nothing.
noise_filter *new_noise_filter(uint32_t lo, uint32_t hi);
// Both setters refuse x < 0, x > 1 and NaN with false and keep the old value:
// a NaN would turn every bin of the band into NaN for good.
bool noise_filter_set_factor(noise_filter *nf, float factor);
bool noise_filter_set_smoothing(noise_filter *nf, float smoothing);
// Moves the band filtered to lo .. hi (lo > hi: none). False, nothing
// changed, when the band leaves the bins given at creation. A bin that joins
// the band starts again from a zero estimate, as at creation; bins that stay
// keep theirs. Allocates nothing.
bool noise_filter_set_band(noise_filter *nf, uint32_t lo, uint32_t hi);
// Filters bins lo .. hi of spectrum (at least hi + 1 bins) in place; always true.
bool noise_filter_apply(noise_filter *nf, float *spectrum);
// The same in one pass for a spectrum still to be equalised: bins lo .. hi of
// out become the filtered gains[b] x in[b] (in[b] itself when gains is NULL),
// the numbers that multiplying first and filtering in place give. out may be
// in; nothing outside the band is read or written.
void noise_filter_apply_scaled(noise_filter *nf, const float *gains, const float *in, float *out);
// NULL is ignored.
void del_noise_filter(noise_filter *nf);
