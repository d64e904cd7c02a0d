#include "dsp/spectrum_analyser.h"

#include "dsp/backend/fft_backend_common.h"
#include "runtime/memory_manager.h"

spectrum_analyser *new_spectrum_analyser(uint32_t n)
{
    // Tested on the full width: a size that only fits after truncation to 16
    // bits (65538 -> 2) is a bad size, not a small one.
    if (!fft_backend_size_supported(n))
        return nullptr;
    spectrum_analyser *sa = tracked_alloc<spectrum_analyser>(1);
    if (sa == nullptr)
        return nullptr;
    sa->n = static_cast<uint16_t>(n);
    sa->normalise = false;
    // A failed init has already freed the backend's arrays.
    if (!fft_backend_init(&sa->backend, sa->n)) {
        tracked_free(sa);
        return nullptr;
    }
    return sa;
}

const float *spectrum_analyser_process(spectrum_analyser *sa, const float *frame)
{
    fft_backend_power_spectrum(&sa->backend, sa->n, frame);
    if (sa->normalise)
        fft_backend_normalise(&sa->backend, sa->n);
    return sa->backend.power;
}

void spectrum_analyser_set_normalise(spectrum_analyser *sa, bool on)
{
    sa->normalise = on;
}

void del_spectrum_analyser(spectrum_analyser *sa)
{
    if (sa == nullptr)
        return;
    fft_backend_free(&sa->backend);
    tracked_free(sa);
}
