#include "modem/receiver/receiver.h"

#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/convert.h"
#include "runtime/memory_manager.h"

#include <cstring>

namespace {

// Frames an own FIFO holds.
constexpr uint8_t kOwnRingFrames = 64;

void free_detector_list(detector **&list, uint32_t count)
{
    if (list == nullptr)
        return;
    for (uint32_t i = 0; i < count; ++i)
        del_detector(list[i]);
    tracked_free(list);
}

// A complete set of detectors for the given settings, rate and channel, with
// the receiver's detector callbacks; NULL, with nothing left allocated, when
// any of them cannot be built.
detector **build_detector_list(const receiver *r, const decoder_settings *settings, uint32_t rate, uint8_t channel)
{
    const uint32_t count = settings->detector_count;
    detector **list = tracked_alloc<detector *>(count);
    if (list == nullptr)
        return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        list[i] = new_detector(settings, r->protocol, channel, rate, static_cast<uint8_t>(i));
        if (list[i] == nullptr) {
            free_detector_list(list, count);
            return nullptr;
        }
        if (r->detector_started_callback != nullptr)
            detector_set_started_callback(list[i], r->detector_started_callback, r->detector_started_user);
        if (r->detector_finished_callback != nullptr)
            detector_set_finished_callback(list[i], r->detector_finished_callback, r->detector_finished_user);
    }
    return list;
}

void replace_detectors(receiver *r, detector **list, uint32_t count)
{
    free_detector_list(r->detectors, r->detector_count);
    r->detectors = list;
    r->detector_count = count;
}

// After a rebuild no detector still knows of the reception in progress, so
// nothing would ever end it: end it now, reporting no message.
void end_lost_reception(receiver *r)
{
    if (r->state == RECEIVER_STATE_RECEIVING)
        receiver_reset(r);
}

// Rebuilds the detectors for a new rate or channel; false, nothing changed,
// when they cannot be built or a detector loop is running below us.
bool rebuild_detectors(receiver *r, uint32_t rate, uint8_t channel)
{
    if (r->detector_depth > 0)
        return false;
    detector **list = build_detector_list(r, r->settings, rate, channel);
    if (list == nullptr)
        return false;
    replace_detectors(r, list, r->settings->detector_count);
    r->sample_rate = rate;
    r->channel = channel;
    end_lost_reception(r);
    return true;
}

// 1 decoded, 2 CRC mismatch, 3 Reed-Solomon failure; anything else (a
// message whose decode never got past its checks) ranks below them all.
uint32_t result_rank(const tovan *m)
{
    const uint32_t s = tovan_get_state(m);
    return s >= TOVAN_STATE_DECODED && s <= TOVAN_STATE_UNCORRECTABLE ? s : TOVAN_STATE_UNCORRECTABLE + 1;
}

void decide(receiver *r)
{
    const tovan *best = nullptr;
    for (uint32_t i = 0; i < r->detector_count; ++i) {
        detector *d = r->detectors[i];
        if (detector_state(d) != DETECTOR_STATE_WAITING)
            continue;
        if (receiver_result_beats(detector_result(d), best))
            best = detector_result(d);
        detector_set_state(d, DETECTOR_STATE_IDLE);
    }
    r->result = best;
    receiver_reset(r);
}

// The settings as a new record of our own, through the body format, which
// carries every field.
decoder_settings *copy_settings(const decoder_settings *s)
{
    const uint64_t name = s->name == nullptr ? 0 : std::strlen(s->name);
    const uint64_t d = s->detector_count;
    const uint64_t points = d > 0 && s->detectors != nullptr ? s->detectors[0].curve_points : 0;
    const uint64_t size = 11 + (name < 255 ? name : 255) + 17 * d + 8 * points * d;
    uint8_t *body = tracked_alloc<uint8_t>(size);
    if (body == nullptr)
        return nullptr;
    uint64_t position = 0;
    decoder_settings_to_bytes(s, body, &position);
    uint64_t read = 0;
    decoder_settings *copy = decoder_settings_from_bytes(body, position, &read, 6);
    tracked_free(body);
    return copy;
}

