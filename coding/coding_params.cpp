#include "coding/coding_params.h"

#include "coding/param_body.h"
#include "coding/symbol_buffer.h"
#include "runtime/memory_manager.h"

coding_params *new_coding_params(uint8_t tone_bits, uint8_t tones_per_symbol, uint8_t min_length,
                                 uint8_t max_length, uint8_t crc_length, uint8_t min_parity,
                                 uint8_t max_parity)
{
    if (!coding_params_valid(tone_bits, tones_per_symbol, min_length, max_length, crc_length, max_parity))
        return nullptr;
    coding_params *p = tracked_alloc<coding_params>(1);
    if (p == nullptr)
        return nullptr;
    p->tone_bits = tone_bits;
    p->tones = static_cast<uint16_t>(1u << tone_bits);
    p->tones_per_symbol = tones_per_symbol;
    p->min_length = min_length;
    p->max_length = max_length;
    p->crc_length = crc_length;
    p->min_parity = min_parity;
    p->max_parity = max_parity;
    p->table = new_combination_table(p->tones, tones_per_symbol);
    if (p->table == nullptr) {
        del_coding_params(p);
        return nullptr;
    }
    p->bits_per_symbol = combination_table_bits(p->table);
    p->symbols = uint64_t{1} << p->bits_per_symbol;
    // The sum is at most 254 here (checked above), so it fits the count's 8 bits.
    const uint32_t bytes = static_cast<uint32_t>(max_length) + crc_length + max_parity;
    const bool fits = symbols_for_bytes(static_cast<uint8_t>(bytes), p->bits_per_symbol) < 255;
    const bool length_is_a_symbol = min_length == max_length || max_length < p->symbols;
    if (!fits || !length_is_a_symbol) {
        del_coding_params(p);
        return nullptr;
    }
    return p;
}

coding_params *new_default_coding_params()
{
    return new_coding_params(5, 1, 1, 6, 0, 6, 6);
}

bool coding_params_valid(uint8_t tone_bits, uint8_t tones_per_symbol, uint8_t min_length,
                         uint8_t max_length, uint8_t crc_length, uint8_t parity)
{
    if (tone_bits < 2 || tone_bits > 8)
        return false;
    if (min_length == 0 || max_length == 0 || max_length < min_length)
        return false;
    // Zero tones per symbol carries no bit at all.
    if (tones_per_symbol == 0 || tones_per_symbol >= (1u << tone_bits))
        return false;
    return static_cast<uint32_t>(max_length) + crc_length + parity <= 254;
}

void del_coding_params(coding_params *params)
{
    if (params == nullptr)
        return;
    del_combination_table(params->table);
    params->table = nullptr;
    tracked_free(params);
}

bool coding_params_equal(const coding_params *a, const coding_params *b)
{
    return a->bits_per_symbol == b->bits_per_symbol && a->min_length == b->min_length &&
           a->max_length == b->max_length && a->crc_length == b->crc_length;
}

coding_params *coding_params_deserialise(const uint8_t *body, uint64_t length, uint64_t *position,
                                         uint8_t format)
{
    uint8_t v[CODING_PARAMS_BODY_SIZE];
    if (!body_format_supported(format) || !body_read_bytes(body, length, position, v, sizeof v))
        return nullptr;
    return new_coding_params(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
}

void coding_params_serialise(const coding_params *params, uint8_t *out, uint64_t *position)
{
    const uint8_t v[CODING_PARAMS_BODY_SIZE] = {params->tone_bits,  params->tones_per_symbol,
                                                params->min_length, params->max_length,
                                                params->crc_length, params->min_parity,
                                                params->max_parity};
    body_write_bytes(out, position, v, sizeof v);
}

uint8_t coding_params_get_tone_bits(const coding_params *params)
{
    return params->tone_bits;
}

uint16_t coding_params_get_tones(const coding_params *params)
{
    return params->tones;
}

uint8_t coding_params_get_bits_per_symbol(const coding_params *params)
{
    return params->bits_per_symbol;
}

uint64_t coding_params_get_symbols(const coding_params *params)
{
    return params->symbols;
}

uint8_t coding_params_get_tones_per_symbol(const coding_params *params)
{
    return params->tones_per_symbol;
}

uint8_t coding_params_get_min_length(const coding_params *params)
{
    return params->min_length;
}

uint8_t coding_params_get_max_length(const coding_params *params)
{
    return params->max_length;
}

uint8_t coding_params_get_crc_length(const coding_params *params)
{
    return params->crc_length;
}

uint8_t coding_params_get_min_parity(const coding_params *params)
{
    return params->min_parity;
}

uint8_t coding_params_get_max_parity(const coding_params *params)
{
    return params->max_parity;
}

combination_table *coding_params_get_table(const coding_params *params)
{
    return params->table;
}
