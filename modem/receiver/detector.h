// Detector: one of the parallel decoders a receiver runs on every power
// spectrum of its channel. Per frame it equalises its own copy of the
// spectrum, subtracts the noise floor, picks the strongest peaks and turns
// them into one frame decision (a symbol and a confidence). It keeps the last
// H decisions, scores the front door against fixed windows of that history,
// and once locked votes the payload length and then each data symbol as soon
// as its slot has passed. With every symbol in, it decodes them into a message
// and reports completion.
//
// Receive-side timing is counted in frames (hops), worked out once at
// construction in single precision with truncation toward zero. History
// index 0 is the oldest frame kept, H - 1 the newest.
//
// One thread at a time. The per-frame path allocates nothing; a completion
// makes one message object.
#pragma once

#include "coding/protocol.h"
#include "coding/tovan.h"
#include "dsp/noise_filter.h"
#include "modem/receiver/decoder_settings.h"
#include "modem/receiver/peak_finder.h"
#include "modem/receiver/response_curve.h"
#include "modem/receiver/vote_box.h"

#include <cstdint>

struct detector;

// The message is the detector's own (none for a start), valid until the
// detector decodes again or is deleted.
typedef void (*detector_callback)(detector *d, const tovan *message, void *user);

enum detector_state : uint32_t {
    DETECTOR_STATE_IDLE = 0,       // searching for a front door
    DETECTOR_STATE_COLLECTING = 1, // locked; voting data symbols
    DETECTOR_STATE_COMPLETE = 2,   // every data symbol voted and decoded into `message`
    DETECTOR_STATE_WAITING = 3,    // the receiver holds the result for its choice
};

// What one spectrum frame reads as.
struct frame_decision {
    uint64_t symbol;  // all ones: no valid symbol in the frame
    float confidence; // mean closeness of the peaks to whole tones, 0 to 1; 0 without a symbol
};

// Where the symbol of one ordinal (header symbols first, then data symbols)
// is read, in frames from the start of its slot.
struct slot_window {
    int32_t frames; // length of the slot carrying the symbol
    int32_t start;  // first frame read, past the attack
    int32_t end;    // first frame no longer read, before the release and gap
    int32_t width;  // end - start; may be 0 or negative for odd settings
};

struct detector {
    const decoder_settings *settings; // borrowed; read at construction only
    const ::protocol *protocol;       // borrowed
    uint8_t channel;
    vote_box *votes;       // owned; capacity = widest window, at most H
    uint32_t index;        // record number in settings
    response_curve *curve; // owned, or NULL without curve points
    noise_filter *noise;   // owned, or NULL when the noise subtraction is 0
    peak_finder *peaks;    // owned
    int32_t time_shift;    // frames the data windows move
    uint32_t sample_rate;  // Hz of the audio fed in (the receiver's, not the settings')
    float threshold;       // front-door score to exceed
    detector_callback on_started;
    detector_callback on_finished;
    void *started_user;
    void *finished_user;
    // Ring of 2H decisions holding every entry twice (at p and p + H), so
    // that logical entry i is history[history_head + i] and any window is
    // one contiguous run. Owned.
    frame_decision *history;
    uint32_t state;         // detector_state
    int32_t history_length; // H
    slot_window *windows;   // window_count entries, owned
    // History index where each header slot begins when the header ends with
    // the newest frame, one per header symbol. Owned.
    int32_t *header_positions;
    uint32_t length;         // payload bytes of the transmission being read; 0 = none
    uint32_t symbols_needed; // data symbols to collect for `length`
    uint32_t collected;      // data symbols voted so far
    int32_t frames_since_lock;
    float lock_score;       // score of the last accepted front door
    uint64_t *results;      // one voted symbol per data ordinal, max data symbols, owned
    tovan *message;         // last decoded message, owned, or NULL
    uint8_t *tones;         // k tone indices, scratch for one frame, owned
    // bins floats, the working copy of a frame, owned: only bins read_first
    // .. read_last hold it, the only ones the peak search reads.
    float *spectrum;
    int32_t history_head;   // ring position of logical entry 0, 0 .. H - 1
    uint32_t header_count;  // header symbols of the protocol
    uint32_t data_count;    // data symbols of its longest frame: the size of `results`
    uint32_t window_count;  // header_count + data_count
    uint16_t fft_size;      // at construction
    uint32_t bins;          // fft_size / 2 at construction
    // Bins the peak search reads for the present factor, the only ones the
    // per-frame stages work on; none when read_first > read_last.
    uint32_t read_first;
    uint32_t read_last;
    uint16_t relock_frames; // L: frames after a lock in which a better front door may take over
    // Per data ordinal j: frames from the end of the header to the end of the
    // slot of data symbol j (a float, compared strictly, never rounded). Owned.
    float *due;
    // History entries inside the front-door windows that hold their window's
    // symbol, kept up to date by every push: no score can exceed this count
    // over the windows' total width while every confidence in the history is
    // at most 1, which confidences_bounded says (true when every decision
    // since the last reset had one).
    int32_t frontdoor_matches;
    bool confidences_bounded;
    int64_t frontdoor_width; // the front-door windows' total width, above 0
};

