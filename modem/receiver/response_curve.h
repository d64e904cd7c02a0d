// Response curve: a per-bin gain table built once from (Hz, dB) points by
// straight lines in decibels, applied to every frame to equalise the spectrum
// before noise filtering and peak picking. A detector owns one when its
// settings record has curve points.
//
// A curve is a flat array of 2 x points f32: point i is (Hz at 2i, dB at
// 2i + 1), Hz rising. The gains are 10^(dB / 20) applied to power bins, as
// the detectors' thresholds were tuned with.
#pragma once

#include <cstdint>

struct response_curve {
    uint16_t bins;        // fft_size / 2
    uint32_t sample_rate; // Hz
    float *gains;         // `bins` linear factors, owned; NULL when bins is 0
};

// A table for fft_size / 2 bins with its gains built from `curve` (read
// during the call only). None when memory runs out.
response_curve *new_response_curve(uint16_t fft_size, uint32_t sample_rate, const float *curve, uint8_t points);
// Fills the gains. Bin i stands for sample_rate x (i / (2 bins)) Hz; below the
// first point it takes the first point's dB, above the last the last one's,
// and between two points the straight line. One point gives its dB to every
// bin, none gives unity gains. Where two neighbouring points share a
// frequency the curve steps: the earlier point's dB up to and at that
// frequency, the later point's above it.
void response_curve_build(response_curve *rc, const float *curve, uint8_t points);
// Multiplies bin i of `spectrum` (bins values) by gain i in place and returns
// it. Allocates nothing.
float *response_curve_apply(const response_curve *rc, float *spectrum);
// The same for `count` bins from `first` only (first + count <= bins),
// written to the same bins of `out`, which may be `in`: out[i] = gain[i] x
// in[i]. Bins outside are neither read nor written. Allocates nothing.
void response_curve_apply_bins(const response_curve *rc, const float *in, float *out, uint32_t first,
                               uint32_t count);
// Accepts NULL.
void del_response_curve(response_curve *rc);
