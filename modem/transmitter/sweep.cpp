#include "modem/transmitter/sweep.h"

#include "runtime/convert.h"
#include "runtime/memory_manager.h"

namespace {

uint32_t seconds_to_samples(uint32_t rate, float seconds)
{
    return saturate_cast<uint32_t>(static_cast<float>(rate) * seconds);
}

// A counter past the new period would drive the falling part of the envelope
// below 0 (and the samples outside [-1, 1]) until it wrapped.
void bound_counter(sweep *sw)
{
    const uint64_t period = static_cast<uint64_t>(sw->attack_samples) + sw->decay_samples;
    sw->counter = period == 0 ? 0 : static_cast<uint32_t>(sw->counter % period);
}

} // namespace

sweep *new_sweep(uint32_t sample_rate, oscillator *osc)
{
    if (sample_rate == 0 || osc == nullptr)
        return nullptr;
    sweep *sw = tracked_alloc<sweep>(1);
    if (sw == nullptr)
        return nullptr;
    sw->sample_rate = sample_rate;
    sw->oscillator = osc;
    return sw;
}

void del_sweep(sweep *sw)
{
    if (sw != nullptr)
        tracked_free(sw);
}

void sweep_set_start_frequency(sweep *sw, float hz) { sw->start_frequency = hz; }
void sweep_set_end_frequency(sweep *sw, float hz) { sw->end_frequency = hz; }
void sweep_set_glide_time(sweep *sw, float seconds) { sw->glide_time = seconds; }

void sweep_set_attack(sweep *sw, float seconds)
{
    sw->attack = seconds;
    sw->attack_samples = seconds_to_samples(sw->sample_rate, seconds);
    bound_counter(sw);
}

void sweep_set_decay(sweep *sw, float seconds)
{
    sw->decay = seconds;
    sw->decay_samples = seconds_to_samples(sw->sample_rate, seconds);
    bound_counter(sw);
}

void sweep_set_sample_rate(sweep *sw, uint32_t rate)
{
    sw->sample_rate = rate;
    oscillator_set_sample_rate(sw->oscillator, rate);
    sw->attack_samples = seconds_to_samples(rate, sw->attack);
    sw->decay_samples = seconds_to_samples(rate, sw->decay);
    bound_counter(sw);
}

void sweep_start(sweep *sw)
{
    sw->counter = 0;
    oscillator_set_frequency(sw->oscillator, sw->start_frequency);
    if (sw->end_frequency != 0.0f) {
        oscillator_set_glide_time(sw->oscillator, sw->glide_time);
        oscillator_glide_to(sw->oscillator, sw->end_frequency);
    }
}

float sweep_next_sample(sweep *sw)
{
    const uint32_t a = sw->attack_samples;
    const uint32_t d = sw->decay_samples;
    float e = 1.0f;
    if (a != 0 || d != 0) {
        const uint32_t c = sw->counter;
        // c < a + d always holds, so the falling branch never sees d == 0.
        if (c < a)
            e = static_cast<float>(c) / static_cast<float>(a);
        else
            e = 1.0f - (static_cast<float>(c) - static_cast<float>(a)) / static_cast<float>(d);
        sw->counter = static_cast<uint32_t>((static_cast<uint64_t>(c) + 1) % (static_cast<uint64_t>(a) + d));
    }
    return oscillator_next_sample(sw->oscillator) * e;
}
