// Stand-in for the parts of the NEON maths library that the Ne10 DSP backend
// uses: its initialisation, its single-precision real-to-complex FFT and four
// float vector functions. The library is not packaged for our targets, so the
// ARMv7 build links this layer instead. It is our own small implementation of
// the contract the backend relies on, not the library.
//
// Dispatch: the transform and the vector functions are reached through
// function pointers that only ne10_init fills, with the NEON variants where
// the build targets NEON and the plain C variants elsewhere. Before the first
// ne10_init every pointer leads to a trap that reports the ordering fault and
// aborts.
//
// Source arrays are not const in these signatures; no function writes through
// a source. Every vector function works in place (dst equal to a source) and
// returns NE10_OK.
#pragma once

#include <cstdint>

extern "C" {

typedef float ne10_float32_t;
typedef int32_t ne10_int32_t;
typedef uint32_t ne10_uint32_t;
typedef int ne10_result_t;

#define NE10_OK 0
#define NE10_ERR -1

typedef struct {
    ne10_float32_t r;
    ne10_float32_t i;
} ne10_fft_cpx_float32_t;

// Opaque configuration of one real-to-complex transform size.
typedef struct ne10_fft_r2c_state_float32_t *ne10_fft_r2c_cfg_float32_t;

// Fills the dispatch pointers; NE10_OK on success. Safe to call again: it
// stores the same entries each time.
ne10_result_t ne10_init(void);

// Configuration for nfft real points, nfft a power of two from 2 to 32768;
// NULL for other sizes or when memory runs out (the library's tracked heap).
ne10_fft_r2c_cfg_float32_t ne10_fft_alloc_r2c_float32(ne10_int32_t nfft);
// Releases a configuration; NULL is ignored.
void ne10_fft_destroy_r2c_float32(ne10_fft_r2c_cfg_float32_t cfg);

// Forward transform of the nfft reals of fin (left unchanged) into nfft/2 + 1
// complex values fout[k] = X_k = sum_j fin[j] e^(-2 pi i j k / nfft), unscaled,
// k = 0 .. nfft/2; fout[0].i and fout[nfft/2].i are 0.
extern void (*ne10_fft_r2c_1d_float32)(ne10_fft_cpx_float32_t *fout, ne10_float32_t *fin,
                                       ne10_fft_r2c_cfg_float32_t cfg);
void ne10_fft_r2c_1d_float32_c(ne10_fft_cpx_float32_t *fout, ne10_float32_t *fin, ne10_fft_r2c_cfg_float32_t cfg);

// dst[i] = src1[i] + src2[i]
extern ne10_result_t (*ne10_add_float)(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                       ne10_uint32_t count);
// dst[i] = src1[i] - src2[i]
extern ne10_result_t (*ne10_sub_float)(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                       ne10_uint32_t count);
// dst[i] = src1[i] x src2[i]
extern ne10_result_t (*ne10_mul_float)(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                       ne10_uint32_t count);
// dst[i] = src[i] x cst
extern ne10_result_t (*ne10_mulc_float)(ne10_float32_t *dst, ne10_float32_t *src, const ne10_float32_t cst,
                                        ne10_uint32_t count);

ne10_result_t ne10_add_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count);
ne10_result_t ne10_sub_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count);
ne10_result_t ne10_mul_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count);
ne10_result_t ne10_mulc_float_c(ne10_float32_t *dst, ne10_float32_t *src, const ne10_float32_t cst,
                                ne10_uint32_t count);

#if defined(__ARM_NEON)
// NEON variants, built only where the target has NEON. They compute what the
// plain variants compute, except that NEON arithmetic flushes subnormal inputs
// and results to zero.
void ne10_fft_r2c_1d_float32_neon(ne10_fft_cpx_float32_t *fout, ne10_float32_t *fin,
                                  ne10_fft_r2c_cfg_float32_t cfg);
ne10_result_t ne10_add_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count);
ne10_result_t ne10_sub_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count);
ne10_result_t ne10_mul_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count);
ne10_result_t ne10_mulc_float_neon(ne10_float32_t *dst, ne10_float32_t *src, const ne10_float32_t cst,
                                   ne10_uint32_t count);
#endif

} // extern "C"
