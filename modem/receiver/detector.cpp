#include "modem/receiver/detector.h"

#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kNoSymbol = ~uint64_t{0};

// Rates and slot lengths come from a config. Without a bound, a rate of a few
// GHz or a slot of an hour asks for gigabytes of history and makes every stop
// flush billions of frames; 384 kHz covers every audio interface, and 2^15
// frames of history hold the whole header at that rate with room to spare.
constexpr uint32_t kMaxSampleRate = 384000;
constexpr int64_t kMaxHistoryFrames = int64_t{1} << 15;

int32_t clamp_to_i32(int64_t v)
{
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// Window of ordinal i. `start` truncates a frame count scaled by the window
// factor; `end` truncates a sample count and then divides it by the hop as
// whole numbers. The two recipes round differently on purpose.
slot_window make_window(const protocol *p, uint32_t i, float rate, uint8_t hop, float wf)
{
    const float hopf = static_cast<float>(hop);
    const float duration = protocol_symbol_slot_duration(p, static_cast<uint8_t>(i));
    const float gap = protocol_slot_gap(p, static_cast<uint8_t>(i));
    slot_window w;
    w.frames = saturate_cast<int32_t>((rate * duration) / hopf);
    w.start = saturate_cast<int32_t>(((rate * protocol_attack(p)) / hopf) * wf);
    const int32_t end_samples = saturate_cast<int32_t>(rate * ((duration - protocol_release(p) * wf) - gap));
    w.end = end_samples / static_cast<int32_t>(hop);
    w.width = clamp_to_i32(static_cast<int64_t>(w.end) - w.start);
    return w;
}

// History entries [from + start, from + end) of a window, clipped to the
// history; sets lo and hi to the clipped range (empty when lo >= hi).
void clip_window(int64_t from, const slot_window &w, int32_t h, int32_t *lo, int32_t *hi)
{
    const int64_t a = from + w.start;
    const int64_t b = from + w.end;
    *lo = static_cast<int32_t>(a < 0 ? 0 : (a > h ? h : a));
    *hi = static_cast<int32_t>(b > h ? h : (b < 0 ? 0 : b));
}

const frame_decision *logical_history(const detector *d)
{
    return d->history + d->history_head;
}

// Frames from the end of the header to the end of the slot of frame symbol s.
float due_frames(const protocol *p, uint32_t s, uint32_t header, float rate, uint8_t hop)
{
    const uint8_t symbol = static_cast<uint8_t>(s);
    const float end_of_slot = protocol_time_before_symbol(p, symbol) + protocol_symbol_slot_duration(p, symbol);
    return (rate * (end_of_slot - static_cast<float>(header) * protocol_frontdoor_duration(p))) /
           static_cast<float>(hop);
}

// Builds windows, header positions, history size, vote capacity and timing;
// false for a protocol and settings that leave no history or no front door.
bool build_geometry(detector *d, const detector_settings *rec, uint8_t hop)
{
    const protocol *p = d->protocol;
    const float rate = static_cast<float>(d->sample_rate);
    const uint32_t header = d->header_count;
    int64_t widest = 0;
    for (uint32_t i = 0; i < d->window_count; ++i) {
        d->windows[i] = make_window(p, i, rate, hop, rec->window_factor);
        if (d->windows[i].width > widest)
            widest = d->windows[i].width;
    }

    // The whole header plus one more header slot of older frames.
    const int64_t h = static_cast<int64_t>(header + 1) * d->windows[0].frames;
    if (h < 1 || h > kMaxHistoryFrames)
        return false;
    d->history_length = static_cast<int32_t>(h);

    int64_t tail = 0;
    for (uint32_t i = header; i-- > 0;) {
        tail += d->windows[i].frames;
        d->header_positions[i] = clamp_to_i32(h - tail);
    }

    // The score divides by the front-door widths: refuse a front door that
    // cannot be matched at all rather than divide by zero or a negative.
    int64_t frontdoor_width = 0;
    for (uint32_t i = 0; i < protocol_frontdoor_length(p); ++i)
        frontdoor_width += d->windows[i].width;
    if (frontdoor_width <= 0)
        return false;
    d->frontdoor_width = frontdoor_width;

    // Reads are clipped to the history, so no window casts more than H votes.
    d->votes = new_vote_box(static_cast<uint32_t>(widest < h ? widest : h));
    if (d->votes == nullptr)
        return false;

    d->relock_frames = saturate_cast<uint16_t>((protocol_symbol_slot_duration(p, 0) * rate) / static_cast<float>(hop));
    for (uint32_t j = 0; j < d->data_count; ++j)
        d->due[j] = due_frames(p, header + j, header, rate, hop);
    return true;
}

struct bin_range {
    uint32_t lo, hi; // inclusive; empty when lo > hi
};

// The protocol's band (every channel, with a bin to spare at each end) where
// it is heard when `factor` corrects the sender's clock: the tones arrive at
// 1 / factor of their frequency. With a factor of 1 the division is exact and
// these are protocol_low_bin and protocol_high_bin.
bin_range heard_band(const protocol *p, uint32_t rate, uint32_t fft_size, float factor)
{
    const float r = static_cast<float>(rate);
    const float bottom = protocol_tone_frequency(p, 0.0f, 0);
    const float top = protocol_tone_frequency(p, static_cast<float>(protocol_tone_count(p)),
                                              static_cast<uint8_t>(protocol_channel_count(p) - 1));
    const float low = static_cast<float>(static_cast<int32_t>(fft_size)) * ((bottom / factor) / r) - 1.0f;
    const float high = static_cast<float>(fft_size) * ((top / factor) / r) + 1.0f;
    const uint32_t half = fft_size / 2;
    bin_range b;
    b.lo = low < 0.0f ? 0 : saturate_cast<uint32_t>(low);
    b.hi = half == 0 ? 0 : (high >= static_cast<float>(half) ? half - 1 : saturate_cast<uint32_t>(high));
    return b;
}

// A noise filter with estimates for every bin the protocol's band can move
// to over the factors a peak finder accepts, so that a new factor takes no
// memory; place_bands sets the bins it filters. None when memory runs out or
// the record holds a factor or smoothing the filter refuses.
noise_filter *make_noise_filter(const detector *d, const detector_settings *rec)
{
    const protocol *p = d->protocol;
    const bin_range now = heard_band(p, d->sample_rate, d->fft_size, 1.0f);
    const bin_range low = heard_band(p, d->sample_rate, d->fft_size, PEAK_FINDER_MAX_CORRECTION);
    const bin_range high = heard_band(p, d->sample_rate, d->fft_size, PEAK_FINDER_MIN_CORRECTION);
    const uint32_t first = std::min({now.lo, low.lo, high.lo});
    const uint32_t last = std::max({now.hi, low.hi, high.hi});
    noise_filter *nf = new_noise_filter(first, last);
    if (nf == nullptr || !noise_filter_set_factor(nf, rec->noise_subtraction) ||
        !noise_filter_set_smoothing(nf, rec->noise_smoothing)) {
        del_noise_filter(nf);
        return nullptr;
    }
    return nf;
}

// Per frame a detector works only on the bins its peak search reads: the
// curve and the copy cover them, and the noise filter the part of the
// protocol's band (where it is heard at `factor`) among them. Every other
// bin is never read, so leaving it out changes no number that is. False when
// the noise filter cannot take the band (it holds no estimate there).
bool place_bands(detector *d, float factor)
{
    d->read_first = 1;
    d->read_last = 0;
    peak_finder_bins_read(d->peaks, &d->read_first, &d->read_last);
    if (d->noise == nullptr)
        return true;
    const bin_range heard = heard_band(d->protocol, d->sample_rate, d->fft_size, factor);
    const uint32_t lo = std::max(heard.lo, d->read_first);
    const uint32_t hi = std::min(heard.hi, d->read_last);
    return lo <= hi ? noise_filter_set_band(d->noise, lo, hi) : noise_filter_set_band(d->noise, 1, 0);
}

// Symbol and confidence of the peaks of the working spectrum. A slot without
// a peak, or with one off the channel's tones, makes the frame no symbol:
// silence must not read as tone 0.
frame_decision decide_frame(detector *d, const spectral_peak *peaks)
{
    const protocol *p = d->protocol;
    const int32_t k = d->peaks->peak_count;
    const float tones = static_cast<float>(protocol_tone_count(p));
    bool valid = true;
    float sum = 0.0f;
    for (int32_t j = 0; j < k; ++j) {
        d->tones[j] = 0;
        if (spectral_peak_is_empty(&peaks[j])) {
            valid = false;
            continue;
        }
        const float t = protocol_tone_index(p, peaks[j].frequency, d->channel);
        // Exactly the indices that round (halves away from zero) into
        // 0 .. tones - 1; NaN fails too.
        if (!(t > -0.5f && t < tones - 0.5f)) {
            valid = false;
            continue;
        }
        const int32_t r = saturate_cast<int32_t>(math_round(t));
        d->tones[j] = static_cast<uint8_t>(r);
        sum += 1.0f - 2.0f * math_abs(static_cast<float>(r) - t);
    }
    frame_decision out{kNoSymbol, 0.0f};
    if (valid) {
        out.symbol = protocol_symbol_from_tones(p, d->tones);
        if (out.symbol != kNoSymbol)
            out.confidence = sum / static_cast<float>(k);
    }
    return out;
}

// Bins first .. last (first <= last) of the working copy: the shared
// spectrum times the curve's gains, or copied without a curve.
void equalise(detector *d, const float *spectrum, uint32_t first, uint32_t last)
{
    if (d->curve != nullptr)
        response_curve_apply_bins(d->curve, spectrum, d->spectrum, first, last - first + 1);
    else
        std::memcpy(d->spectrum + first, spectrum + first, sizeof(float) * (last - first + 1));
}

// The working copy on the bins the peak search reads: equalised, then noise
// filtered over the part of them in the filter's band (place_bands keeps that
// band within them). Inside the band the filter equalises each bin as it
// takes it from the shared spectrum, so those bins are passed over once.
void prepare_spectrum(detector *d, const float *spectrum)
{
    const uint32_t first = d->read_first;
    const uint32_t last = d->read_last;
    const noise_filter *nf = d->noise;
    if (nf == nullptr || nf->lo > nf->hi) {
        equalise(d, spectrum, first, last);
        return;
    }
    if (nf->lo > first)
        equalise(d, spectrum, first, nf->lo - 1);
    noise_filter_apply_scaled(d->noise, d->curve != nullptr ? d->curve->gains : nullptr, spectrum, d->spectrum);
    if (nf->hi < last)
        equalise(d, spectrum, nf->hi + 1, last);
}

// The history entries of front-door window i, clipped to the history.
void frontdoor_window(const detector *d, uint32_t i, int32_t *lo, int32_t *hi)
{
    clip_window(d->header_positions[i], d->windows[i], d->history_length, lo, hi);
}

// Counts the matches of the front-door windows from scratch.
void count_frontdoor_matches(detector *d)
{
    const frame_decision *history = logical_history(d);
    const uint64_t *expected = protocol_frontdoor_symbols(d->protocol);
    int32_t matches = 0;
    for (uint32_t i = 0; i < protocol_frontdoor_length(d->protocol); ++i) {
        int32_t lo = 0;
        int32_t hi = 0;
        frontdoor_window(d, i, &lo, &hi);
        for (int32_t e = lo; e < hi; ++e)
            matches += history[e].symbol == expected[i];
    }
    d->frontdoor_matches = matches;
}

// Before `incoming` is pushed: every window moves one entry towards the
// newest, losing its oldest entry and gaining the one after its newest (the
// incoming decision when the window ends with the history).
void move_frontdoor_matches(detector *d, frame_decision incoming)
{
    const frame_decision *history = logical_history(d);
    const uint64_t *expected = protocol_frontdoor_symbols(d->protocol);
    const int32_t h = d->history_length;
    const uint32_t doors = protocol_frontdoor_length(d->protocol);
    for (uint32_t i = 0; i < doors; ++i) {
        int32_t lo = 0;
        int32_t hi = 0;
        frontdoor_window(d, i, &lo, &hi);
        if (lo >= hi)
            continue;
        const frame_decision &gained = hi == h ? incoming : history[hi];
        d->frontdoor_matches += (gained.symbol == expected[i]) - (history[lo].symbol == expected[i]);
    }
    // Also false for NaN, so that the bound is never trusted with one.
    if (!(incoming.confidence <= 1.0f))
        d->confidences_bounded = false;
}

// Every entry of [lo, hi) that holds a symbol votes with its confidence;
// cleared entries (symbol 0, confidence 0) take a place but cannot win.
void vote_range(detector *d, int32_t lo, int32_t hi)
{
    const frame_decision *h = logical_history(d);
    for (int32_t i = lo; i < hi; ++i)
        if (h[i].symbol != kNoSymbol)
            vote_box_add(d->votes, h[i].symbol, h[i].confidence);
}

void vote_next_symbol(detector *d)
{
    const slot_window &w = d->windows[d->header_count + d->collected];
    int32_t lo = 0;
    int32_t hi = 0;
    clip_window(static_cast<int64_t>(d->history_length) - w.frames + d->time_shift, w, d->history_length, &lo, &hi);
    vote_box_clear(d->votes);
    vote_range(d, lo, hi);
    vote_box_decide(d->votes);
    const uint64_t winner = vote_box_winner(d->votes);
    d->results[d->collected] = winner == kNoSymbol ? 0 : winner;
}

} // namespace