// New sizes for a receiver with its own ring: everything that depends on
// them is built first, and swapped in only when all of it stands.
bool resize(receiver *r, uint16_t fft_size, uint8_t hop)
{
    if (r->own_frames == nullptr || r->own_analyser == nullptr || r->detector_depth > 0 || r->feeding_depth > 0)
        return false;
    decoder_settings *settings = copy_settings(r->settings);
    if (settings == nullptr)
        return false;
    settings->fft_size = fft_size;
    settings->hop = hop;
    frame_buffer *frames = nullptr;
    spectrum_analyser *analyser = nullptr;
    detector **list = nullptr;
    bool built = decoder_settings_fit_protocol(settings, r->sample_rate, r->protocol);
    if (built) {
        frames = new_frame_buffer(fft_size, hop, kOwnRingFrames, sizeof(float));
        analyser = new_spectrum_analyser(fft_size);
        if (r->detectors != nullptr)
            list = build_detector_list(r, settings, r->sample_rate, r->channel);
        built = frames != nullptr && analyser != nullptr && (r->detectors == nullptr || list != nullptr);
    }
    if (!built) {
        free_detector_list(list, settings->detector_count);
        del_spectrum_analyser(analyser);
        del_frame_buffer(frames);
        del_decoder_settings(settings);
        return false;
    }
    if (list != nullptr)
        replace_detectors(r, list, settings->detector_count);
    del_frame_buffer(r->own_frames);
    r->own_frames = frames;
    del_spectrum_analyser(r->own_analyser);
    r->own_analyser = analyser;
    del_decoder_settings(r->own_settings);
    r->own_settings = settings;
    r->settings = settings;
    end_lost_reception(r);
    return true;
}

} // namespace

receiver *new_receiver(const decoder_settings *settings, const ::protocol *protocol, bool own_ring, uint8_t channel)
{
    if (settings == nullptr || protocol == nullptr || channel >= protocol_channel_count(protocol) ||
        !decoder_settings_fit_protocol(settings, settings->sample_rate, protocol))
        return nullptr;
    receiver *r = tracked_alloc<receiver>(1);
    if (r == nullptr)
        return nullptr;
    r->settings = settings;
    r->protocol = protocol;
    r->channel = channel;
    r->state = RECEIVER_STATE_LISTENING;
    r->sample_rate = settings->sample_rate;
    if (own_ring) {
        r->own_frames = new_frame_buffer(settings->fft_size, settings->hop, kOwnRingFrames, sizeof(float));
        r->own_analyser = new_spectrum_analyser(settings->fft_size);
        if (r->own_frames == nullptr || r->own_analyser == nullptr) {
            del_receiver(r);
            return nullptr;
        }
    }
    r->detectors = build_detector_list(r, settings, r->sample_rate, channel);
    if (r->detectors == nullptr) {
        del_receiver(r);
        return nullptr;
    }
    r->detector_count = settings->detector_count;
    return r;
}

void del_receiver(receiver *r)
{
    if (r == nullptr)
        return;
    del_frame_buffer(r->own_frames);
    del_spectrum_analyser(r->own_analyser);
    free_detector_list(r->detectors, r->detector_count);
    del_decoder_settings(r->own_settings);
    tracked_free(r);
}

void receiver_process_frame(receiver *r, const float *spectrum)
{
    if (r->state == RECEIVER_STATE_STOPPED)
        return;
    ++r->detector_depth;
    for (uint32_t i = 0; i < r->detector_count; ++i) {
        detector *d = r->detectors[i];
        detector_process_frame(d, spectrum);
        const uint32_t state = detector_state(d);
        if (state == DETECTOR_STATE_COLLECTING && r->state == RECEIVER_STATE_LISTENING) {
            // Once per reception, before the later detectors see the frame.
            r->state = RECEIVER_STATE_RECEIVING;
            if (r->receiving_callback != nullptr) {
                r->receiving_callback(r, nullptr, r->receiving_user);
                // The callback muted or reset us: this frame belongs to a
                // reception that no longer exists.
                if (r->state != RECEIVER_STATE_RECEIVING) {
                    --r->detector_depth;
                    return;
                }
            }
        } else if (state == DETECTOR_STATE_COMPLETE) {
            detector_set_state(d, DETECTOR_STATE_WAITING);
            r->decision_pending = 1;
        }
    }
    --r->detector_depth;
    // A receiver muted from a detector's callback decides nothing: its
    // unmute discards the detectors' state anyway.
    if (r->decision_pending == 0 || r->state == RECEIVER_STATE_STOPPED)
        return;
    for (uint32_t i = 0; i < r->detector_count; ++i)
        if (detector_state(r->detectors[i]) == DETECTOR_STATE_COLLECTING)
            return;
    decide(r);
}

