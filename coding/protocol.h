// One complete transmission scheme: a name and a version, the payload format
// (coding_params) and the frequency and timing layout (modulation_params).
// The interface layer builds one per configured handle and owns it; the
// transmitter, receivers, detectors and messages borrow it and must not
// outlive it. It never changes after new_protocol returns. Every derived
// quantity is asked of it through protocol_frame.h and protocol_tones.h.
//
// Body part (formats 5 and 6 alike but for the modulation part), at the
// start of the parameter body: u8 name length L, L name bytes without a
// terminating zero, u8 version, the 7-byte coding part, the modulation part.
// 52 + L + 8n + p bytes in format 6, 44 + L + 8n + p in format 5 (n front-door
// values, p pattern characters). See param_body.h for the conventions.
#pragma once

#include "coding/coding_params.h"
#include "coding/modulation_params.h"

#include <cstdint>

struct protocol {
    char *name;                    // owned, at most 32 characters
    uint8_t version;
    coding_params *coding;         // owned
    modulation_params *modulation; // owned
};

inline constexpr uint32_t PROTOCOL_MAX_NAME_LENGTH = 32;

// Takes ownership of both records on success only: on refusal the caller
// still owns them. Refuses a missing record or name, a name of more than 32
// characters, a front door of fewer than 8 bits (front-door count x bits per
// symbol, wide), and a protocol with any frame beyond the limits of
// frame_limits_ok (frame_rules.h). Then reduces every front-door value at or
// above the symbol count modulo the symbol count, in the modulation record.
protocol *new_protocol(const char *name, uint8_t version, coding_params *coding,
                       modulation_params *modulation);
// "standard", version 0, with the default coding and modulation parameters.
protocol *new_default_protocol();
// Reads the protocol part at *position (see param_body.h). None for a format
// other than 5 or 6 (position kept), a body that ends inside the part, or a
// refusal of either parameter record or of new_protocol; nothing it made is
// left allocated. The modulation part is read even when the coding part was
// refused. A zero byte inside the name ends the name early.
protocol *protocol_from_bytes(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t format);
// Writes the protocol part in format 6 at *position and moves past it; out
// holds at least 52 + L + 8n + p bytes from the position.
void protocol_to_bytes(const protocol *p, uint8_t *out, uint64_t *position);
// Frees both parameter records, the name and the record. Accepts NULL.
void del_protocol(protocol *p);
// Frees the name and the record only, leaving the parameter records alone.
void protocol_release_name(protocol *p);

// coding_params_equal, modulation_params_equal (no pattern), equal names and
// equal versions, tested in that order. Parity lengths, tone counts with the
// same bits per symbol, and patterns take no part.
bool protocol_equals(const protocol *a, const protocol *b);

const char *protocol_name(const protocol *p);
uint8_t protocol_version(const protocol *p);
coding_params *protocol_alphabet(const protocol *p);
modulation_params *protocol_modulation(const protocol *p);
uint8_t protocol_frontdoor_size(const protocol *p);
uint8_t protocol_bits_per_symbol(const protocol *p);
// Number of symbol values, 2^bits_per_symbol (not a frame's symbol count).
uint64_t protocol_symbol_count(const protocol *p);
uint16_t protocol_tone_count(const protocol *p);
uint8_t protocol_tone_bits(const protocol *p);
bool protocol_is_fixed_length(const protocol *p);
uint8_t protocol_min_payload_length(const protocol *p);
uint8_t protocol_max_payload_length(const protocol *p);
