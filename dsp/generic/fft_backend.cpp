// Portable power spectrum: Hann window and transform in double precision over
// rdft, each bin rounded once to float.
#include "dsp/backend/dsp_backend.h"
#include "dsp/backend/fft_backend_common.h"
#include "dsp/generic/rdft.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

bool fft_backend_init(fft_backend *fb, uint16_t n)
{
    if (!fft_backend_size_supported(n))
        return false;
    fb->n = n;
    fb->work = nullptr;
    fb->window = nullptr;
    fb->twiddles = nullptr;
    fb->bitrev = nullptr;
    fb->power = nullptr;

    fb->window = tracked_alloc<double>(n);
    if (fb->window == nullptr)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        fb->window[i] = static_cast<double>(hann_window_value(i, n));
    // Allocation order window, work, power, twiddles, bitrev; the twiddle and
    // bit-reversal arrays must come zeroed, which tells rdft to build its tables.
    fb->work = tracked_alloc<double>(n);
    if (fb->work != nullptr)
        fb->power = tracked_alloc<float>(n / 2);
    if (fb->power != nullptr)
        fb->twiddles = tracked_alloc<double>(n);
    if (fb->twiddles != nullptr)
        fb->bitrev = tracked_alloc<int>(n);
    if (fb->bitrev == nullptr) {
        fft_backend_free(fb);
        return false;
    }
    return true;
}

void fft_backend_free(fft_backend *fb)
{
    tracked_free(fb->window);
    tracked_free(fb->work);
    tracked_free(fb->power);
    tracked_free(fb->twiddles);
    tracked_free(fb->bitrev);
}

void fft_backend_normalise(fft_backend *fb, uint32_t n)
{
    const uint16_t bins = static_cast<uint16_t>(n >> 1);
    if (bins == 0)
        return;
    const float s = 4.0f / static_cast<float>(n);
    for (uint32_t k = 0; k < bins; ++k)
        fb->power[k] = math_sqrt(fb->power[k]) * s;
}

void fft_backend_power_spectrum(fft_backend *fb, uint16_t n, const float *frame)
{
    // The window is applied as the transform reads the frame; bin 0 is the
    // DC power alone, the Nyquist term is not kept.
    rdft_power(n, frame, fb->window, fb->work, fb->bitrev, fb->twiddles, fb->power);
}
