#include "coding/protocol_frame.h"

#include "coding/core_info.h"
#include "coding/frame_rules.h"
#include "coding/symbol_buffer.h"
#include "runtime/random.h"
#include "runtime/utilities.h"

#include <cstring>

namespace {

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

uint8_t protocol_ecc_length(const protocol *p, uint8_t length)
{
    return frame_ecc_length(p->coding, length);
}

uint8_t protocol_symbol_count_for_length(const protocol *p, uint8_t length)
{
    // Exact for lengths min to max; other lengths wrap as 8-bit counts.
    const uint8_t bytes = static_cast<uint8_t>(frame_data_byte_count(p->coding, length));
    const uint8_t data = static_cast<uint8_t>(symbols_for_bytes(bytes, p->coding->bits_per_symbol));
    return static_cast<uint8_t>(protocol_header_symbol_count(p) + data);
}

uint8_t protocol_max_symbol_count(const protocol *p)
{
    return protocol_symbol_count_for_length(p, p->coding->max_length);
}

uint8_t protocol_max_data_symbol_count(const protocol *p)
{
    return static_cast<uint8_t>(protocol_max_symbol_count(p) - protocol_header_symbol_count(p));
}

uint8_t protocol_header_symbol_count(const protocol *p)
{
    return static_cast<uint8_t>(frame_header_symbol_count(p->coding, p->modulation));
}

uint8_t protocol_header_length(const protocol *p)
{
    return protocol_header_symbol_count(p);
}

uint8_t protocol_has_length_symbol(const protocol *p)
{
    return static_cast<uint8_t>(frame_has_length_symbol(p->coding));
}

uint32_t protocol_max_hex_length(const protocol *p)
{
    return 2u * p->coding->max_length;
}

char protocol_slot_char(const protocol *p, uint8_t s)
{
    const uint8_t h = protocol_header_symbol_count(p);
    if (s < h)
        return '1';
    return slot_pattern_char(p->modulation->pattern, static_cast<uint32_t>(s - h));
}

uint8_t protocol_slot_of_symbol(const protocol *p, uint8_t i)
{
    return static_cast<uint8_t>(frame_slot_of_symbol(p->coding, p->modulation, i));
}

float protocol_slot_duration(const protocol *p, uint8_t s)
{
    const modulation_params *m = p->modulation;
    if (s < protocol_header_symbol_count(p))
        return m->frontdoor_duration;
    const char c = protocol_slot_char(p, s);
    switch (c) {
    case '1':
    case '2':
    case '3':
    case '4':
        return static_cast<float>(c - '0') * m->symbol_duration;
    case ' ':
        return m->symbol_duration;
    case '*':
    case 'a':
    case 'b':
    case 'c':
        return m->symbol_duration + m->symbol_duration;
    default:
        return 0.0f;
    }
}

float protocol_slot_gap(const protocol *p, uint8_t s)
{
    return s < protocol_header_symbol_count(p) ? p->modulation->frontdoor_gap : p->modulation->symbol_gap;
}

float protocol_slots_duration(const protocol *p, uint8_t n)
{
    // A running sum, never a product: 15 x 0.0872f is not the sum of 15 slots.
    float total = 0.0f;
    for (uint32_t s = 0; s < n; ++s)
        total += protocol_slot_duration(p, static_cast<uint8_t>(s));
    return total;
}

float protocol_time_before_symbol(const protocol *p, uint8_t i)
{
    return protocol_slots_duration(p, protocol_slot_of_symbol(p, i));
}

float protocol_symbol_slot_duration(const protocol *p, uint8_t i)
{
    return protocol_slot_duration(p, protocol_slot_of_symbol(p, i));
}

float protocol_duration_for_length(const protocol *p, uint8_t length)
{
    return protocol_slots_duration(p, protocol_slot_of_symbol(p, protocol_symbol_count_for_length(p, length)));
}

uint32_t protocol_check_hex_payload(const protocol *p, const char *text)
{
    if (text == nullptr || text[0] == '\0')
        return TOVAN_CORE_EMPTY_MESSAGE;
    const size_t length = std::strlen(text);
    if (length % 2 != 0)
        return TOVAN_CORE_INVALID_IDENTIFIER;
    const size_t bytes = length / 2;
    if (bytes < p->coding->min_length || bytes > p->coding->max_length)
        return TOVAN_CORE_INVALID_MESSAGE_LENGTH;
    for (size_t i = 0; i < length; ++i)
        if (!is_hex_digit(text[i]))
            return TOVAN_CORE_UNKNOWN_SYMBOLS;
    return TOVAN_CORE_OK;
}

void protocol_corrupt_symbols(const protocol *p, uint64_t *symbols, uint8_t n, uint8_t count)
{
    if (count > n)
        count = n;
    uint8_t positions[255];
    for (uint32_t i = 0; i < n; ++i)
        positions[i] = static_cast<uint8_t>(i);
    shuffle_bytes(positions, n);
    // At least 2 symbol values (a front door needs a whole byte), so a
    // different value is always drawn in the end.
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t old = symbols[positions[i]];
        uint64_t v = old;
        while (v == old)
            v = random_range(0, p->coding->symbols);
        symbols[positions[i]] = v;
    }
}

uint8_t protocol_crc_length(const protocol *p)
{
    return p->coding->crc_length;
}

uint8_t protocol_min_ecc_length(const protocol *p)
{
    return p->coding->min_parity;
}

uint8_t protocol_max_ecc_length(const protocol *p)
{
    return p->coding->max_parity;
}

uint8_t protocol_tones_per_symbol(const protocol *p)
{
    return p->coding->tones_per_symbol;
}

float protocol_base_frequency(const protocol *p)
{
    return p->modulation->base_frequency;
}

float protocol_tone_spacing(const protocol *p)
{
    return p->modulation->tone_spacing;
}

uint8_t protocol_channel_count(const protocol *p)
{
    return p->modulation->channels;
}

float protocol_channel_gap(const protocol *p)
{
    return p->modulation->channel_gap;
}

float protocol_frontdoor_duration(const protocol *p)
{
    return p->modulation->frontdoor_duration;
}

float protocol_symbol_duration(const protocol *p)
{
    return p->modulation->symbol_duration;
}

float protocol_attack(const protocol *p)
{
    return p->modulation->attack;
}

float protocol_release(const protocol *p)
{
    return p->modulation->release;
}

float protocol_glide_time(const protocol *p)
{
    return p->modulation->glide_time;
}

float protocol_frontdoor_gap(const protocol *p)
{
    return p->modulation->frontdoor_gap;
}

float protocol_symbol_gap(const protocol *p)
{
    return p->modulation->symbol_gap;
}

uint8_t protocol_frontdoor_length(const protocol *p)
{
    return p->modulation->frontdoor_count;
}

const uint64_t *protocol_frontdoor_symbols(const protocol *p)
{
    return p->modulation->frontdoor;
}
