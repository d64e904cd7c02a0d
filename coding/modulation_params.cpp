#include "coding/modulation_params.h"

#include "coding/param_body.h"
#include "runtime/memory_manager.h"

#include <cstring>

namespace {

// The pattern text rides the body behind a one-byte length.
constexpr size_t kMaxPatternLength = 255;

bool pattern_acceptable(const char *text)
{
    if (text == nullptr)
        return true; // "1"
    const size_t length = std::strlen(text);
    if (length > kMaxPatternLength)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (slot_pattern_is_data_char(text[i]))
            return true;
    return false;
}

} // namespace

bool modulation_params_valid(uint8_t channels, uint8_t frontdoor_count, float base_frequency,
                             float tone_spacing, float channel_gap, float frontdoor_duration,
                             float symbol_duration, float attack, float release, float glide_time,
                             float frontdoor_gap, float symbol_gap)
{
    // Each test is written so that NaN fails it.
    if (!(base_frequency > 20.0f) || !(attack >= 0.0f))
        return false;
    // Spacing and gap may take any number, but NaN equals nothing: a protocol
    // holding one would not match its own messages, and every send would be
    // refused as invalid.
    if (!(tone_spacing == tone_spacing) || !(channel_gap == channel_gap))
        return false;
    if (channels < 1 || channels > 8)
        return false;
    if (!(frontdoor_duration > 0.0f) || !(symbol_duration > 0.0f))
        return false;
    const float sounding = symbol_duration - symbol_gap;
    if (!(sounding >= attack) || !(release >= 0.0f) || !(sounding >= release))
        return false;
    if (!(symbol_duration >= (attack + release) + symbol_gap))
        return false;
    if (!(glide_time >= 0.0f) || !(symbol_duration >= glide_time))
        return false;
    if (!(frontdoor_gap >= 0.0f) || !(frontdoor_duration >= frontdoor_gap))
        return false;
    if (frontdoor_count < 1)
        return false;
    return symbol_duration >= symbol_gap && symbol_gap >= 0.0f;
}

modulation_params *new_modulation_params(uint8_t channels, const uint64_t *frontdoor,
                                         uint8_t frontdoor_count, const char *pattern,
                                         float base_frequency, float tone_spacing, float channel_gap,
                                         float frontdoor_duration, float symbol_duration, float attack,
                                         float release, float glide_time, float frontdoor_gap,
                                         float symbol_gap)
{
    if (!modulation_params_valid(channels, frontdoor_count, base_frequency, tone_spacing, channel_gap,
                                 frontdoor_duration, symbol_duration, attack, release, glide_time,
                                 frontdoor_gap, symbol_gap))
        return nullptr;
    // A pattern without a data slot could never carry a symbol, and one of
    // more than 255 characters could not be written back.
    if (frontdoor == nullptr || !pattern_acceptable(pattern))
        return nullptr;
    modulation_params *m = tracked_alloc<modulation_params>(1);
    if (m == nullptr)
        return nullptr;
    m->base_frequency = base_frequency;
    m->tone_spacing = tone_spacing;
    m->channels = channels;
    m->channel_gap = channel_gap;
    m->frontdoor_duration = frontdoor_duration;
    m->symbol_duration = symbol_duration;
    m->attack = attack;
    m->release = release;
    m->glide_time = glide_time;
    m->frontdoor_gap = frontdoor_gap;
    m->symbol_gap = symbol_gap;
    m->frontdoor_count = frontdoor_count;
    m->frontdoor = tracked_alloc<uint64_t>(frontdoor_count);
    if (m->frontdoor == nullptr) {
        del_modulation_params(m);
        return nullptr;
    }
    std::memcpy(m->frontdoor, frontdoor, sizeof(uint64_t) * frontdoor_count);
    m->pattern = new_slot_pattern(pattern);
    if (m->pattern == nullptr) {
        del_modulation_params(m);
        return nullptr;
    }
    return m;
}

modulation_params *new_default_modulation_params()
{
    return new_modulation_params(1, TOVAN_DEFAULT_FRONTDOOR, 2, nullptr, 1760.0f, 0.0f, 0.0f, 0.0872f,
                                 0.0872f, 0.015f, 0.015f, 0.005f, 0.0f, 0.0f);
}

void del_modulation_params(modulation_params *params)
{
    if (params == nullptr)
        return;
    tracked_free(params->frontdoor);
    del_slot_pattern(params->pattern);
    params->pattern = nullptr;
    tracked_free(params);
}

bool modulation_params_equal(const modulation_params *a, const modulation_params *b)
{
    return a->base_frequency == b->base_frequency && a->tone_spacing == b->tone_spacing &&
           a->channels == b->channels && a->channel_gap == b->channel_gap &&
           a->frontdoor_duration == b->frontdoor_duration && a->symbol_duration == b->symbol_duration &&
           a->attack == b->attack && a->release == b->release && a->glide_time == b->glide_time &&
           a->frontdoor_gap == b->frontdoor_gap && a->symbol_gap == b->symbol_gap &&
           a->frontdoor_count == b->frontdoor_count &&
           std::memcmp(a->frontdoor, b->frontdoor, sizeof(uint64_t) * a->frontdoor_count) == 0;
}

