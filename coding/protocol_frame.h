// Frame layout and slot timing of a protocol: header and data symbol counts,
// parity lengths, which slot carries which symbol, how long each slot and a
// whole transmission last, and the plain parameter reads. The sending and
// receiving sides use these and no rule of their own.
//
// A frame is numbered from symbol 0: the H = n_fd + var header symbols (the
// front door, then the length symbol when the payload length varies), then
// the data symbols. Slots 0 to H - 1 carry the header symbols and last
// frontdoor_duration each; slot H + j has pattern character j of the cyclic
// slot pattern, and its data slots carry the data symbols in order.
//
// Counts and slot numbers are 8 bits: new_protocol keeps every frame within
// 255 symbols and slots 0 to 255, for payload lengths min to max. Callers
// keep payload lengths, symbol numbers and slots within those limits.
// Durations are sums over slots in slot order, in single precision.
#pragma once

#include "coding/protocol.h"

#include <cstdint>

// Parity bytes e(L) (frame_ecc_length).
uint8_t protocol_ecc_length(const protocol *p, uint8_t length);
// H + ceil(8 (L + c + e(L)) / b): symbols of the whole frame of an L-byte payload.
uint8_t protocol_symbol_count_for_length(const protocol *p, uint8_t length);
uint8_t protocol_max_symbol_count(const protocol *p);
uint8_t protocol_max_data_symbol_count(const protocol *p);
uint8_t protocol_header_symbol_count(const protocol *p);
uint8_t protocol_header_length(const protocol *p); // the same H
uint8_t protocol_has_length_symbol(const protocol *p);
uint32_t protocol_max_hex_length(const protocol *p); // 2 x max_length

// '1' for a header slot, else the pattern character of slot s - H.
char protocol_slot_char(const protocol *p, uint8_t s);
// Slot that carries frame symbol i; i = the frame's symbol count gives the
// slot a symbol after the last would take (where the transmission ends).
uint8_t protocol_slot_of_symbol(const protocol *p, uint8_t i);
// Seconds of slot s: frontdoor_duration for a header slot; else digit x
// symbol_duration for '1' to '4', symbol_duration for ' ', twice it for '*',
// 'a', 'b', 'c', and 0 for any other character.
float protocol_slot_duration(const protocol *p, uint8_t s);
// Seconds of silence at the end of slot s (inside its duration).
float protocol_slot_gap(const protocol *p, uint8_t s);
// Seconds of slots 0 to n - 1, added one by one.
float protocol_slots_duration(const protocol *p, uint8_t n);
// Seconds from the frame's start to the start of the slot of symbol i.
float protocol_time_before_symbol(const protocol *p, uint8_t i);
float protocol_symbol_slot_duration(const protocol *p, uint8_t i);
// Seconds of a whole transmission of an L-byte payload: every slot up to the
// one a symbol after the last would take, so trailing silent and effect slots
// count (1.3080001 s and 2.0056005 s for 1 and 6 bytes of the default).
float protocol_duration_for_length(const protocol *p, uint8_t length);

// Core result code of a payload given as hex text: 1 for NULL or empty, 3
// for an odd length, 2 for a byte count outside min..max, 7 for a character
// that is not a hex digit, else 0.
uint32_t protocol_check_hex_payload(const protocol *p, const char *text);
// Replaces the symbols at `count` random positions below n (count is limited
// to n) by different random symbol values, from the shared generator.
void protocol_corrupt_symbols(const protocol *p, uint64_t *symbols, uint8_t n, uint8_t count);

uint8_t protocol_crc_length(const protocol *p);
uint8_t protocol_min_ecc_length(const protocol *p);
uint8_t protocol_max_ecc_length(const protocol *p);
uint8_t protocol_tones_per_symbol(const protocol *p);
float protocol_base_frequency(const protocol *p);
float protocol_tone_spacing(const protocol *p);
uint8_t protocol_channel_count(const protocol *p);
float protocol_channel_gap(const protocol *p);
float protocol_frontdoor_duration(const protocol *p);
float protocol_symbol_duration(const protocol *p);
float protocol_attack(const protocol *p);
float protocol_release(const protocol *p);
float protocol_glide_time(const protocol *p);
float protocol_frontdoor_gap(const protocol *p);
float protocol_symbol_gap(const protocol *p);
uint8_t protocol_frontdoor_length(const protocol *p);
// n_fd values, each below the symbol count; owned by the protocol.
const uint64_t *protocol_frontdoor_symbols(const protocol *p);
