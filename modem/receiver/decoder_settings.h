// Receiver settings: the rate and FFT size the receive chain is tuned for, the
// hop between analysis frames, and one detector_settings record per parallel
// detector that every receiver runs. The interface layer reads them from the
// parameter body right after the protocol part, owns them for the life of the
// pipeline and frees them; receivers and detectors borrow them.
//
// Body part (formats 5 and 6 alike), packed little-endian, n the name length,
// D the detector count, P the curve points:
//   u8 n, n name bytes (no terminator), u8 version, u8 hop, u8 D,
//   u32 sample_rate, u16 fft_size, D x f32 noise_smoothing,
//   D x f32 noise_subtraction, D x i8 time_shift, u8 P (one count for all),
//   D curves of P (Hz, dB) f32 pairs, detector by detector,
//   D x f32 frontdoor_threshold, D x f32 window_factor.
// 11 + n + 17D + 8PD bytes; the "standard" settings take 1464.
// See coding/param_body.h for the reading and writing conventions.
#pragma once

#include "coding/protocol.h"
#include "modem/receiver/detector_settings.h"

#include <cstdint>

struct decoder_settings {
    char *name;      // owned copy
    uint8_t version; // kept, written and compared; nothing else reads it
    uint8_t hop;     // samples between analysis frames
    uint8_t detector_count;
    uint32_t sample_rate; // Hz
    uint16_t fft_size;    // samples per analysis frame; the spectrum has fft_size / 2 bins
    detector_settings *detectors; // detector_count records, owned; NULL when there are none
};

// Settings from per-detector arrays of detector_count entries each; curves[i]
// holds the 2 x curve_points f32 of detector i. Copies the name and every
// curve: the caller keeps its arrays. No value is tested. None when memory
// runs out, or when the name or an array that must be read is NULL.
decoder_settings *new_decoder_settings(const char *name, uint8_t version, uint8_t hop, uint8_t detector_count,
                                       uint32_t sample_rate, uint16_t fft_size, const float *noise_smoothing,
                                       const float *noise_subtraction, const int8_t *time_shift,
                                       uint8_t curve_points, const float *const *curves,
                                       const float *frontdoor_thresholds, const float *window_factors);
// The built-in "standard" settings: five detectors for 44100 Hz, FFT size
// 2048, hop 64, 34-point curves. None when memory runs out.
decoder_settings *new_default_decoder_settings();
// Reads the part at *position and moves past it. None, with the position
// kept and nothing allocated, for a format other than 5 or 6, a body that
// ends inside the part, or a detector whose noise values fail
// detector_settings_valid; none, position kept, when memory runs out. Counts
// of 0 and any rate, size, hop, shift, threshold or window factor are taken
// as they stand: whether they suit a protocol is
// decoder_settings_fit_protocol's business. A zero byte inside the name ends
// the name early.
decoder_settings *decoder_settings_from_bytes(const uint8_t *body, uint64_t length, uint64_t *position,
                                              uint8_t format);
// Writes the part at *position and moves past it; out holds at least
// 11 + n + 17D + 8PD bytes from the position, P being the first record's
// point count (0 without records). A name longer than 255 bytes is written
// cut to its first 255 bytes, so the length byte always matches.
void decoder_settings_to_bytes(const decoder_settings *s, uint8_t *out, uint64_t *position);
// Whether a receiver for protocol p on input at sample_rate can be built with
// these settings: every detector must move its data windows by less than
// half the frames of one data slot, F = trunc(symbol_duration / (hop /
// sample_rate)) (0 when that quotient is not finite, so a hop or rate of 0
// fits no detector; saturated at 65535), and the rate must leave room for
// the top tone plus one FFT bin (protocol_sample_rate_ok). False for an FFT
// size of 0.
bool decoder_settings_fit_protocol(const decoder_settings *s, uint32_t sample_rate, const protocol *p);
// Equal names, version, hop, detector count, rate and FFT size, and every
// detector record equal by detector_settings_equals. NULL equals nothing.
bool decoder_settings_equals(const decoder_settings *a, const decoder_settings *b);
// Frees every curve, the records, the name and the record. Accepts NULL and
// half-built settings.
void del_decoder_settings(decoder_settings *s);
