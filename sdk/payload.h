// Payload helpers of the sending side: symbol buffers sized for a protocol,
// copies of a message's payload, and payloads as hex text.
#pragma once

#include "coding/protocol.h"
#include "coding/symbol_buffer.h"
#include "coding/tovan.h"
#include "sdk/handle.h"

#include <cstddef>
#include <cstdint>

// 0, or 85 / 84 for a payload length below / above the protocol's limits.
// Lengths are compared at full width: 256 must not pass as 0.
sdk_error sdk_payload_length_error(const protocol *p, size_t length);

// A zeroed buffer of `length` bytes at the protocol's bits per symbol. None
// for a NULL protocol, a length of 0 or above 255, or exhausted memory.
symbol_buffer *sdk_new_payload(const protocol *p, size_t length);

// A fresh tracked copy of the message's payload bytes, their count written
// to *length. NULL, with *length 0, without a message, payload or memory.
uint8_t *sdk_copy_payload_bytes(const tovan *message, size_t *length);

// 2 x length lower-case hex digits and a NUL in a fresh tracked block, when
// tovan_sdk_is_valid accepts the length and the payload is present; else NULL.
char *sdk_payload_to_hex(const sdk_handle *handle, const uint8_t *payload, size_t length);
// The strlen(text) / 2 bytes of a hex text in a fresh tracked block, when the
// handle is configured, the text is present, its length is even, half of it
// lies within the protocol's limits and every pair is hex; else NULL.
uint8_t *sdk_payload_from_hex(const sdk_handle *handle, const char *text);
