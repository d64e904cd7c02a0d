#include "coding/frame_rules.h"

#include "coding/bit_array.h"
#include "runtime/convert.h"

uint8_t frame_ecc_length(const coding_params *coding, uint8_t length)
{
    if (coding->min_length == coding->max_length)
        return coding->min_parity;
    // Single precision on purpose: peers derive the same parity only with
    // these roundings (a double product or integer division differs).
    const float f = (static_cast<float>(length) - static_cast<float>(coding->min_length)) /
                    (static_cast<float>(coding->max_length) - static_cast<float>(coding->min_length));
    const float d = static_cast<float>(static_cast<uint8_t>(coding->max_parity - coding->min_parity));
    const int32_t t = saturate_cast<int32_t>(d * f);
    return static_cast<uint8_t>(coding->min_parity + t);
}

uint32_t frame_has_length_symbol(const coding_params *coding)
{
    return coding->min_length != coding->max_length ? 1u : 0u;
}

uint32_t frame_header_symbol_count(const coding_params *coding, const modulation_params *modulation)
{
    return modulation->frontdoor_count + frame_has_length_symbol(coding);
}

uint32_t frame_data_byte_count(const coding_params *coding, uint8_t length)
{
    return static_cast<uint32_t>(length) + coding->crc_length + frame_ecc_length(coding, length);
}

uint32_t frame_data_symbol_count(const coding_params *coding, uint8_t length)
{
    const uint32_t b = coding->bits_per_symbol;
    if (b == 0)
        return 0;
    return (8u * frame_data_byte_count(coding, length) + b - 1u) / b;
}

uint64_t frame_slot_of_symbol(const coding_params *coding, const modulation_params *modulation,
                              uint32_t i)
{
    const uint32_t h = frame_header_symbol_count(coding, modulation);
    if (i < h)
        return i;
    return h + slot_pattern_data_slot_position(modulation->pattern, i - h);
}

bool frame_limits_ok(const coding_params *coding, const modulation_params *modulation)
{
    const uint32_t h = frame_header_symbol_count(coding, modulation);
    if (h > FRAME_MAX_SYMBOLS)
        return false;
    // Every length, not only the longest: with min_parity above max_parity the
    // parity rule wraps and a middle length can give the largest frame.
    for (uint32_t length = coding->min_length; length <= coding->max_length; ++length) {
        const uint8_t l = static_cast<uint8_t>(length);
        if (frame_data_byte_count(coding, l) > FRAME_MAX_DATA_BYTES)
            return false;
        const uint32_t s = frame_data_symbol_count(coding, l);
        if (h + s > FRAME_MAX_SYMBOLS || s * coding->bits_per_symbol > BIT_ARRAY_MAX_BITS)
            return false;
        if (frame_slot_of_symbol(coding, modulation, h + s) > FRAME_MAX_SLOT)
            return false;
    }
    return true;
}
