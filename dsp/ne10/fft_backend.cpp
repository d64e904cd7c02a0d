// Ne10 power spectrum: window and transform through the library's dispatched
// functions (NEON where the processor has it), squares in single precision.
//
// The library's vector functions work only after its initialisation, which
// runs here on every init: no vector operation of this build may run before
// the first successful fft_backend_init of the process.
#include "dsp/backend/dsp_backend.h"
#include "dsp/backend/fft_backend_common.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#if !defined(TOVAN_DSP_BACKEND_NE10)
#error "the Ne10 backend needs TOVAN_DSP_BACKEND_NE10 so every file sees its fft_backend record"
#endif

namespace {

void release_arrays(fft_backend *fb)
{
    tracked_free(fb->window);
    tracked_free(fb->frame);
    tracked_free(fb->spectrum);
    tracked_free(fb->power);
}

} // namespace

bool fft_backend_init(fft_backend *fb, uint16_t n)
{
    // The transform exists only for these sizes; others would run the
    // windowing and the squares outside the arrays.
    if (!fft_backend_size_supported(n))
        return false;
    fb->n = n;
    fb->config = nullptr;
    fb->spectrum = nullptr;
    fb->power = nullptr;

    if (!new_float_window_and_frame(n, &fb->window, &fb->frame))
        return false;
    fb->spectrum = tracked_alloc<ne10_fft_cpx_float32_t>(n / 2 + 1);
    if (fb->spectrum != nullptr)
        fb->power = tracked_alloc<float>(n / 2 + 1);
    if (fb->power != nullptr && ne10_init() == NE10_OK)
        fb->config = ne10_fft_alloc_r2c_float32(n);
    if (fb->config == nullptr) {
        release_arrays(fb);
        return false;
    }
    return true;
}

void fft_backend_free(fft_backend *fb)
{
    release_arrays(fb);
    ne10_fft_destroy_r2c_float32(fb->config);
}

void fft_backend_normalise(fft_backend *fb, uint32_t n)
{
    const float s = 4.0f / static_cast<float>(static_cast<int32_t>(n));
    const uint32_t bins = (n >> 1) + 1;
    for (uint32_t k = 0; k < bins; ++k)
        fb->power[k] = math_sqrt(fb->power[k]);
    ne10_mulc_float(fb->power, fb->power, s, bins);
}

void fft_backend_power_spectrum(fft_backend *fb, uint16_t n, const float *frame)
{
    // The library's sources are not const; the frame is only read.
    ne10_mul_float(fb->frame, const_cast<float *>(frame), fb->window, n);
    ne10_fft_r2c_1d_float32(fb->spectrum, fb->frame, fb->config);
    const uint16_t half = static_cast<uint16_t>(n / 2);
    for (uint16_t k = 0; k <= half; ++k) {
        const ne10_fft_cpx_float32_t x = fb->spectrum[k];
        fb->power[k] = x.r * x.r + x.i * x.i;
    }
}
