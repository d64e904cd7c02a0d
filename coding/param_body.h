// Bounds-checked little-endian access to the parameter body that a config
// string carries, shared by every part that reads or writes it (protocol,
// coding and modulation parameters, receiver settings).
//
// Reading convention: each part reader gets the body, its length in bytes, a
// running position shared by all readers of one body, and the format version.
// The helpers below read one field at the position and move the position past
// it. A field that would end beyond the body length is not read at all: the
// helper returns false and leaves the value and the position untouched, so a
// reader can give up at any field without having read past the end. A
// position that already lies beyond the length is handled the same way; the
// bounds test never overflows, whatever position the caller passes.
//
// Multi-byte values are little-endian and unaligned: bytes are assembled
// through memcpy, never by casting the body pointer (ARM targets fault on
// unaligned loads). f32 is an IEEE 754 single, copied bit for bit.
//
// Writing convention: writers always produce the newest format; they write at
// the running position of an output buffer that the caller has made large
// enough, and move the position past what they wrote. The write helpers do no
// bounds checks of their own.
#pragma once

#include <cstdint>

// True when the body version is one this build reads (5 or 6).
bool body_format_supported(uint8_t format);

// True when `count` bytes lie between the position and the body length.
bool body_has_bytes(uint64_t length, uint64_t position, uint64_t count);

bool body_read_u8(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t *value);
bool body_read_u16(const uint8_t *body, uint64_t length, uint64_t *position, uint16_t *value);
bool body_read_u32(const uint8_t *body, uint64_t length, uint64_t *position, uint32_t *value);
bool body_read_u64(const uint8_t *body, uint64_t length, uint64_t *position, uint64_t *value);
bool body_read_f32(const uint8_t *body, uint64_t length, uint64_t *position, float *value);
// Copies `count` raw bytes (texts travel without a terminating zero).
bool body_read_bytes(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t *out,
                     uint64_t count);

void body_write_u8(uint8_t *out, uint64_t *position, uint8_t value);
void body_write_u16(uint8_t *out, uint64_t *position, uint16_t value);
void body_write_u32(uint8_t *out, uint64_t *position, uint32_t value);
void body_write_u64(uint8_t *out, uint64_t *position, uint64_t value);
void body_write_f32(uint8_t *out, uint64_t *position, float value);
void body_write_bytes(uint8_t *out, uint64_t *position, const uint8_t *bytes, uint64_t count);
