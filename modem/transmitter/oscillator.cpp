#include "modem/transmitter/oscillator.h"

#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <limits>

namespace {

constexpr uint16_t kTableSize = 4096;
// The single-precision value of 2 pi: the table's last entry is the sine of
// this value, within 2e-7 of 0, not exactly 0.
constexpr float kTwoPi = 6.2831855f;
constexpr float kPeak = 0.99f;

bool is_finite(float x) { return math_abs(x) <= std::numeric_limits<float>::max(); }

void recompute_increment(oscillator *osc)
{
    osc->increment = (static_cast<float>(osc->table_size) * osc->frequency) /
                     static_cast<float>(osc->sample_rate);
}

// Brings an advanced phase back into [0, size). Inside one period either way
// this is the single subtraction or addition of a period; the floor form gives
// the same float as repeated subtraction for larger steps (every term is exact)
// without looping over huge increments. A negative phase just below 0 plus one
// period rounds to exactly `size`, which would make the next read pass the
// table's end: that phase is 0.
float wrap_phase(float phase, float size)
{
    if (phase >= 0.0f && phase < size)
        return phase;
    phase = phase - math_floor(phase / size) * size;
    if (!(phase >= 0.0f && phase < size))
        return 0.0f;
    return phase;
}

} // namespace

oscillator *new_oscillator(uint32_t sample_rate)
{
    if (sample_rate == 0)
        return nullptr;
    oscillator *osc = tracked_alloc<oscillator>(1);
    if (osc == nullptr)
        return nullptr;
    osc->sample_rate = sample_rate;
    osc->table_size = kTableSize;
    osc->table = tracked_alloc<float>(kTableSize + 1u);
    if (osc->table == nullptr) {
        del_oscillator(osc);
        return nullptr;
    }
    for (uint32_t i = 0; i <= kTableSize; ++i) {
        const float x = (static_cast<float>(i) * kTwoPi) / static_cast<float>(kTableSize);
        osc->table[i] = kPeak * math_sin(x);
    }
    return osc;
}

void del_oscillator(oscillator *osc)
{
    if (osc == nullptr)
        return;
    if (osc->table != nullptr)
        tracked_free(osc->table);
    tracked_free(osc);
}

float oscillator_next_sample(oscillator *osc)
{
    if (osc->glide_target > 0.0f && osc->frequency != osc->glide_target) {
        osc->frequency += osc->glide_step;
        if (math_abs(osc->glide_step) > math_abs(osc->frequency - osc->glide_target)) {
            osc->frequency = osc->glide_target;
            osc->glide_target = 0.0f;
            osc->glide_step = 0.0f;
        }
        recompute_increment(osc);
    }
    // An infinite or NaN frequency (or a rate of 0) has no phase to advance.
    if (!is_finite(osc->increment))
        return 0.0f;

    // The phase is never negative, so truncation is its floor.
    const float phase = osc->phase;
    const int32_t i = saturate_cast<int32_t>(phase);
    const float fr = phase - static_cast<float>(i);
    const float value = osc->table[i + 1] * fr + (1.0f - fr) * osc->table[i];
    osc->phase = wrap_phase(phase + osc->increment, static_cast<float>(osc->table_size));
    return value;
}

void oscillator_set_sample_rate(oscillator *osc, uint32_t rate)
{
    osc->sample_rate = rate;
    recompute_increment(osc);
}

void oscillator_set_frequency(oscillator *osc, float hz)
{
    osc->frequency = hz;
    recompute_increment(osc);
}

void oscillator_set_glide_time(oscillator *osc, float seconds) { osc->glide_time = seconds; }

void oscillator_glide_to(oscillator *osc, float hz)
{
    if (osc->frequency == 0.0f || osc->glide_time == 0.0f) {
        osc->frequency = hz;
        recompute_increment(osc);
        osc->glide_target = 0.0f;
        osc->glide_step = 0.0f;
    } else if (osc->glide_time > 0.0f) {
        osc->glide_target = hz;
        osc->glide_step =
            (hz - osc->frequency) / (osc->glide_time * static_cast<float>(osc->sample_rate));
    }
}
