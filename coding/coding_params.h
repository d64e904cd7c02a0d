// Payload format of one protocol: the tone alphabet (tones per channel and
// tones per symbol, hence bits per symbol), the payload length limits, the
// CRC length and the Reed-Solomon parity lengths at the shortest and longest
// payload. Built only by its checking constructor and never changed after.
//
// Body part (formats 5 and 6 alike), 7 bytes: tone_bits, tones_per_symbol,
// min_length, max_length, crc_length, min_parity, max_parity. The derived
// fields are never stored; the constructor derives them again.
#pragma once

#include "coding/combination_table.h"

#include <cstdint>

struct coding_params {
    uint8_t tone_bits;        // log2 of tones, 2 to 8
    uint16_t tones;           // tones of one channel, 2^tone_bits
    uint8_t bits_per_symbol;  // bits of the combination table
    uint64_t symbols;         // symbol values, 2^bits_per_symbol
    uint8_t tones_per_symbol; // k, 1 to tones - 1
    uint8_t min_length;       // bytes, at least 1
    uint8_t max_length;       // bytes, at least min_length
    uint8_t crc_length;       // bytes: 1, 2, 4 select CRC-8/16/32, 0 none, others zero bytes
    uint8_t min_parity;       // parity bytes at min_length
    uint8_t max_parity;       // parity bytes at max_length
    combination_table *table; // owned, tones choose tones_per_symbol
};

inline constexpr uint64_t CODING_PARAMS_BODY_SIZE = 7;

// None when: tone_bits is outside 2..8; a length is 0 or max < min;
// tones_per_symbol is 0 or not below the tone count; max_length + crc_length +
// max_parity exceeds 254; the alphabet lies outside the combination table's
// data model; the data symbols of that many bytes number 255 or more; or,
// with min_length != max_length, max_length is not below the symbol count
// (the length then travels as a symbol). min_parity is not checked here: the
// frames it gives are checked by new_protocol. Frees all it built on refusal.
coding_params *new_coding_params(uint8_t tone_bits, uint8_t tones_per_symbol, uint8_t min_length,
                                 uint8_t max_length, uint8_t crc_length, uint8_t min_parity,
                                 uint8_t max_parity);
// 32 tones, one per symbol (5 bits), payloads of 1 to 6 bytes, no CRC, 6 parity bytes.
coding_params *new_default_coding_params();
// The constructor's checks that need no table, with `parity` in place of max_parity.
bool coding_params_valid(uint8_t tone_bits, uint8_t tones_per_symbol, uint8_t min_length,
                         uint8_t max_length, uint8_t crc_length, uint8_t parity);
// Accepts NULL and half-built records.
void del_coding_params(coding_params *params);

// Equal bits per symbol, length limits and CRC length; tone counts, parity
// lengths and tables take no part.
bool coding_params_equal(const coding_params *a, const coding_params *b);

// Reads the 7-byte part at *position (see param_body.h). None, position kept,
// for a format other than 5 or 6; none when fewer than 7 bytes remain; else
// the position moves by 7 and the result is the constructor's.
coding_params *coding_params_deserialise(const uint8_t *body, uint64_t length, uint64_t *position,
                                         uint8_t format);
// Writes the 7 bytes at *position and moves it by 7.
void coding_params_serialise(const coding_params *params, uint8_t *out, uint64_t *position);

uint8_t coding_params_get_tone_bits(const coding_params *params);
uint16_t coding_params_get_tones(const coding_params *params);
uint8_t coding_params_get_bits_per_symbol(const coding_params *params);
uint64_t coding_params_get_symbols(const coding_params *params);
uint8_t coding_params_get_tones_per_symbol(const coding_params *params);
uint8_t coding_params_get_min_length(const coding_params *params);
uint8_t coding_params_get_max_length(const coding_params *params);
uint8_t coding_params_get_crc_length(const coding_params *params);
uint8_t coding_params_get_min_parity(const coding_params *params);
uint8_t coding_params_get_max_parity(const coding_params *params);
// Still owned by the record.
combination_table *coding_params_get_table(const coding_params *params);