detector *new_detector(const decoder_settings *settings, const ::protocol *protocol, uint8_t channel,
                       uint32_t sample_rate, uint8_t index)
{
    if (settings == nullptr || protocol == nullptr || index >= settings->detector_count ||
        settings->detectors == nullptr || channel >= protocol_channel_count(protocol) || settings->hop == 0 ||
        settings->fft_size < 2 || sample_rate > kMaxSampleRate)
        return nullptr;
    const detector_settings *rec = &settings->detectors[index];
    const uint32_t header = protocol_header_symbol_count(protocol);
    const uint32_t max_data = protocol_max_data_symbol_count(protocol);
    const uint32_t k = protocol_tones_per_symbol(protocol);
    const uint16_t fft_size = settings->fft_size;

    detector *d = tracked_alloc<detector>(1);
    if (d == nullptr)
        return nullptr;
    d->settings = settings;
    d->protocol = protocol;
    d->channel = channel;
    d->sample_rate = sample_rate;
    d->index = index;
    d->header_count = header;
    d->data_count = max_data;
    d->window_count = header + max_data;
    d->fft_size = fft_size;
    d->bins = fft_size / 2u;
    d->spectrum = tracked_alloc<float>(d->bins);
    d->windows = tracked_alloc<slot_window>(d->window_count);
    d->header_positions = tracked_alloc<int32_t>(header);
    d->due = tracked_alloc<float>(max_data);
    d->results = tracked_alloc<uint64_t>(max_data);
    d->tones = tracked_alloc<uint8_t>(k);
    if (d->spectrum == nullptr || d->windows == nullptr || d->header_positions == nullptr || d->due == nullptr ||
        d->results == nullptr || d->tones == nullptr || !build_geometry(d, rec, settings->hop)) {
        del_detector(d);
        return nullptr;
    }
    d->history = tracked_alloc<frame_decision>(2 * static_cast<uint64_t>(d->history_length));
    if (d->history == nullptr) {
        del_detector(d);
        return nullptr;
    }

    // A NaN subtraction counts as one: the filter then refuses it.
    if (rec->noise_subtraction != 0.0f) {
        d->noise = make_noise_filter(d, rec);
        if (d->noise == nullptr) {
            del_detector(d);
            return nullptr;
        }
    }
    d->time_shift = rec->time_shift;
    if (rec->curve_points != 0) {
        d->curve = new_response_curve(fft_size, sample_rate, rec->curve, rec->curve_points);
        if (d->curve == nullptr) {
            del_detector(d);
            return nullptr;
        }
    }
    // From tone 0 to one tone past the top tone of the channel.
    d->peaks = new_peak_finder(
        sample_rate, fft_size, static_cast<int32_t>(k), protocol_tone_frequency(protocol, 0.0f, channel),
        protocol_tone_frequency(protocol, static_cast<float>(protocol_tone_count(protocol)), channel));
    if (d->peaks == nullptr) {
        del_detector(d);
        return nullptr;
    }
    if (!place_bands(d, 1.0f)) {
        del_detector(d);
        return nullptr;
    }
    d->threshold = rec->frontdoor_threshold;
    detector_reset(d);
    return d;
}