bool receiver_push_samples(receiver *r, const float *samples, size_t n)
{
    if (r->own_frames == nullptr || r->own_analyser == nullptr || n == 0 || r->state == RECEIVER_STATE_STOPPED ||
        n > UINT64_MAX / sizeof(float) || !frame_buffer_push(r->own_frames, samples, n * sizeof(float)))
        return false;
    ++r->feeding_depth;
    while (const void *frame = frame_buffer_pop(r->own_frames))
        receiver_process_frame(r, spectrum_analyser_process(r->own_analyser, static_cast<const float *>(frame)));
    --r->feeding_depth;
    return true;
}

void receiver_flush(receiver *r)
{
    const uint32_t fft_size = r->settings->fft_size;
    const uint32_t hop = r->settings->hop;
    if (fft_size == 0 || hop == 0)
        return;
    const float rate = static_cast<float>(r->sample_rate);
    if (r->own_frames != nullptr) {
        const uint32_t blocks = saturate_cast<uint32_t>(rate / static_cast<float>(fft_size));
        float *zeros = tracked_alloc<float>(fft_size);
        if (zeros == nullptr)
            return;
        for (uint32_t i = 0; i < blocks; ++i)
            receiver_push_samples(r, zeros, fft_size);
        tracked_free(zeros);
    } else {
        const uint32_t frames = saturate_cast<uint32_t>(rate / static_cast<float>(hop));
        float *zeros = tracked_alloc<float>(fft_size / 2);
        if (zeros == nullptr)
            return;
        for (uint32_t i = 0; i < frames; ++i)
            receiver_process_frame(r, zeros);
        tracked_free(zeros);
    }
}

void receiver_reset(receiver *r)
{
    // Every change first, the callback last: whatever the callback does to
    // the receiver meets a consistent record. The detectors keep their
    // messages, so the reported one stays valid.
    const bool was_receiving = r->state == RECEIVER_STATE_RECEIVING;
    const tovan *message = r->result;
    r->decision_pending = 0;
    r->state = RECEIVER_STATE_LISTENING;
    r->result = nullptr;
    if (r->own_frames != nullptr)
        frame_buffer_reset(r->own_frames);
    for (uint32_t i = 0; i < r->detector_count; ++i)
        detector_reset(r->detectors[i]);
    if (was_receiving && r->received_callback != nullptr)
        r->received_callback(r, message, r->received_user);
}

void receiver_set_stopped(receiver *r, int stopped)
{
    const uint32_t target = stopped != 0 ? RECEIVER_STATE_STOPPED : RECEIVER_STATE_LISTENING;
    const uint32_t old = r->state;
    if (target == old)
        return;
    r->state = target;
    if (old == RECEIVER_STATE_STOPPED) {
        receiver_reset(r);
    } else if (old == RECEIVER_STATE_RECEIVING && target == RECEIVER_STATE_LISTENING) {
        // The detectors go on: one still collecting starts a new reception
        // at the next frame.
        if (r->received_callback != nullptr)
            r->received_callback(r, nullptr, r->received_user);
    }
}

void receiver_set_receiving_callback(receiver *r, receiver_callback callback, void *user)
{
    r->receiving_callback = callback;
    r->receiving_user = user;
}

void receiver_set_received_callback(receiver *r, receiver_callback callback, void *user)
{
    r->received_callback = callback;
    r->received_user = user;
}

void receiver_set_detector_started_callback(receiver *r, detector_callback callback, void *user)
{
    r->detector_started_callback = callback;
    r->detector_started_user = user;
    for (uint32_t i = 0; i < r->detector_count; ++i)
        detector_set_started_callback(r->detectors[i], callback, user);
}

void receiver_set_detector_finished_callback(receiver *r, detector_callback callback, void *user)
{
    r->detector_finished_callback = callback;
    r->detector_finished_user = user;
    for (uint32_t i = 0; i < r->detector_count; ++i)
        detector_set_finished_callback(r->detectors[i], callback, user);
}

