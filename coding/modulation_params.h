// Frequency and timing layout of one protocol: where its tones lie, how long
// its slots last, the envelope and glide times, the front-door symbols that
// open every transmission and the slot pattern after the header. Built only
// by its checking constructor; afterwards only new_protocol touches it, to
// reduce the front-door values below the symbol count.
//
// Body part, format 6 (43 + 8n + p bytes; n front-door values, p pattern
// characters), little-endian and unaligned:
//   f32 base_frequency, f32 tone_spacing, u8 channels, f32 channel_gap,
//   f32 frontdoor_duration, f32 symbol_duration, f32 attack, f32 release,
//   f32 glide_time, f32 frontdoor_gap, f32 symbol_gap, u8 n, n x u64 front
//   door, u8 p, p text bytes without a terminating zero.
// Format 5 (35 + 8n + p bytes) has u16 whole-Hz base_frequency and
// tone_spacing, then channels, no channel_gap (0), and the rest as format 6.
#pragma once

#include "coding/slot_pattern.h"

#include <cstdint>

struct modulation_params {
    float base_frequency;     // Hz, lowest tone of channel 0; above 20
    float tone_spacing;       // Hz between neighbouring tones; 0 selects semitones; any number
    uint8_t channels;         // 1 to 8
    float channel_gap;        // Hz between the bands of neighbouring channels; any number
    float frontdoor_duration; // s per header slot; above 0
    float symbol_duration;    // s, base duration of a data slot; above 0
    float attack;             // s of fade-in; 0 or more
    float release;            // s of fade-out before the slot's gap; 0 or more
    float glide_time;         // s to glide to the next tone; 0 to symbol_duration
    float frontdoor_gap;      // s of silence ending each header slot; 0 to frontdoor_duration
    float symbol_gap;         // s of silence ending each data slot; 0 to symbol_duration
    uint8_t frontdoor_count;  // at least 1
    uint64_t *frontdoor;      // owned, frontdoor_count values in transmission order
    slot_pattern *pattern;    // owned
};

inline constexpr uint64_t TOVAN_DEFAULT_FRONTDOOR[2] = {17, 19};

// Checks the values with ordered single-precision comparisons (a NaN fails
// every check it takes part in; tone_spacing and channel_gap are refused only
// when NaN), then copies the front door and the pattern (NULL gives "1"). None
// for a failed check, a NULL front door, a pattern without a data character
// ('1' to '4', so the empty text too) or longer than 255 characters, or
// exhausted memory; frees all it built.
modulation_params *new_modulation_params(uint8_t channels, const uint64_t *frontdoor,
                                         uint8_t frontdoor_count, const char *pattern,
                                         float base_frequency, float tone_spacing, float channel_gap,
                                         float frontdoor_duration, float symbol_duration, float attack,
                                         float release, float glide_time, float frontdoor_gap,
                                         float symbol_gap);
// 1760 Hz semitone scale on one channel, 0.0872 s slots, 0.015 s attack and
// release, 0.005 s glide, no gaps, front door 17, 19, pattern "1".
modulation_params *new_default_modulation_params();
// The constructor's value checks, without building anything.
bool modulation_params_valid(uint8_t channels, uint8_t frontdoor_count, float base_frequency,
                             float tone_spacing, float channel_gap, float frontdoor_duration,
                             float symbol_duration, float attack, float release, float glide_time,
                             float frontdoor_gap, float symbol_gap);
// Accepts NULL and half-built records.
void del_modulation_params(modulation_params *params);

// Every number as an ordered float (NaN equals nothing, +0 equals -0) and the
// front-door values; the patterns take no part.
bool modulation_params_equal(const modulation_params *a, const modulation_params *b);

// Reads the part at *position (see param_body.h): none, position kept, for a
// format other than 5 or 6; none when the body ends inside a field; else the
// constructor's result for the values read, the pattern text as read (a
// length of 0 gives the empty text, which the constructor refuses).
modulation_params *modulation_params_deserialise(const uint8_t *body, uint64_t length,
                                                 uint64_t *position, uint8_t format);
// Writes the format-6 part at *position and moves past it.
void modulation_params_serialise(const modulation_params *params, uint8_t *out, uint64_t *position);

float modulation_params_get_base_frequency(const modulation_params *params);
float modulation_params_get_tone_spacing(const modulation_params *params);
uint8_t modulation_params_get_channels(const modulation_params *params);
float modulation_params_get_channel_gap(const modulation_params *params);
float modulation_params_get_frontdoor_duration(const modulation_params *params);
float modulation_params_get_symbol_duration(const modulation_params *params);
float modulation_params_get_attack(const modulation_params *params);
float modulation_params_get_release(const modulation_params *params);
float modulation_params_get_glide_time(const modulation_params *params);
float modulation_params_get_frontdoor_gap(const modulation_params *params);
float modulation_params_get_symbol_gap(const modulation_params *params);
uint8_t modulation_params_get_frontdoor_count(const modulation_params *params);
// Owned by the record.
const uint64_t *modulation_params_get_frontdoor(const modulation_params *params);
const slot_pattern *modulation_params_get_pattern(const modulation_params *params);
