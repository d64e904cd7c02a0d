// Receiver: the receive side of the modem for one channel of a protocol. It
// hands every power spectrum of the input to its parallel detectors,
// announces the start of a reception once, waits until no detector is still
// collecting, picks the best decoded message and announces the end of the
// reception with it.
//
// The interface layer builds one receiver per channel, all fed with frames
// from one shared FIFO and analyser. A receiver can also own a FIFO and an
// analyser of its own and take raw samples.
//
// One thread at a time. Every callback (the receiver's and its detectors')
// runs on the caller's thread inside receiver_process_frame (and so inside
// receiver_push_samples and receiver_flush), receiver_reset and the calls that
// change the state. Frames allocate nothing; a completed transmission makes
// one message object in the detector that decoded it.
#pragma once

#include "coding/protocol.h"
#include "coding/tovan.h"
#include "dsp/frame_buffer.h"
#include "dsp/spectrum_analyser.h"
#include "modem/receiver/decoder_settings.h"
#include "modem/receiver/detector.h"

#include <cstddef>
#include <cstdint>

struct receiver;

// The receiving callback always gets NULL. The received callback gets the
// chosen message (owned by the detector that decoded it, valid until that
// detector decodes again, the detectors are rebuilt or the receiver is
// deleted) or NULL when the reception ended without one.
typedef void (*receiver_callback)(receiver *r, const tovan *message, void *user);

enum receiver_state : uint32_t {
    RECEIVER_STATE_STOPPED = 0, // muted: frames are ignored
    RECEIVER_STATE_LISTENING = 1,
    RECEIVER_STATE_RECEIVING = 2,
};

struct receiver {
    uint32_t sample_rate;             // Hz of the input; the settings' rate at creation
    frame_buffer *own_frames;         // owned, only with an own ring
    const decoder_settings *settings; // borrowed, or own_settings after a resize
    const ::protocol *protocol;       // borrowed
    uint8_t channel;
    spectrum_analyser *own_analyser; // owned, only with an own ring
    detector **detectors;            // detector_count owned detectors
    uint32_t detector_count;         // detectors actually built
    receiver_callback receiving_callback;
    receiver_callback received_callback;
    void *receiving_user;
    void *received_user;
    detector_callback detector_started_callback; // handed to every detector built
    detector_callback detector_finished_callback;
    void *detector_started_user;
    void *detector_finished_user;
    uint32_t state;           // receiver_state
    uint8_t decision_pending; // a detector completed and waits for the choice
    const tovan *result;      // the message of the decision being reported, or NULL
    // Private copy of the settings, made by the first FFT-size or hop change
    // so that the borrowed settings, and whoever else reads them, never change.
    decoder_settings *own_settings;
    // Nesting depths of the detector loop and of the own ring's feeding. The
    // detectors, FIFO and analyser are not replaced while code that holds them
    // is running below a callback.
    uint32_t detector_depth;
    uint32_t feeding_depth;
};

// Listening, without callbacks. None for NULL settings or protocol, a channel
// the protocol lacks, settings that do not fit the protocol at their own
// sample rate (decoder_settings_fit_protocol), a detector that cannot be
// built, or exhausted memory. With own_ring the receiver makes a FIFO of 64
// frames and an analyser of the settings' sizes. Settings and protocol must
// outlive the receiver.
receiver *new_receiver(const decoder_settings *settings, const ::protocol *protocol, bool own_ring, uint8_t channel);
// Frees the own FIFO and analyser, every detector (with its message) and the
// record; never the borrowed settings or protocol. Accepts NULL. Not from
// inside one of the receiver's callbacks.
void del_receiver(receiver *r);

