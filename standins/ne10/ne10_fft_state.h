// Inside the stand-in's real-to-complex FFT: the configuration record and the
// steps that the plain and NEON variants share.
//
// The transform of nfft reals is an nfft/2-point complex FFT of the pairs
// z_j = fin[2j] + i fin[2j+1] (decimation in time after a bit-reversal copy),
// followed by the step that untangles the real signal's spectrum from it.
#pragma once

#include "standins/ne10/ne10.h"

#include <cstdint>

struct ne10_fft_r2c_state_float32_t {
    uint32_t nfft;     // real points, a power of two from 2 to 32768
    float *cos_table;  // nfft/2: cos(2 pi k / nfft), so W^k = cos - i sin
    float *sin_table;  // nfft/2: sin(2 pi k / nfft)
    uint32_t *bitrev;  // nfft/2: bit-reversed position of each complex point
    // nfft/2: the twiddles of each butterfly stage of half-size h >= 4 laid out
    // contiguously for vector loads, stage h starting at offset h - 4.
    float *stage_cos;
    float *stage_sin;
};

// fout[bitrev[j]] = z_j for j < nfft/2.
void ne10_standin_r2c_load(ne10_fft_cpx_float32_t *fout, const ne10_float32_t *fin,
                           const ne10_fft_r2c_state_float32_t *cfg);
// One radix-2 butterfly stage of half-size h over fout[0 .. nfft/2 - 1].
void ne10_standin_r2c_stage(ne10_fft_cpx_float32_t *fout, const ne10_fft_r2c_state_float32_t *cfg, uint32_t h);
// From the complex FFT in fout[0 .. nfft/2 - 1] to X_0 .. X_(nfft/2) in
// fout[0 .. nfft/2], in place.
void ne10_standin_r2c_untangle(ne10_fft_cpx_float32_t *fout, const ne10_fft_r2c_state_float32_t *cfg);
