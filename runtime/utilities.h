// Hex text, byte shuffles and distances between byte strings and texts.
#pragma once

#include <cstdint>

// Writes 2n lower-case hex digits and a NUL: out holds 2n + 1 characters.
void bytes_to_hex(const uint8_t *in, uint8_t n, char *out);
// 0 with length / 2 bytes written; 1 for an odd length or a pair that is not
// two hex digits (earlier pairs stay written).
uint8_t hex_to_bytes(const char *hex, uint8_t *out);
// Fisher-Yates from the end over the shared generator: draws exactly n numbers.
void shuffle_bytes(uint8_t *a, int16_t n);
uint8_t count_differing_bytes(const uint8_t *a, const uint8_t *b, uint8_t n);
// Positions below the length of s where s and t differ; a shorter t differs at
// every position past its end.
uint32_t count_differing_chars(const char *s, const char *t);
// 0xFFFFFFFF when the table cannot be allocated.
uint32_t levenshtein_distance(const char *s, const char *t);
const char *path_basename(const char *s);