modulation_params *modulation_params_deserialise(const uint8_t *body, uint64_t length,
                                                 uint64_t *position, uint8_t format)
{
    if (!body_format_supported(format))
        return nullptr;
    float base = 0.0f;
    float spacing = 0.0f;
    float channel_gap = 0.0f;
    uint8_t channels = 0;
    if (format == 5) {
        // Whole hertz; every u16 has an exact single-precision form.
        uint16_t base_hz = 0;
        uint16_t spacing_hz = 0;
        if (!body_read_u16(body, length, position, &base_hz) ||
            !body_read_u16(body, length, position, &spacing_hz) ||
            !body_read_u8(body, length, position, &channels))
            return nullptr;
        base = static_cast<float>(base_hz);
        spacing = static_cast<float>(spacing_hz);
    } else if (!body_read_f32(body, length, position, &base) ||
               !body_read_f32(body, length, position, &spacing) ||
               !body_read_u8(body, length, position, &channels) ||
               !body_read_f32(body, length, position, &channel_gap)) {
        return nullptr;
    }
    float times[7] = {}; // frontdoor_duration .. symbol_gap, in body order
    for (float &t : times)
        if (!body_read_f32(body, length, position, &t))
            return nullptr;
    uint8_t count = 0;
    uint64_t frontdoor[255] = {};
    if (!body_read_u8(body, length, position, &count))
        return nullptr;
    for (uint32_t i = 0; i < count; ++i)
        if (!body_read_u64(body, length, position, &frontdoor[i]))
            return nullptr;
    uint8_t text_length = 0;
    char text[256] = {}; // a zero inside the text ends it early
    if (!body_read_u8(body, length, position, &text_length) ||
        !body_read_bytes(body, length, position, reinterpret_cast<uint8_t *>(text), text_length))
        return nullptr;
    return new_modulation_params(channels, frontdoor, count, text, base, spacing, channel_gap, times[0],
                                 times[1], times[2], times[3], times[4], times[5], times[6]);
}

void modulation_params_serialise(const modulation_params *params, uint8_t *out, uint64_t *position)
{
    body_write_f32(out, position, params->base_frequency);
    body_write_f32(out, position, params->tone_spacing);
    body_write_u8(out, position, params->channels);
    body_write_f32(out, position, params->channel_gap);
    body_write_f32(out, position, params->frontdoor_duration);
    body_write_f32(out, position, params->symbol_duration);
    body_write_f32(out, position, params->attack);
    body_write_f32(out, position, params->release);
    body_write_f32(out, position, params->glide_time);
    body_write_f32(out, position, params->frontdoor_gap);
    body_write_f32(out, position, params->symbol_gap);
    body_write_u8(out, position, params->frontdoor_count);
    for (uint32_t i = 0; i < params->frontdoor_count; ++i)
        body_write_u64(out, position, params->frontdoor[i]);
    // The constructor keeps the text within 255 characters.
    const uint32_t text_length = params->pattern->length;
    body_write_u8(out, position, static_cast<uint8_t>(text_length));
    body_write_bytes(out, position, reinterpret_cast<const uint8_t *>(params->pattern->text), text_length);
}

float modulation_params_get_base_frequency(const modulation_params *params)
{
    return params->base_frequency;
}

float modulation_params_get_tone_spacing(const modulation_params *params)
{
    return params->tone_spacing;
}

uint8_t modulation_params_get_channels(const modulation_params *params)
{
    return params->channels;
}

float modulation_params_get_channel_gap(const modulation_params *params)
{
    return params->channel_gap;
}

float modulation_params_get_frontdoor_duration(const modulation_params *params)
{
    return params->frontdoor_duration;
}

float modulation_params_get_symbol_duration(const modulation_params *params)
{
    return params->symbol_duration;
}

float modulation_params_get_attack(const modulation_params *params)
{
    return params->attack;
}

float modulation_params_get_release(const modulation_params *params)
{
    return params->release;
}

float modulation_params_get_glide_time(const modulation_params *params)
{
    return params->glide_time;
}

float modulation_params_get_frontdoor_gap(const modulation_params *params)
{
    return params->frontdoor_gap;
}

float modulation_params_get_symbol_gap(const modulation_params *params)
{
    return params->symbol_gap;
}

uint8_t modulation_params_get_frontdoor_count(const modulation_params *params)
{
    return params->frontdoor_count;
}

const uint64_t *modulation_params_get_frontdoor(const modulation_params *params)
{
    return params->frontdoor;
}

const slot_pattern *modulation_params_get_pattern(const modulation_params *params)
{
    return params->pattern;
}
