// NEON variant of the stand-in's real-to-complex FFT: the butterfly stages of
// half-size 4 and up run four complex points at a time; the two smallest
// stages, the load and the untangling step are the shared scalar code.
#if defined(__ARM_NEON)

#include "standins/ne10/ne10_fft_state.h"

#include <arm_neon.h>

namespace {

void stage_neon(ne10_fft_cpx_float32_t *fout, const ne10_fft_r2c_state_float32_t *cfg, uint32_t h)
{
    const uint32_t m = cfg->nfft / 2;
    const float *wr_table = cfg->stage_cos + (h - 4);
    const float *wi_table = cfg->stage_sin + (h - 4);
    for (uint32_t b = 0; b < m; b += 2 * h) {
        for (uint32_t j = 0; j < h; j += 4) {
            float *up = &fout[b + j].r;
            float *vp = &fout[b + j + h].r;
            // val[0] the real parts, val[1] the imaginary parts of 4 points.
            float32x4x2_t u = vld2q_f32(up);
            float32x4x2_t v = vld2q_f32(vp);
            const float32x4_t wr = vld1q_f32(wr_table + j);
            const float32x4_t wi = vld1q_f32(wi_table + j);
            const float32x4_t tr = vaddq_f32(vmulq_f32(wr, v.val[0]), vmulq_f32(wi, v.val[1]));
            const float32x4_t ti = vsubq_f32(vmulq_f32(wr, v.val[1]), vmulq_f32(wi, v.val[0]));
            v.val[0] = vsubq_f32(u.val[0], tr);
            v.val[1] = vsubq_f32(u.val[1], ti);
            u.val[0] = vaddq_f32(u.val[0], tr);
            u.val[1] = vaddq_f32(u.val[1], ti);
            vst2q_f32(vp, v);
            vst2q_f32(up, u);
        }
    }
}

} // namespace

extern "C" void ne10_fft_r2c_1d_float32_neon(ne10_fft_cpx_float32_t *fout, ne10_float32_t *fin,
                                             ne10_fft_r2c_cfg_float32_t cfg)
{
    ne10_standin_r2c_load(fout, fin, cfg);
    const uint32_t m = cfg->nfft / 2;
    for (uint32_t h = 1; h < m; h *= 2) {
        if (h < 4)
            ne10_standin_r2c_stage(fout, cfg, h);
        else
            stage_neon(fout, cfg, h);
    }
    ne10_standin_r2c_untangle(fout, cfg);
}

#endif
