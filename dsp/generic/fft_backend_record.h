// The portable backend's fft_backend record: double-precision window and
// transform over the real FFT of rdft.h.
#pragma once

#include <cstdint>

static_assert(sizeof(int) == 4, "the real FFT's table sizes and work area are 32-bit ints");

struct fft_backend {
    uint16_t n;       // transform size N, samples
    double *work;     // N: the windowed frame, transformed in place
    double *window;   // N: symmetric Hann window, each value exactly half a float
    double *twiddles; // N, zeroed: rdft's twiddle and cosine tables, all N
    int *bitrev;      // N, zeroed: rdft's table sizes in [0] and [1]; 0 means not built
    float *power;     // N/2: |X_k|^2 for bins 0 .. N/2-1; bin 0 is DC alone
};
