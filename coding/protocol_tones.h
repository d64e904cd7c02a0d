// Tone frequencies of a protocol and back, symbol values as tone sets, and
// the sample rate and FFT bins its band needs. Single precision throughout,
// in the stated order of operations (built without fused multiply-adds).
//
// Semitone scale (tone_spacing zero): tone x is base_frequency x 2^(x / 12)
// on every channel. Linear scale: tone x of channel ch is
// (x tone_spacing) + (base_frequency + ch (channel_gap + tones tone_spacing)),
// so each channel's band starts one band and the gap above the previous one.
#pragma once

#include "coding/protocol.h"

#include <cstdint>

// tones x tone_spacing, Hz.
float protocol_channel_width(const protocol *p);
// Hz of tone position x (fractional allowed) on a channel.
float protocol_tone_frequency(const protocol *p, float tone, uint8_t channel);
// Fractional tone index of hz: 0 below 10 Hz; with spacing 0,
// (ln(hz / base) x 12) / 0.6931472; else (hz - base) / spacing.
float tone_index(float hz, float base, float spacing);
// The inverse of protocol_tone_frequency up to rounding.
float protocol_tone_index(const protocol *p, float hz, uint8_t channel);
// Symbol value of k tone indices (sorted in place), or all ones for an
// invalid set (combination_rank).
uint64_t protocol_symbol_from_tones(const protocol *p, uint8_t *tones);
// 0 with the k ascending tone indices of symbol in out, or 1 with out
// untouched when the symbol is out of range (combination_unrank).
uint8_t protocol_tones_from_symbol(const protocol *p, uint64_t symbol, uint8_t *out);
// rate >= margin + 2f, f the top tone of the last channel.
bool protocol_sample_rate_ok(const protocol *p, uint32_t sample_rate, uint32_t margin);
// Lowest FFT bin of the band: fft_size x (tone 0 of channel 0 / rate) - 1,
// truncated; 0 when negative or not a number.
uint32_t protocol_low_bin(const protocol *p, uint32_t sample_rate, uint32_t fft_size);
// Highest FFT bin of the band: fft_size x (tone one past the top of the last
// channel / rate) + 1, truncated, and below fft_size / 2 (half - 1 when at or
// above half; 0 when negative, not a number, or fft_size < 2).
uint32_t protocol_high_bin(const protocol *p, uint32_t sample_rate, uint32_t fft_size);