// None when the index or channel lies outside the settings or protocol, the
// hop is 0, the FFT size is below 2 (no bin to read), the header slot is
// shorter than one hop (no history), the front-door windows have no positive
// total width, the noise filter refuses the record's subtraction or smoothing
// (outside 0 to 1, or NaN), or memory runs out. The settings and protocol
// must outlive the detector.
detector *new_detector(const decoder_settings *settings, const ::protocol *protocol, uint8_t channel,
                       uint32_t sample_rate, uint8_t index);
// Frees everything the detector owns, the decoded message included; never
// the settings or the protocol. Accepts NULL.
void del_detector(detector *d);

// One frame: `spectrum` holds `bins` powers, read only (every detector of a
// receiver is handed the same array); only bins read_first .. read_last are
// looked at. Allocates nothing unless the frame completes a transmission.
void detector_process_frame(detector *d, const float *spectrum);
// The second half of a frame: the k peaks of its spectrum (strongest first,
// Hz after the frequency correction) become one decision, which is pushed.
void detector_push_peaks(detector *d, const spectral_peak *peaks);
// Appends one decision, runs the front-door test and votes the next data
// symbol when its slot has passed.
void detector_push_decision(detector *d, frame_decision decision);
// The front-door test on the present history: true when it accepts a lock,
// having then set length, symbols_needed and lock_score.
bool detector_find_frontdoor(detector *d);
// Idle and collecting clear the collection counters even without a change.
// Entering complete decodes the collected symbols into a new message and
// calls on_finished; entering collecting calls on_started.
void detector_set_state(detector *d, uint32_t state);
// Idle with an empty history and no length, without a callback. Keeps the
// decoded message, the noise estimate and the frequency correction.
void detector_reset(detector *d);

uint32_t detector_state(const detector *d);
const tovan *detector_result(const detector *d); // still owned by the detector
uint32_t detector_index(const detector *d);
uint8_t detector_channel(const detector *d);
// Logical history entry i (0 oldest, H - 1 newest); for tests and tools.
frame_decision detector_history_entry(const detector *d, int32_t i);

// Store the pair; NULL removes the callback.
void detector_set_started_callback(detector *d, detector_callback callback, void *user);
void detector_set_finished_callback(detector *d, detector_callback callback, void *user);
// False for NULL; otherwise the peak finder's answer (0.5 to 1.5 accepted).
// An accepted factor also moves the bands searched and filtered to where the
// tones are heard when it is right (at 1 / factor of their frequency), kept
// within the spectrum; noise estimates of bins that join the band start from
// zero. Allocates nothing, so it may come between two frames of a reception,
// whose later frames are then read with the new factor.
bool detector_set_frequency_correction(detector *d, float factor);
// 0.0 for NULL; otherwise the peak finder's factor (1.0 until changed).
float detector_frequency_correction(const detector *d);
