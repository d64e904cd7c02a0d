// Decibel conversions, the tone-frequency formula of a protocol, and small
// signal and symbol utilities. Single precision throughout.
#pragma once

#include <cstdint>

// 10^(x * 0.05): decibels to an amplitude ratio.
float db_to_amplitude(float x);
// 20 log10(x), x raised to at least 1e-9 first, then lowered to at most 1e9:
// zero, negative values and NaN give -180 dB.
float amplitude_to_db(float x);
// 10^(x * 0.1): decibels to a power ratio.
float db_to_power(float x);
// 10 log10(x), x lowered to at most 1e9 first, then raised to at least 1e-9:
// zero gives -90 dB, NaN gives 90 dB.
float power_to_db(float x);

// Hz of tone position x: base * 2^(x / 12) when spacing is zero (equal-tempered
// semitones; -0 counts as zero, NaN does not), else x * spacing + base.
float tone_frequency(float x, float base, float spacing);

// Mixes uniform noise into n samples in place: with g = 10^(level / 20) for a
// negative level and 1 otherwise, each sample becomes s (1 - g) + g r with r
// drawn from the shared generator in [-1, 1]. n <= 0 does nothing.
void mix_noise(float *samples, int32_t n, float level_db);
// Root mean square of n samples; n = 0 gives NaN.
float rms(const float *samples, uint64_t n);
// Positions below n where the two symbol arrays differ.
uint8_t count_symbol_differences(const uint64_t *a, const uint64_t *b, uint8_t n);
// Fisher-Yates from the end over the shared generator: exactly n draws.
void shuffle_symbols(uint64_t *symbols, uint8_t n);
