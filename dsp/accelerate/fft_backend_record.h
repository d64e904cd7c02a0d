// The Accelerate backend's fft_backend record: single-precision window and
// windowed frame, and the split-complex pair the packed real FFT works on in
// place. On Apple platforms the framework provides the vector and FFT calls;
// elsewhere its stand-in layer does, for builds that test this backend.
#pragma once

#include <cstdint>

#if defined(__APPLE__)
#include <Accelerate/Accelerate.h>
#else
#include "standins/accelerate/accelerate_standin.h"
#endif

struct fft_backend {
    uint16_t n;          // transform size N, samples
    float *frame;        // N: the windowed frame, read as N/2 interleaved complex values
    float *window;       // N: symmetric Hann window, in float
    uint64_t log2n;      // log2 N: the size argument of the setup and the transform
    FFTSetup setup;      // the framework's twiddles for N points, made once per record
    float *split_real;   // N/2: real parts of the packed transform, in place
    float *split_imag;   // N/2: imaginary parts; element 0 holds 2 X_(N/2)
    float *power;        // N/2: |X_k|^2; bin 0 holds the DC plus the Nyquist power
};
