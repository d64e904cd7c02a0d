// Accelerate power spectrum: window, pack, transform and square in single
// precision, each step one framework call over the whole array.
//
// The packed transform puts 2 X_(N/2) beside 2 X_0 in element 0, so after
// squaring, bin 0 holds X_0^2 + X_(N/2)^2 where the portable backend keeps the
// DC power alone. Receivers never read bin 0; the difference is kept.
#include "dsp/backend/dsp_backend.h"
#include "dsp/backend/fft_backend_common.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#if !defined(TOVAN_DSP_BACKEND_ACCELERATE)
#error "the Accelerate backend needs TOVAN_DSP_BACKEND_ACCELERATE so every file sees its fft_backend record"
#endif

namespace {

// The arrays in allocation order; the setup is released separately.
void release_arrays(fft_backend *fb)
{
    tracked_free(fb->window);
    tracked_free(fb->frame);
    tracked_free(fb->power);
    tracked_free(fb->split_real);
    tracked_free(fb->split_imag);
}

} // namespace

bool fft_backend_init(fft_backend *fb, uint16_t n)
{
    // Any other size would make log2n describe a different transform (or take
    // the logarithm of 0) and run the packing outside the arrays.
    if (!fft_backend_size_supported(n))
        return false;
    fb->n = n;
    fb->setup = nullptr;
    fb->split_real = nullptr;
    fb->split_imag = nullptr;
    fb->power = nullptr;

    if (!new_float_window_and_frame(n, &fb->window, &fb->frame))
        return false;
    fb->power = tracked_alloc<float>(n / 2);
    fb->log2n = saturate_cast<uint64_t>(math_log2(static_cast<float>(n)));
    if (fb->power != nullptr)
        fb->split_real = tracked_alloc<float>(n / 2);
    if (fb->split_real != nullptr)
        fb->split_imag = tracked_alloc<float>(n / 2);
    if (fb->split_imag != nullptr)
        fb->setup = vDSP_create_fftsetup(fb->log2n, kFFTRadix2);
    if (fb->setup == nullptr) {
        release_arrays(fb);
        return false;
    }
    return true;
}

void fft_backend_free(fft_backend *fb)
{
    release_arrays(fb);
    vDSP_destroy_fftsetup(fb->setup);
}

void fft_backend_normalise(fft_backend *fb, uint32_t n)
{
    const int32_t bins = static_cast<int32_t>(n >> 1);
    const float s = 4.0f / static_cast<float>(static_cast<int32_t>(n));
    vvsqrtf(fb->power, fb->power, &bins);
    vDSP_vsmul(fb->power, 1, &s, fb->power, 1, static_cast<vDSP_Length>(bins));
}

void fft_backend_power_spectrum(fft_backend *fb, uint16_t n, const float *frame)
{
    const uint32_t half = static_cast<uint32_t>(n) >> 1;
    const DSPSplitComplex pair = {fb->split_real, fb->split_imag};
    vDSP_vmul(frame, 1, fb->window, 1, fb->frame, 1, n);
    // Stride 2 counts floats: consecutive sample pairs become the complex
    // values x_2k + i x_2k+1 that the real transform expects.
    vDSP_ctoz(reinterpret_cast<const DSPComplex *>(fb->frame), 2, &pair, 1, half);
    vDSP_fft_zrip(fb->setup, &pair, 1, fb->log2n, kFFTDirection_Forward);
    vDSP_zvmags(&pair, 1, fb->power, 1, half);
    // The packed transform is scaled by 2, its squares by 4.
    const float quarter = 0.25f;
    vDSP_vsmul(fb->power, 1, &quarter, fb->power, 1, half);
}
