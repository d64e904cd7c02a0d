// The stand-in's real-to-complex FFT: configuration, the shared steps and the
// plain C variant.
#include "standins/ne10/ne10_fft_state.h"

#include "runtime/memory_manager.h"

#include <cmath>
#include <numbers>

namespace {

void release(ne10_fft_r2c_state_float32_t *cfg)
{
    tracked_free(cfg->cos_table);
    tracked_free(cfg->sin_table);
    tracked_free(cfg->bitrev);
    tracked_free(cfg->stage_cos);
    tracked_free(cfg->stage_sin);
    tracked_free(cfg);
}

// 2 X_k from A = Z_k and B = Z_(M-k) of the half-size transform, with
// W^k = c - i sn:  2 X_k = (A + conj B) - i W^k (A - conj B).
inline ne10_fft_cpx_float32_t untangle(ne10_fft_cpx_float32_t a, ne10_fft_cpx_float32_t b, float c, float sn)
{
    const float sr = a.r + b.r, si = a.i - b.i;
    const float dr = a.r - b.r, di = a.i + b.i;
    return {(sr + c * di - sn * dr) * 0.5f, (si - c * dr - sn * di) * 0.5f};
}

} // namespace

void ne10_standin_r2c_load(ne10_fft_cpx_float32_t *fout, const ne10_float32_t *fin,
                           const ne10_fft_r2c_state_float32_t *cfg)
{
    const uint32_t m = cfg->nfft / 2;
    for (uint32_t j = 0; j < m; ++j)
        fout[cfg->bitrev[j]] = {fin[2 * j], fin[2 * j + 1]};
}

void ne10_standin_r2c_stage(ne10_fft_cpx_float32_t *fout, const ne10_fft_r2c_state_float32_t *cfg, uint32_t h)
{
    const uint32_t m = cfg->nfft / 2;
    const uint32_t tstep = cfg->nfft / (2 * h); // W_2h^j = W^(j nfft / 2h)
    for (uint32_t b = 0; b < m; b += 2 * h) {
        for (uint32_t j = 0; j < h; ++j) {
            const float wr = cfg->cos_table[j * tstep];
            const float wi = cfg->sin_table[j * tstep];
            ne10_fft_cpx_float32_t &u = fout[b + j];
            ne10_fft_cpx_float32_t &v = fout[b + j + h];
            // The NEON variant does these operations in this order, so the two
            // agree to the bit on normal numbers.
            const float tr = wr * v.r + wi * v.i;
            const float ti = wr * v.i - wi * v.r;
            v.r = u.r - tr;
            v.i = u.i - ti;
            u.r = u.r + tr;
            u.i = u.i + ti;
        }
    }
}

void ne10_standin_r2c_untangle(ne10_fft_cpx_float32_t *fout, const ne10_fft_r2c_state_float32_t *cfg)
{
    const uint32_t m = cfg->nfft / 2;
    const ne10_fft_cpx_float32_t z0 = fout[0];
    for (uint32_t k = 1; k <= m / 2; ++k) {
        const uint32_t mk = m - k;
        const ne10_fft_cpx_float32_t a = fout[k], b = fout[mk];
        fout[k] = untangle(a, b, cfg->cos_table[k], cfg->sin_table[k]);
        fout[mk] = untangle(b, a, cfg->cos_table[mk], cfg->sin_table[mk]);
    }
    fout[0] = {z0.r + z0.i, 0.0f};
    fout[m] = {z0.r - z0.i, 0.0f};
}

extern "C" {

ne10_fft_r2c_cfg_float32_t ne10_fft_alloc_r2c_float32(ne10_int32_t nfft)
{
    if (nfft < 2 || nfft > 32768 || (nfft & (nfft - 1)) != 0)
        return nullptr;
    const uint32_t n = static_cast<uint32_t>(nfft);
    const uint32_t m = n / 2;
    ne10_fft_r2c_state_float32_t *cfg = tracked_alloc<ne10_fft_r2c_state_float32_t>(1);
    if (cfg == nullptr)
        return nullptr;
    cfg->nfft = n;
    cfg->cos_table = tracked_alloc<float>(m);
    cfg->sin_table = cfg->cos_table != nullptr ? tracked_alloc<float>(m) : nullptr;
    cfg->bitrev = cfg->sin_table != nullptr ? tracked_alloc<uint32_t>(m) : nullptr;
    cfg->stage_cos = cfg->bitrev != nullptr ? tracked_alloc<float>(m) : nullptr;
    cfg->stage_sin = cfg->stage_cos != nullptr ? tracked_alloc<float>(m) : nullptr;
    if (cfg->stage_sin == nullptr) {
        release(cfg);
        return nullptr;
    }
    // Angles and their cosines in double, rounded once.
    for (uint32_t k = 0; k < m; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / n;
        cfg->cos_table[k] = static_cast<float>(std::cos(angle));
        cfg->sin_table[k] = static_cast<float>(std::sin(angle));
    }
    for (uint32_t j = 0, r = 0; j < m; ++j) {
        cfg->bitrev[j] = r;
        uint32_t bit = m >> 1;
        while (bit != 0 && (r & bit) != 0) {
            r ^= bit;
            bit >>= 1;
        }
        r |= bit;
    }
    for (uint32_t h = 4; h < m; h *= 2) {
        for (uint32_t j = 0; j < h; ++j) {
            cfg->stage_cos[h - 4 + j] = cfg->cos_table[j * (n / (2 * h))];
            cfg->stage_sin[h - 4 + j] = cfg->sin_table[j * (n / (2 * h))];
        }
    }
    return cfg;
}

void ne10_fft_destroy_r2c_float32(ne10_fft_r2c_cfg_float32_t cfg)
{
    if (cfg != nullptr)
        release(cfg);
}

void ne10_fft_r2c_1d_float32_c(ne10_fft_cpx_float32_t *fout, ne10_float32_t *fin, ne10_fft_r2c_cfg_float32_t cfg)
{
    ne10_standin_r2c_load(fout, fin, cfg);
    for (uint32_t h = 1; h < cfg->nfft / 2; h *= 2)
        ne10_standin_r2c_stage(fout, cfg, h);
    ne10_standin_r2c_untangle(fout, cfg);
}

} // extern "C"
