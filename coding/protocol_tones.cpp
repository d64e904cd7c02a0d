#include "coding/protocol_tones.h"

#include "coding/combination_table.h"
#include "coding/signal_maths.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"

namespace {

// First tone of a channel's band on the linear scale.
float channel_base(const modulation_params *m, uint16_t tones, uint8_t channel)
{
    return m->base_frequency +
           static_cast<float>(channel) * (m->channel_gap + static_cast<float>(tones) * m->tone_spacing);
}

} // namespace

float protocol_channel_width(const protocol *p)
{
    return static_cast<float>(p->coding->tones) * p->modulation->tone_spacing;
}

float protocol_tone_frequency(const protocol *p, float tone, uint8_t channel)
{
    const modulation_params *m = p->modulation;
    if (m->tone_spacing == 0.0f)
        return tone_frequency(tone, m->base_frequency, m->tone_spacing);
    return tone * m->tone_spacing + channel_base(m, p->coding->tones, channel);
}

float tone_index(float hz, float base, float spacing)
{
    if (hz < 10.0f)
        return 0.0f;
    if (spacing == 0.0f)
        return (math_log(hz / base) * 12.0f) / 0.6931472f;
    return (hz - base) / spacing;
}

float protocol_tone_index(const protocol *p, float hz, uint8_t channel)
{
    const modulation_params *m = p->modulation;
    if (m->tone_spacing == 0.0f)
        return tone_index(hz, m->base_frequency, 0.0f);
    return tone_index(hz, channel_base(m, p->coding->tones, channel), m->tone_spacing);
}

uint64_t protocol_symbol_from_tones(const protocol *p, uint8_t *tones)
{
    return combination_rank(p->coding->table, tones);
}

uint8_t protocol_tones_from_symbol(const protocol *p, uint64_t symbol, uint8_t *out)
{
    return combination_unrank(p->coding->table, symbol, out);
}

bool protocol_sample_rate_ok(const protocol *p, uint32_t sample_rate, uint32_t margin)
{
    const float f = protocol_tone_frequency(p, static_cast<float>(p->coding->tones - 1),
                                            static_cast<uint8_t>(p->modulation->channels - 1));
    return static_cast<float>(sample_rate) >= static_cast<float>(margin) + (f + f);
}

uint32_t protocol_low_bin(const protocol *p, uint32_t sample_rate, uint32_t fft_size)
{
    const float f = protocol_tone_frequency(p, 0.0f, 0);
    const float x =
        static_cast<float>(static_cast<int32_t>(fft_size)) * (f / static_cast<float>(sample_rate)) - 1.0f;
    if (x < 0.0f)
        return 0;
    return saturate_cast<uint32_t>(x);
}

uint32_t protocol_high_bin(const protocol *p, uint32_t sample_rate, uint32_t fft_size)
{
    const float f = protocol_tone_frequency(p, static_cast<float>(p->coding->tones),
                                            static_cast<uint8_t>(p->modulation->channels - 1));
    const float x = static_cast<float>(fft_size) * (f / static_cast<float>(sample_rate)) + 1.0f;
    const uint32_t half = fft_size / 2;
    if (half == 0)
        return 0;
    if (x >= static_cast<float>(half))
        return half - 1;
    return saturate_cast<uint32_t>(x);
}