bool receiver_set_sample_rate(receiver *r, uint32_t rate)
{
    const uint32_t fft_size = r->settings->fft_size;
    // The margin is one FFT bin in whole Hz.
    if (fft_size == 0 || !protocol_sample_rate_ok(r->protocol, rate, rate / fft_size))
        return false;
    return rebuild_detectors(r, rate, r->channel);
}

uint32_t receiver_sample_rate(const receiver *r)
{
    return r->sample_rate;
}

bool receiver_set_frequency_correction(receiver *r, float factor)
{
    if (r == nullptr || r->detector_count == 0)
        return false;
    const float old = detector_frequency_correction(r->detectors[0]);
    if (old == 0.0f)
        return false;
    for (uint32_t i = 0; i < r->detector_count; ++i) {
        if (!detector_set_frequency_correction(r->detectors[i], factor)) {
            for (uint32_t j = 0; j < i; ++j)
                detector_set_frequency_correction(r->detectors[j], old);
            return false;
        }
    }
    return true;
}

float receiver_frequency_correction(const receiver *r)
{
    if (r == nullptr || r->detector_count == 0)
        return 0.0f;
    return detector_frequency_correction(r->detectors[0]);
}

bool receiver_set_channel(receiver *r, uint8_t channel)
{
    if (channel >= protocol_channel_count(r->protocol))
        return false;
    if (r->detectors == nullptr) {
        r->channel = channel;
        return true;
    }
    return rebuild_detectors(r, r->sample_rate, channel);
}

uint8_t receiver_channel(const receiver *r)
{
    return r->channel;
}

uint32_t receiver_state(const receiver *r)
{
    return r->state;
}

const ::protocol *receiver_protocol(const receiver *r)
{
    return r->protocol;
}

const decoder_settings *receiver_settings(const receiver *r)
{
    return r->settings;
}

bool receiver_result_beats(const tovan *candidate, const tovan *best)
{
    if (candidate == nullptr)
        return false;
    if (best == nullptr)
        return true;
    const uint32_t rank = result_rank(candidate);
    if (rank == TOVAN_STATE_DECODED && tovan_get_corrected(candidate) < tovan_get_corrected(best))
        return true;
    return rank < result_rank(best);
}

void receiver_set_state(receiver *r, uint32_t state)
{
    if (state > RECEIVER_STATE_RECEIVING || state == r->state)
        return;
    const uint32_t old = r->state;
    r->state = state;
    if (old == RECEIVER_STATE_STOPPED) {
        // Ends listening; entering receiving this way reports an empty reception.
        receiver_reset(r);
    } else if (old == RECEIVER_STATE_LISTENING && state == RECEIVER_STATE_RECEIVING) {
        if (r->receiving_callback != nullptr)
            r->receiving_callback(r, nullptr, r->receiving_user);
    } else if (old == RECEIVER_STATE_RECEIVING && state == RECEIVER_STATE_LISTENING) {
        if (r->received_callback != nullptr)
            r->received_callback(r, nullptr, r->received_user);
    }
}

void receiver_force_receiving(receiver *r)
{
    receiver_set_state(r, RECEIVER_STATE_RECEIVING);
    for (uint32_t i = 0; i < r->detector_count; ++i)
        detector_set_state(r->detectors[i], DETECTOR_STATE_COLLECTING);
}

bool receiver_rebuild(receiver *r)
{
    const uint32_t rate = r->settings->sample_rate;
    if (!decoder_settings_fit_protocol(r->settings, rate, r->protocol))
        return false;
    return rebuild_detectors(r, rate, r->channel);
}

void receiver_reset_transform(receiver *r)
{
    if (r->own_analyser == nullptr || r->feeding_depth > 0 || r->detector_depth > 0)
        return;
    spectrum_analyser *analyser = new_spectrum_analyser(r->settings->fft_size);
    if (analyser == nullptr)
        return;
    del_spectrum_analyser(r->own_analyser);
    r->own_analyser = analyser;
}

void receiver_free_detectors(receiver *r)
{
    if (r->detector_depth > 0)
        return;
    free_detector_list(r->detectors, r->detector_count);
    r->detector_count = 0;
    end_lost_reception(r);
}

bool receiver_set_fft_size(receiver *r, uint16_t size)
{
    return resize(r, size, r->settings->hop);
}

bool receiver_set_hop_size(receiver *r, uint8_t hop)
{
    return resize(r, r->settings->fft_size, hop);
}
