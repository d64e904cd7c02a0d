// Noise filter: a running estimate of the power of each bin of a band (the
// noise floor), a fraction of which is subtracted from every spectrum, clamping
// at zero. Owned by a detector, applied to its own copy of each spectrum.
#pragma once

#include <cstdint>

struct noise_filter {
    float *noise;              // hi - lo + 1 estimates, zero at creation; NULL for an empty band
    float factor;              // fraction of the estimate subtracted; 0.5 at creation
    float smoothing;           // weight of the old estimate; 0.95 at creation
    float one_minus_smoothing; // 1 - smoothing in float: 0.050000012 at creation, not 0.05f
    uint32_t lo;               // first bin of the band
    uint32_t hi;               // last bin of the band, inclusive
};

// None when memory runs out. A band with lo > hi is empty: the filter holds no
// estimate and changes nothing.
noise_filter *new_noise_filter(uint32_t lo, uint32_t hi);
// Both setters refuse x < 0 or x > 1 with false and keep the old value; NaN
// passes both tests and is accepted.
bool noise_filter_set_factor(noise_filter *nf, float factor);
bool noise_filter_set_smoothing(noise_filter *nf, float smoothing);
// Filters bins lo .. hi of spectrum (at least hi + 1 bins) in place; always true.
bool noise_filter_apply(noise_filter *nf, float *spectrum);
// NULL is ignored.
void del_noise_filter(noise_filter *nf);
