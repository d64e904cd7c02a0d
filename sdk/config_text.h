// The text form of a config string: standard base64 (A-Z, a-z, 0-9, '+', '/',
// '=' padding), read strictly so that every body has exactly one text. The
// first decoded byte is the body format version; interpreting the bytes is the
// config driver's job, not this codec's.
#pragma once

#include <cstdint>

enum config_text_result : uint8_t {
    CONFIG_TEXT_OK = 0,
    // Not strict base64: empty, length not a multiple of 4, a character outside
    // the alphabet, '=' anywhere but the last one or two places, or non-zero
    // unused bits in the last group.
    CONFIG_TEXT_MALFORMED = 1,
    CONFIG_TEXT_OUT_OF_MEMORY = 2,
};

// Decodes NUL-terminated text into a fresh tracked block of *length bytes
// (at least 1), which the caller frees with tracked_free. The text is checked
// whole before anything is allocated. On failure *bytes is NULL and *length 0;
// a NULL text, bytes or length pointer counts as malformed.
config_text_result config_text_decode(const char *text, uint8_t **bytes, uint64_t *length);

// Encodes `length` bytes as padded base64 in a fresh NUL-terminated tracked
// block (4 characters per started group of 3 bytes; no bytes give the empty
// text, which the decoder refuses). NULL when memory runs out, or for NULL
// bytes with a non-zero length.
char *config_text_encode(const uint8_t *bytes, uint64_t length);
