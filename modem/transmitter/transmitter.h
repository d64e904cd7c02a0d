// The send side of the modem: renders a framed message (coding/tovan.h) slot
// by slot as mono float samples at its output sample rate.
//
// Slot s of a transmission has the protocol's character for s ('1' for every
// header slot) and lasts D = trunc(slot duration x rate) samples, the last
// G = trunc(slot gap x rate) of them silent. What sounds in it:
//   '1'..'4'       the next symbol: k sine oscillators on its tones, each
//                  contributing 1/k (k = 1: the oscillator unscaled)
//   'a', 'b', 'c'  a sweep on oscillator 0 to 2000 Hz over the slot, from
//                  1000 Hz flat, from 3000 Hz under a 10 + 10 ms triangle,
//                  from 1500 Hz under a 20 + 10 ms triangle
//   '*'            'a', 'b', 'c' or the silent 'd', one draw of the shared
//                  random generator when the slot begins
//   anything else  silence
// A linear attack of A samples and release of R samples at the volume shape
// every slot. Slot 0 fills D0 samples; each later slot's first sample still
// carries the previous slot's generator, at the new slot's gain for position
// 0. The sample after the last slot ends the transmission: it and the rest of
// that render call are 0, and the finished callback runs inside that call.
//
// Rendering allocates nothing. One thread at a time; both callbacks run on the
// caller's thread, the started one inside the send, the finished one inside a
// render call.
#pragma once

#include "coding/protocol.h"
#include "coding/tovan.h"
#include "modem/transmitter/oscillator.h"
#include "modem/transmitter/sweep.h"

#include <cstddef>
#include <cstdint>

struct transmitter;

// The message is the transmitter's copy, valid for the call only. It may send
// the next message, stop, or change settings from inside either callback.
typedef void (*transmitter_callback)(transmitter *t, const tovan *message, void *user);

enum transmitter_state : uint32_t {
    TRANSMITTER_STATE_IDLE = 0,
    TRANSMITTER_STATE_SENDING = 1,
};

struct transmitter {
    uint32_t sample_rate; // Hz, 44100 at creation
    // protocol_max_symbol_count rows of k Hz each, row-major: row i holds the
    // tones of frame symbol i of the message being sent. Owned.
    float *tone_frequencies;
    uint32_t symbol_index;   // row now sounding
    uint32_t slot_index;     // slot now playing, from 0
    uint32_t sample_in_slot; // samples of the current slot already played
    char slot_char;          // character of the current slot; 0 = not read yet
    uint32_t slot_count;     // slots of the transmission, at most 255
    float volume;            // within [0, 1]
    tovan *current;          // owned copy of the message being sent, or NULL
    const struct protocol *protocol; // borrowed
    uint8_t channel;
    struct oscillator **oscillators; // k owned oscillators; oscillator j sounds tone j
    struct sweep *sweep;             // owned; drives oscillator 0
    transmitter_callback started_callback;
    void *started_user;
    transmitter_callback finished_callback;
    void *finished_user;
    uint32_t state;           // transmitter_state
    uint32_t attack_samples;  // A = trunc(rate x attack)
    uint32_t release_samples; // R = trunc(rate x release)
};

// Idle at 44100 Hz, volume 1, channel 0, no callbacks. None for a NULL
// protocol or exhausted memory. The protocol must outlive the transmitter.
transmitter *new_transmitter(const struct protocol *p);
// Frees the oscillators, the frequency table, the sweep, the message copy and
// the record, never the protocol. Accepts NULL.
void del_transmitter(transmitter *t);

// False, nothing changed, for 0 or a rate below twice the protocol's top tone
// plus one tone step (in whole Hz) on the transmitter's channel. A
// transmission in progress goes on at the new rate from the next render call.
bool transmitter_set_sample_rate(transmitter *t, uint32_t rate);
uint32_t transmitter_sample_rate(const transmitter *t);
// Clamped to [0, 1]; NaN gives 1.
void transmitter_set_volume(transmitter *t, float volume);
float transmitter_volume(const transmitter *t);
// False, nothing changed, for a channel the protocol does not have. The
// tones of a message are fixed when it is loaded: a new channel applies from
// the next message.
bool transmitter_set_channel(transmitter *t, uint8_t channel);
uint8_t transmitter_channel(const transmitter *t);
// Store the pair; a later call replaces it. NULL removes the callback.
void transmitter_set_started_callback(transmitter *t, transmitter_callback callback, void *user);
void transmitter_set_finished_callback(transmitter *t, transmitter_callback callback, void *user);
uint32_t transmitter_state(const transmitter *t);
// The copy being sent, or NULL when idle.
const tovan *transmitter_current(const transmitter *t);
const struct protocol *transmitter_protocol(const transmitter *t);

// Starts sending a copy of the message (the caller keeps its own). Codes:
//   1  no message, or no payload
//   6  a message of another protocol (protocol_equals)
//   10 memory ran out
//   5, 7 from transmitter_load_symbols
//   0  sending from slot 0; a transmission in progress is replaced without a
//      finished callback, and only an idle transmitter calls the started one.
// Anything but 0 leaves the transmitter exactly as it was.
uint32_t transmitter_send(transmitter *t, const tovan *message);
// Starts a transmission of n frame symbols (header first) under the current
// copy. Codes: 1 for no symbols or n = 0; 5 for more symbols than the
// protocol's longest frame; 7 for a symbol without a tone set; 0 when started.
// A refusal changes nothing.
uint32_t transmitter_load_symbols(transmitter *t, const uint64_t *symbols, uint8_t n);
// Writes `count` samples into out and returns the state after the call. An
// idle transmitter writes nothing; a count of 0 consumes nothing.
uint32_t transmitter_render(transmitter *t, float *out, size_t count);
// Abandons any transmission without a callback.
void transmitter_stop(transmitter *t);
// Sets the state with its notification: entering sending calls the started
// callback with the current copy, entering any other state the finished one,
// after which the copy is released. Nothing happens for the present state.
void transmitter_set_state(transmitter *t, uint32_t state);