void del_detector(detector *d)
{
    if (d == nullptr)
        return;
    tracked_free(d->spectrum);
    tracked_free(d->history);
    tracked_free(d->header_positions);
    tracked_free(d->windows);
    tracked_free(d->due);
    tracked_free(d->results);
    tracked_free(d->tones);
    del_tovan(d->message);
    d->message = nullptr;
    del_response_curve(d->curve);
    del_peak_finder(d->peaks);
    del_noise_filter(d->noise);
    del_vote_box(d->votes);
    tracked_free(d);
}

void detector_process_frame(detector *d, const float *spectrum)
{
    // Without a curve or a noise filter the shared spectrum is read as it is.
    const float *x = spectrum;
    if (d->curve != nullptr || d->noise != nullptr) {
        if (d->read_first <= d->read_last)
            prepare_spectrum(d, spectrum);
        x = d->spectrum;
    }
    detector_push_peaks(d, peak_finder_find(d->peaks, x));
}

void detector_push_peaks(detector *d, const spectral_peak *peaks)
{
    detector_push_decision(d, decide_frame(d, peaks));
}

void detector_push_decision(detector *d, frame_decision decision)
{
    move_frontdoor_matches(d, decision);
    // The oldest entry's slot takes the newest decision, in both copies.
    const int32_t h = d->history_length;
    d->history[d->history_head] = decision;
    d->history[d->history_head + h] = decision;
    d->history_head = d->history_head + 1 == h ? 0 : d->history_head + 1;

    if (detector_find_frontdoor(d)) {
        // A better front door while collecting restarts the collection
        // without a second start callback.
        d->collected = 0;
        d->frames_since_lock = 0;
        if (d->state != DETECTOR_STATE_COLLECTING)
            detector_set_state(d, DETECTOR_STATE_COLLECTING);
    }
    if (d->state != DETECTOR_STATE_COLLECTING)
        return;

    // The results hold data_count symbols: collection ends there whatever
    // the length said (a forced collection may have no length at all).
    const bool slot_passed =
        d->collected < d->data_count && static_cast<float>(d->frames_since_lock) > d->due[d->collected];
    if (slot_passed) {
        vote_next_symbol(d);
        ++d->collected;
        if (d->collected >= d->symbols_needed || d->collected >= d->data_count)
            detector_set_state(d, DETECTOR_STATE_COMPLETE);
    }
    if (d->frames_since_lock < std::numeric_limits<int32_t>::max())
        ++d->frames_since_lock;
}