// One frame's spectrum of fft_size / 2 powers, read only. A stopped receiver
// ignores it.
void receiver_process_frame(receiver *r, const float *spectrum);
// Raw samples through the own FIFO and analyser. False without an own ring,
// for n = 0, while stopped, or when the FIFO has no room for the n samples.
bool receiver_push_samples(receiver *r, const float *samples, size_t n);
// About one second of silence through the detectors, so that a reception
// near its end completes: trunc(rate / fft_size) zero blocks through the own
// FIFO, or else trunc(rate / hop) zero spectra. Nothing for a hop or FFT size
// of 0, or when the block cannot be allocated.
void receiver_flush(receiver *r);
// Back to listening: a reception in progress ends with the received callback
// carrying the decision's message or NULL. Empties the own FIFO and resets
// every detector (their messages stay). Unmutes a stopped receiver silently.
void receiver_reset(receiver *r);
// Mute (non-zero) or unmute (0). Unmuting a stopped receiver resets it
// without a callback; unmuting a receiving one reports the reception with
// NULL and leaves the detectors running; muting freezes the detectors.
void receiver_set_stopped(receiver *r, int stopped);

void receiver_set_receiving_callback(receiver *r, receiver_callback callback, void *user);
void receiver_set_received_callback(receiver *r, receiver_callback callback, void *user);
// Store the pair and hand it at once to every detector, and to every
// detector built later.
void receiver_set_detector_started_callback(receiver *r, detector_callback callback, void *user);
void receiver_set_detector_finished_callback(receiver *r, detector_callback callback, void *user);

// False, nothing changed, when the protocol's band does not fit under the
// rate with one FFT bin (rate / fft_size Hz) to spare, when the detectors
// cannot be rebuilt, or from inside the detector loop. Otherwise the
// detectors are rebuilt for the rate (frequency correction back to 1.0) and a
// reception in progress ends as by receiver_reset. The settings keep their rate.
bool receiver_set_sample_rate(receiver *r, uint32_t rate);
uint32_t receiver_sample_rate(const receiver *r);
// False for NULL, a receiver without detectors, or when detector 0 reports no
// factor; else the factor goes to every detector in order, and at the first
// refusal the earlier ones get detector 0's old factor back (false). The
// factor multiplies the frequencies heard, so 1 / r undoes a sender's clock
// running r times the receiver's: the detectors then search and filter where
// the tones are heard. Allocates nothing and may come during a reception,
// whose remaining frames are read with the new factor.
bool receiver_set_frequency_correction(receiver *r, float factor);
// Detector 0's factor; 0.0 for NULL or without detectors.
float receiver_frequency_correction(const receiver *r);
// False for a channel the protocol lacks, when the detectors cannot be
// rebuilt, or from inside the detector loop; otherwise as for the rate.
bool receiver_set_channel(receiver *r, uint8_t channel);
uint8_t receiver_channel(const receiver *r);
uint32_t receiver_state(const receiver *r);
const ::protocol *receiver_protocol(const receiver *r);
const decoder_settings *receiver_settings(const receiver *r);

// Whether a detector's result beats the best one so far (NULL: none yet):
// a decoded message beats any failure, fewer corrections win among decoded
// ones, a CRC mismatch beats a Reed-Solomon failure, and any other state
// ranks below all three. Equal results keep the earlier one.
bool receiver_result_beats(const tovan *candidate, const tovan *best);

// Sets the state with its notification: listening to receiving calls the
// receiving callback, receiving to listening the received one (NULL), and
// leaving stopped runs receiver_reset. Values above 2 are ignored.
void receiver_set_state(receiver *r, uint32_t state);
// Receiving, then every detector collecting.
void receiver_force_receiving(receiver *r);
// Back to the settings' own sample rate: false when the settings do not fit
// the protocol there or the detectors cannot be rebuilt.
bool receiver_rebuild(receiver *r);
// A fresh own analyser of the settings' FFT size; nothing without an own
// ring, inside a callback of the ring, or when memory runs out.
void receiver_reset_transform(receiver *r);
// Frees every detector; the receiver then never decodes, and a reception in
// progress ends as by receiver_reset. Nothing from inside the detector loop.
void receiver_free_detectors(receiver *r);
// New FFT size or hop for a receiver with its own ring: the FIFO, analyser
// and detectors are rebuilt on a private copy of the settings, so nothing
// that shares the borrowed settings sees a change. False, nothing changed,
// without an own ring, inside a callback of the ring or detector loop, when
// the new settings do not fit the protocol at the receiver's rate, or when
// memory runs out. A reception in progress ends as by receiver_reset.
bool receiver_set_fft_size(receiver *r, uint16_t size);
bool receiver_set_hop_size(receiver *r, uint8_t hop);
