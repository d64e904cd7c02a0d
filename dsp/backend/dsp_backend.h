// The signal-processing backend: the one seam through which the library reaches
// numeric work that a platform may accelerate. Every build provides each of
// these eleven operations exactly once; the build picks the implementation
// (portable, Ne10 or Accelerate) and no caller knows which one it gets.
//
// Counts are numbers of elements, never bytes. Float samples are mono, nominally
// in [-1, 1); 16-bit samples use the scale 32768.
#pragma once

#include <cstdint>

// The fft_backend record differs per build; every variant starts with the
// transform size `n` (u16) and holds the last spectrum in `power`. The build
// names its backend with one definition; without one the portable record is
// used.
#if defined(TOVAN_DSP_BACKEND_NE10)
#include "dsp/ne10/fft_backend_record.h"
#elif defined(TOVAN_DSP_BACKEND_ACCELERATE)
#include "dsp/accelerate/fft_backend_record.h"
#else
#include "dsp/generic/fft_backend_record.h"
#endif

// out[i] = in[i] x 32768 truncated toward zero, saturated to -32768..32767;
// NaN gives 0. Inside [-1, 1) this is the exact truncation (+1.0 would not fit).
void float_to_int16(const float *in, int16_t *out, uint32_t count);
// out[i] = in[i] x 2^-15, exact: -32768 gives -1.0.
void int16_to_float(const int16_t *in, float *out, uint32_t count);

// Elementwise in single precision; `out` may be the same array as an input, and
// a count of 0 does nothing. Some builds need one successful fft_backend_init
// in the process before these work.
void vector_add(const float *a, const float *b, float *out, uint64_t count);
// Position and value of the smallest element. Count 0 writes nothing. Which of
// equal smallest elements wins, and how NaN is treated, belong to the build.
void vector_min_index(const float *v, uint64_t count, uint32_t *index, float *min);
void vector_scale(const float *in, float *out, uint64_t count, float s);
void vector_multiply(const float *a, const float *b, float *out, uint64_t count);
// out[i] = b[i] - a[i]: the SECOND operand minus the first.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count);

// Stores n and builds the record's arrays and window. False, with nothing left
// allocated, when n is not a power of two from 2 to 32768 or memory runs out;
// then fft_backend_free must not be called for the record.
bool fft_backend_init(fft_backend *fb, uint16_t n);
// Releases every array of a record whose init succeeded.
void fft_backend_free(fft_backend *fb);
// power[k] = sqrt(power[k]) x 4/n: a sinusoid of amplitude A centred on bin k
// then reads about A there. n is the size given to init.
void fft_backend_normalise(fft_backend *fb, uint32_t n);
// Hann-windows the n samples of `frame` and writes power[k] = |X_k|^2 of the
// unnormalised DFT for bins 0 .. n/2-1 (bin k at k x sample rate / n). Reads
// the frame only; allocates nothing. n is the size given to init.
void fft_backend_power_spectrum(fft_backend *fb, uint16_t n, const float *frame);