bool detector_find_frontdoor(detector *d)
{
    const protocol *p = d->protocol;
    const int32_t h = d->history_length;
    const frame_decision *history = logical_history(d);
    const uint32_t doors = protocol_frontdoor_length(p);
    const uint64_t *expected = protocol_frontdoor_symbols(p);

    // Clipped windows still count their full width.
    const int64_t total = d->frontdoor_width;
    if (total <= 0)
        return false;
    // Summed in single precision, n confidences of at most 1 never exceed n,
    // and the division keeps that order: a front door refused by this bound
    // is refused by its score, without adding up the windows.
    if (d->confidences_bounded &&
        !(static_cast<float>(d->frontdoor_matches) / static_cast<float>(total) > d->threshold))
        return false;
    float matched = 0.0f;
    for (uint32_t i = 0; i < doors; ++i) {
        int32_t lo = 0;
        int32_t hi = 0;
        frontdoor_window(d, i, &lo, &hi);
        for (int32_t e = lo; e < hi; ++e)
            if (history[e].symbol == expected[i])
                matched += history[e].confidence;
    }
    const float score = matched / static_cast<float>(total);
    if (!(score > d->threshold))
        return false;
    if (d->state != DETECTOR_STATE_IDLE &&
        !(d->frames_since_lock < static_cast<int32_t>(d->relock_frames) && score > d->lock_score))
        return false;

    vote_box_clear(d->votes);
    uint32_t length = d->length;
    if (protocol_is_fixed_length(p)) {
        length = protocol_max_payload_length(p);
    } else {
        // The length slot is the last header slot, never time-shifted.
        const uint32_t ordinal = d->header_count - 1;
        int32_t lo = 0;
        int32_t hi = 0;
        clip_window(d->header_positions[ordinal], d->windows[ordinal], h, &lo, &hi);
        vote_range(d, lo, hi);
        vote_box_decide(d->votes);
        // Only a length the protocol can frame: a shorter one would give a
        // wrapped parity and more data symbols than there are results.
        const uint64_t w = vote_box_winner(d->votes);
        if (w >= protocol_min_payload_length(p) && w <= protocol_max_payload_length(p))
            length = static_cast<uint32_t>(w);
    }
    if (length == 0)
        return false;
    const int32_t needed = static_cast<int32_t>(protocol_symbol_count_for_length(p, static_cast<uint8_t>(length))) -
                           static_cast<int32_t>(d->header_count);
    if (needed < 1 || needed > static_cast<int32_t>(d->data_count))
        return false;
    d->length = length;
    d->symbols_needed = static_cast<uint32_t>(needed);
    d->lock_score = score;
    return true;
}

