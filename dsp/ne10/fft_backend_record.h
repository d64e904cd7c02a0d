// The Ne10 backend's fft_backend record: single-precision window and windowed
// frame, and the real-to-complex transform's N/2 + 1 outputs. The power array
// holds one bin more than callers read: bin N/2, the Nyquist power.
#pragma once

#include "standins/ne10/ne10.h"

#include <cstdint>

struct fft_backend {
    uint16_t n;                          // transform size N, samples
    float *frame;                        // N: the windowed frame, input of the transform
    float *window;                       // N: symmetric Hann window, in float
    ne10_fft_r2c_cfg_float32_t config;   // the library's transform of N points, made once per record
    ne10_fft_cpx_float32_t *spectrum;    // N/2 + 1: X_0 .. X_(N/2), unscaled
    float *power;                        // N/2 + 1: |X_k|^2; bin 0 is DC alone, bin N/2 the Nyquist power
};
