// Band meter: the total level of a power spectrum and its level inside the
// band of a protocol's tones. Kept for diagnostics; the receive path does not
// use it.
#pragma once

#include "coding/protocol.h"

#include <cstdint>

struct band_meter {
    uint32_t sample_rate; // Hz
    uint16_t fft_size;    // the spectrum has fft_size / 2 bins
    const ::protocol *protocol; // borrowed
    uint16_t low_bin;     // band, both ends included
    uint16_t high_bin;
    float total_level;
    float band_level;
};

// Levels 0 and the band of `p`. None for a NULL protocol or when memory runs
// out.
band_meter *new_band_meter(uint32_t sample_rate, uint16_t fft_size, const protocol *p);
// Band from tone 0 of channel 0 to one tone past the top of the last channel:
// low_bin = trunc(fft_size x (f0 / rate)), high_bin = the smaller of
// trunc(fft_size x (f1 / rate)) and fft_size / 2 - 1. NULL is ignored.
void band_meter_set_protocol(band_meter *bm, const protocol *p);
// With v = (0.25 x bin)^2 over the fft_size / 2 bins of `spectrum`:
// total_level = sqrt(2 sum v) x 1.6329932 and band_level = sqrt(2 x the sum
// of v over the band) x 1.6329932 (1.6329932 = sqrt(8 / 3)).
void band_meter_measure(band_meter *bm, const float *spectrum);
float band_meter_total_level(const band_meter *bm);
float band_meter_band_level(const band_meter *bm);
// Accepts NULL; the protocol is not touched.
void del_band_meter(band_meter *bm);
