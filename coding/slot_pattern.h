// The cyclic text that lays out the slots after a frame's header, one
// character per slot:
//   '1' to '4'            data slot of that many symbol durations, one symbol each
//   ' '                   silent slot of one symbol duration
//   '*', 'a', 'b', 'c'    effect slot of two symbol durations
//   any other character   slot of no duration
#pragma once

#include <cstdint>

struct slot_pattern {
    char *text;      // owned, zero-terminated
    uint32_t length; // characters of text
};

// A copy of text, or of "1" for NULL; the empty text stays empty. None when
// memory runs out.
slot_pattern *new_slot_pattern(const char *text);
slot_pattern *copy_slot_pattern(const slot_pattern *pattern);
// Accepts NULL and half-built patterns.
void del_slot_pattern(slot_pattern *pattern);

// Owned by the pattern.
const char *slot_pattern_text(const slot_pattern *pattern);
// Whether c is a data character, '1' to '4'.
bool slot_pattern_is_data_char(char c);
// Whether the text holds at least one data character.
bool slot_pattern_has_data(const slot_pattern *pattern);
// Character at position i of the cyclic text (i modulo the length); '\0' for
// the empty text.
char slot_pattern_char(const slot_pattern *pattern, uint32_t i);
// Position, counted from the first slot after the header, of the data slot
// that carries data symbol n (the (n + 1)-th data character of the cyclic
// text), exactly and without wrapping; 0 for a text without data characters.
uint64_t slot_pattern_data_slot_position(const slot_pattern *pattern, uint32_t n);
// The same position as 8 bits. Every frame a protocol accepts keeps it within
// 0 to 255 (protocol.h), where the two agree.
uint8_t slot_pattern_nth_data_slot(const slot_pattern *pattern, uint32_t n);
