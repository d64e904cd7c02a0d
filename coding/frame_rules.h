// The frame rules of a protocol as functions of its two parameter records, so
// that the protocol's own limit check (before the protocol exists) and the
// protocol's frame operations share one rule.
//
// A frame is the header (the front-door symbols, then one length symbol when
// the payload length varies) followed by the data symbols: payload, CRC and
// parity bytes packed into bits_per_symbol-bit symbols. After the header,
// data symbol j rides the (j + 1)-th data slot of the cyclic slot pattern.
//
// The counts here are wide and exact; the protocol's 8-bit operations agree
// with them for every frame of an accepted protocol.
#pragma once

#include "coding/coding_params.h"
#include "coding/modulation_params.h"

#include <cstdint>

// Largest frame: symbols and slot numbers are 8-bit throughout, and the
// Reed-Solomon block of payload, CRC and parity holds at most 254 bytes.
inline constexpr uint32_t FRAME_MAX_SYMBOLS = 255;
inline constexpr uint32_t FRAME_MAX_SLOT = 255;
inline constexpr uint32_t FRAME_MAX_DATA_BYTES = 254;

// Parity bytes e(L) of an L-byte payload: min_parity for a fixed-length
// protocol; otherwise, in single precision, min_parity plus
// (max_parity - min_parity, taken modulo 256) x (L - min) / (max - min)
// truncated toward zero, modulo 256. So the parity grows from min_parity at the
// shortest payload to max_parity at the longest, rounded down.
uint8_t frame_ecc_length(const coding_params *coding, uint8_t length);
// 1 when the payload length varies (the header then carries it), else 0.
uint32_t frame_has_length_symbol(const coding_params *coding);
// H: front-door symbols plus the length symbol.
uint32_t frame_header_symbol_count(const coding_params *coding, const modulation_params *modulation);
// L + c + e(L).
uint32_t frame_data_byte_count(const coding_params *coding, uint8_t length);
// ceil(8 (L + c + e(L)) / bits_per_symbol).
uint32_t frame_data_symbol_count(const coding_params *coding, uint8_t length);
// Slot of frame symbol i: i for a header symbol, else H plus the pattern
// position of data symbol i - H.
uint64_t frame_slot_of_symbol(const coding_params *coding, const modulation_params *modulation,
                              uint32_t i);
// Whether every frame of the protocol fits: the header within 255 symbols
// and, for every payload length from min_length to max_length, the payload,
// CRC and parity within 254 bytes, header and data within 255 symbols, the
// data bits within one symbol buffer (2040 bits), and the slot of the symbol
// one past the last (the end of the transmission) at most 255.
bool frame_limits_ok(const coding_params *coding, const modulation_params *modulation);