void detector_set_state(detector *d, uint32_t state)
{
    if (state > DETECTOR_STATE_WAITING)
        return;
    if (state == DETECTOR_STATE_IDLE || state == DETECTOR_STATE_COLLECTING) {
        d->collected = 0;
        d->frames_since_lock = 0;
    }
    if (state == d->state)
        return;
    d->state = state;
    if (state == DETECTOR_STATE_COMPLETE) {
        del_tovan(d->message);
        d->message = new_tovan(d->protocol);
        if (d->message != nullptr) {
            // The decode's own code is not needed: the message's state tells
            // the receiver how it went.
            const uint32_t n = d->symbols_needed < d->data_count ? d->symbols_needed : d->data_count;
            tovan_decode(d->message, d->results, static_cast<uint8_t>(n), static_cast<uint8_t>(d->length));
        }
        if (d->on_finished != nullptr)
            d->on_finished(d, d->message, d->finished_user);
    } else if (state == DETECTOR_STATE_COLLECTING) {
        if (d->on_started != nullptr)
            d->on_started(d, nullptr, d->started_user);
    }
}

void detector_reset(detector *d)
{
    d->state = DETECTOR_STATE_IDLE;
    d->length = 0;
    d->symbols_needed = 0;
    d->collected = 0;
    d->frames_since_lock = 0;
    d->lock_score = 0.0f;
    std::memset(d->results, 0, sizeof(uint64_t) * d->data_count);
    std::memset(d->history, 0, sizeof(frame_decision) * 2 * static_cast<size_t>(d->history_length));
    d->history_head = 0;
    count_frontdoor_matches(d);
    d->confidences_bounded = true;
}

uint32_t detector_state(const detector *d)
{
    return d->state;
}

const tovan *detector_result(const detector *d)
{
    return d->message;
}

uint32_t detector_index(const detector *d)
{
    return d->index;
}

uint8_t detector_channel(const detector *d)
{
    return d->channel;
}

frame_decision detector_history_entry(const detector *d, int32_t i)
{
    return logical_history(d)[i];
}

void detector_set_started_callback(detector *d, detector_callback callback, void *user)
{
    d->on_started = callback;
    d->started_user = user;
}

void detector_set_finished_callback(detector *d, detector_callback callback, void *user)
{
    d->on_finished = callback;
    d->finished_user = user;
}

bool detector_set_frequency_correction(detector *d, float factor)
{
    if (d == nullptr)
        return false;
    const float old = peak_finder_frequency_correction(d->peaks);
    if (!peak_finder_set_frequency_correction(d->peaks, factor))
        return false;
    if (!place_bands(d, factor)) {
        peak_finder_set_frequency_correction(d->peaks, old);
        place_bands(d, old);
        return false;
    }
    return true;
}

float detector_frequency_correction(const detector *d)
{
    return d == nullptr ? 0.0f : peak_finder_frequency_correction(d->peaks);
}
