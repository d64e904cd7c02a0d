// The stand-in's FFT setup, split-complex helpers and packed real FFT: an
// iterative radix-2 complex FFT of N/2 points over the split arrays, then the
// step that untangles the N real samples' spectrum from it.
#include "standins/accelerate/accelerate_standin.h"

#include "runtime/memory_manager.h"

#include <cmath>
#include <cstdint>
#include <numbers>

// Twiddles for the largest transform Nmax = 2^log2n: entry k is
// cos/sin(2 pi k / Nmax) for k < Nmax/2, so W_N^k = e^(-2 pi i k / N) of any
// N <= Nmax is entry k Nmax/N.
struct accelerate_standin_fft_setup {
    uint32_t log2n;
    float *cos_table;
    float *sin_table;
};

namespace {

constexpr vDSP_Length kLargestLog2n = 15;

void release(accelerate_standin_fft_setup *s)
{
    tracked_free(s->cos_table);
    tracked_free(s->sin_table);
    tracked_free(s);
}

// In-place complex FFT of m points (a power of two) over split arrays,
// decimation in time after a bit-reversal permutation. `step` is the table
// stride of W_m^1 for this m.
void complex_fft(const accelerate_standin_fft_setup *s, float *re, float *im, uint32_t m, uint32_t step)
{
    for (uint32_t i = 0, j = 0; i < m; ++i) {
        if (i < j) {
            const float tr = re[i], ti = im[i];
            re[i] = re[j];
            im[i] = im[j];
            re[j] = tr;
            im[j] = ti;
        }
        uint32_t bit = m >> 1;
        while (bit != 0 && (j & bit) != 0) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }
    for (uint32_t h = 1; h < m; h *= 2) {
        const uint32_t tstep = step * (m / (2 * h));
        for (uint32_t b = 0; b < m; b += 2 * h) {
            for (uint32_t j = 0; j < h; ++j) {
                const float wr = s->cos_table[j * tstep];
                const float wi = s->sin_table[j * tstep];
                float *ur = re + b + j, *ui = im + b + j;
                float *vr = ur + h, *vi = ui + h;
                // (wr - i wi) times v
                const float tr = wr * *vr + wi * *vi;
                const float ti = wr * *vi - wi * *vr;
                *vr = *ur - tr;
                *vi = *ui - ti;
                *ur += tr;
                *ui += ti;
            }
        }
    }
}

// 2 X_k from A = Z_k and B = Z_(M-k) of the half-size transform, with
// W_N^k = c - i sn:  2 X_k = (A + conj B) - i W (A - conj B).
inline void untangle(float ar, float ai, float br, float bi, float c, float sn, float *xr, float *xi)
{
    const float sr = ar + br, si = ai - bi;
    const float dr = ar - br, di = ai + bi;
    *xr = sr + c * di - sn * dr;
    *xi = si - c * dr - sn * di;
}

} // namespace

extern "C" {

FFTSetup vDSP_create_fftsetup(vDSP_Length log2n, FFTRadix radix)
{
    if (radix != kFFTRadix2 || log2n < 1 || log2n > kLargestLog2n)
        return nullptr;
    accelerate_standin_fft_setup *s = tracked_alloc<accelerate_standin_fft_setup>(1);
    if (s == nullptr)
        return nullptr;
    const uint32_t n = 1u << log2n;
    s->log2n = static_cast<uint32_t>(log2n);
    s->cos_table = tracked_alloc<float>(n / 2);
    s->sin_table = s->cos_table != nullptr ? tracked_alloc<float>(n / 2) : nullptr;
    if (s->sin_table == nullptr) {
        release(s);
        return nullptr;
    }
    // Angles and their cosines in double, rounded once: the table is as
    // accurate as a float table can be.
    for (uint32_t k = 0; k < n / 2; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / n;
        s->cos_table[k] = static_cast<float>(std::cos(angle));
        s->sin_table[k] = static_cast<float>(std::sin(angle));
    }
    return s;
}

void vDSP_destroy_fftsetup(FFTSetup setup)
{
    if (setup != nullptr)
        release(setup);
}

void vDSP_ctoz(const DSPComplex *C, vDSP_Stride IC, const DSPSplitComplex *Z, vDSP_Stride IZ, vDSP_Length n)
{
    const float *in = reinterpret_cast<const float *>(C);
    for (vDSP_Length k = 0; k < n; ++k) {
        const vDSP_Stride i = static_cast<vDSP_Stride>(k);
        Z->realp[i * IZ] = in[i * IC];
        Z->imagp[i * IZ] = in[i * IC + 1];
    }
}

void vDSP_fft_zrip(FFTSetup setup, const DSPSplitComplex *C, vDSP_Stride IC, vDSP_Length log2n,
                   FFTDirection direction)
{
    if (setup == nullptr || IC != 1 || direction != kFFTDirection_Forward || log2n < 1 || log2n > setup->log2n)
        return;
    const uint32_t m = 1u << (log2n - 1); // complex points
    const uint32_t stride = 1u << (setup->log2n - log2n); // table step of W_N^1
    float *re = C->realp;
    float *im = C->imagp;
    complex_fft(setup, re, im, m, 2 * stride);

    const float z0r = re[0], z0i = im[0];
    for (uint32_t k = 1; k <= m / 2; ++k) {
        const uint32_t mk = m - k;
        const float ar = re[k], ai = im[k], br = re[mk], bi = im[mk];
        untangle(ar, ai, br, bi, setup->cos_table[k * stride], setup->sin_table[k * stride], &re[k], &im[k]);
        untangle(br, bi, ar, ai, setup->cos_table[mk * stride], setup->sin_table[mk * stride], &re[mk], &im[mk]);
    }
    // X_0 and X_(N/2) are real; they share element 0.
    re[0] = 2.0f * (z0r + z0i);
    im[0] = 2.0f * (z0r - z0i);
}

void vDSP_zvmags(const DSPSplitComplex *A, vDSP_Stride IA, float *C, vDSP_Stride IC, vDSP_Length n)
{
    for (vDSP_Length k = 0; k < n; ++k) {
        const vDSP_Stride i = static_cast<vDSP_Stride>(k);
        const float r = A->realp[i * IA];
        const float q = A->imagp[i * IA];
        C[i * IC] = r * r + q * q;
    }
}

} // extern "C"
