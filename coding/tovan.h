// The message object: one transmission's payload in every form the system
// needs (payload bytes, CRC, Reed-Solomon parity, hex text, the data symbols
// received for it and the outcome of decoding them), and the frame on the air.
//
// Frame of an L-byte payload, symbol by symbol in transmission order:
//   header  the protocol's front-door symbols, then one length symbol whose
//           value is L when the payload length varies (min != max);
//   data    payload (L bytes), CRC (c bytes, least significant first), parity
//           (e = protocol_ecc_length(L) bytes), packed least significant bit
//           first into bits_per_symbol-bit symbols; the last symbol's bits
//           beyond the data are 0.
// The CRC covers the payload; the parity covers payload and CRC as one
// Reed-Solomon block (coding/gf/rs_codec.h).
//
// A message borrows its protocol and owns every buffer and the text; getters
// lend them. One thread at a time.
#pragma once

#include "coding/protocol.h"
#include "coding/symbol_buffer.h"

#include <cstdint>

enum tovan_state : uint32_t {
    TOVAN_STATE_NEW = 0,
    TOVAN_STATE_DECODED = 1,
    TOVAN_STATE_CRC_MISMATCH = 2,
    TOVAN_STATE_UNCORRECTABLE = 3,
};

struct tovan {
    const struct protocol *protocol; // borrowed: must outlive the message
    uint64_t *frontdoor;             // owned copy of the protocol's front-door values
    symbol_buffer *payload;          // L bytes, or NULL before an encode or a successful decode
    symbol_buffer *crc;              // c bytes, zero until an encode or a successful decode
    symbol_buffer *parity;           // e bytes, or NULL (also whenever e = 0)
    char *hex;                       // 2 x max_length + 1 characters: 2L digits and a NUL
    symbol_buffer *received;         // data symbols of the last decode past its count check, or NULL
    uint32_t state;                  // tovan_state
    uint8_t corrected;               // bytes repaired by the last decode; 0 unless it succeeded
};

// State 0, no payload, parity or received symbols, zero CRC and empty text.
// None for a NULL protocol or exhausted memory.
tovan *new_tovan(const struct protocol *p);
// Deep copy of every field for the same protocol; the source is not touched.
// None for NULL or exhausted memory.
tovan *copy_tovan(const tovan *source);
// Accepts NULL and half-built messages.
void del_tovan(tovan *message);

// Encodes the payload bytes of `payload` (copied; the buffer stays the
// caller's): CRC, parity and hex text. Checks, in order:
//   1  no buffer
//   2  payload length outside the protocol's min..max
//   4  the buffer's bits per symbol differ from the protocol's
//   10 memory ran out
//   0  encoded; the state is not touched.
// Every refusal and failure leaves the message as it was.
uint32_t tovan_encode(tovan *message, symbol_buffer *payload);

// Decodes the n data symbols of a frame (header excluded; only the low
// bits_per_symbol bits of each count) for an L-byte payload. Checks, in order:
//   2  L outside the protocol's min..max: state 3
//   5  no symbols, or n is not the data symbol count for L: nothing changes
//   10 memory ran out: state 3
//   8  Reed-Solomon failure (state 3) or CRC mismatch (state 2)
//   0  state 1 with payload, CRC, hex and the parity of the corrected data.
// After any failure past the count check the received symbols are kept,
// corrected is 0, and payload, parity and hex stay as they were.
uint32_t tovan_decode(tovan *message, const uint64_t *symbols, uint8_t n, uint8_t length);

// Symbols of the whole frame, header included; 0 without payload.
uint8_t tovan_symbol_count(const tovan *message);
// A new array of tovan_symbol_count values from the tracked heap (the caller
// frees it), header first. None without payload or when memory runs out.
uint64_t *tovan_symbols(const tovan *message);

// Protocols (protocol_equals), payloads, parities, CRCs, hex texts, received
// symbols, corrected and state. Buffers match when both are absent or both
// present and equal.
bool tovan_equal(const tovan *a, const tovan *b);

const struct protocol *tovan_get_protocol(const tovan *message);
symbol_buffer *tovan_get_payload(const tovan *message);
uint8_t tovan_get_payload_length(const tovan *message); // 0 without payload
symbol_buffer *tovan_get_crc(const tovan *message);
symbol_buffer *tovan_get_parity(const tovan *message);
const char *tovan_get_hex(const tovan *message);
symbol_buffer *tovan_get_received(const tovan *message);
uint32_t tovan_get_state(const tovan *message);
uint8_t tovan_get_corrected(const tovan *message);

// Seconds of the transmission of the payload (protocol_duration_for_length);
// 0 without payload.
float tovan_duration(const tovan *message);

// Encodes a random payload. With no length or *length 0 the length is drawn
// from min..max (random_range) and written back when `length` is given;
// otherwise *length bytes. One draw per byte follows. The encode's result is
// not reported: a length outside min..max leaves the message unencoded.
void tovan_random(tovan *message, uint8_t *length);
