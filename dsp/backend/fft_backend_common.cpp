#include "dsp/backend/fft_backend_common.h"

#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

bool fft_backend_size_supported(uint32_t n)
{
    return n >= 2 && n <= 32768 && (n & (n - 1)) == 0;
}

float hann_window_value(uint32_t i, uint32_t n)
{
    const float c = math_cos((static_cast<float>(i) * 6.2831855f) / static_cast<float>(n - 1));
    return (1.0f - c) * 0.5f;
}

bool new_float_window_and_frame(uint32_t n, float **window, float **frame)
{
    *frame = nullptr;
    *window = tracked_alloc<float>(n);
    if (*window == nullptr)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        (*window)[i] = hann_window_value(i, n);
    *frame = tracked_alloc<float>(n);
    if (*frame == nullptr) {
        tracked_free(*window);
        *window = nullptr;
        return false;
    }
    return true;
}
