// Tuning of one detector of a receiver: how hard it subtracts the noise floor,
// which equalisation curve it applies, how far it moves its data windows, how
// sure it must be of a front door and how much of each slot it reads. The
// records live inside a decoder_settings, which owns them and their curves.
#pragma once

#include <cstdint>

struct detector_settings {
    float noise_smoothing;   // weight of the old noise-floor estimate
    float noise_subtraction; // share of the estimate subtracted per bin; 0 = no noise filter
    int8_t time_shift;       // frames the data windows move; negative = earlier
    uint8_t curve_points;    // points of `curve`; 0 = no equalisation
    // 2 x curve_points f32, owned: point i is (Hz at 2i, dB at 2i + 1), Hz
    // rising. NULL when there are no points.
    float *curve;
    float frontdoor_threshold; // front-door score to exceed before locking
    float window_factor;       // share of attack and release skipped at the slot ends; 1 = exactly them
};

// Whether a detector's noise filter can take these values: noise_smoothing
// and noise_subtraction each from 0 to 1. A NaN is refused: it would turn
// every bin of the band into NaN for good.
bool detector_settings_valid(const detector_settings *d);

// Equal when the four floats compare equal as floats (NaN equals nothing),
// the time shifts and point counts are equal, and the curves are equal byte
// for byte over 2 x curve_points f32. A NULL record equals nothing.
bool detector_settings_equals(const detector_settings *a, const detector_settings *b);
