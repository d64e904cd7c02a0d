#include "modem/transmitter/transmitter.h"

#include "coding/core_info.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/convert.h"
#include "runtime/memory_manager.h"
#include "runtime/random.h"

namespace {

constexpr uint32_t kDefaultRate = 44100;
// Tone indices of one symbol: tones_per_symbol is below the tone count, at
// most 256.
constexpr uint32_t kMaxTones = 256;

// Effect slots: sweep start and end (Hz), envelope attack and decay (s).
struct effect {
    float start, end, attack, decay;
};

bool effect_of(char c, effect *out)
{
    switch (c) {
    case 'a':
        *out = {1000.0f, 2000.0f, 0.0f, 0.0f};
        return true;
    case 'b':
        *out = {3000.0f, 2000.0f, 0.01f, 0.01f};
        return true;
    case 'c':
        *out = {1500.0f, 2000.0f, 0.02f, 0.01f};
        return true;
    default:
        return false;
    }
}

bool is_digit_slot(char c)
{
    return c >= '1' && c <= '4';
}

uint8_t tones_per_symbol(const transmitter *t)
{
    return protocol_tones_per_symbol(t->protocol);
}

// trunc(rate x seconds), the product in single precision.
int64_t samples_of(uint32_t rate, float seconds)
{
    return saturate_cast<int64_t>(static_cast<float>(rate) * seconds);
}

void set_envelope_lengths(transmitter *t)
{
    t->attack_samples = saturate_cast<uint32_t>(static_cast<float>(t->sample_rate) * protocol_attack(t->protocol));
    t->release_samples =
        saturate_cast<uint32_t>(static_cast<float>(t->sample_rate) * protocol_release(t->protocol));
}

// Binds the protocol and sizes the frequency table for its longest frame.
// Creation is the only caller: the oscillators are made for its k.
bool transmitter_set_protocol(transmitter *t, const protocol *p)
{
    if (t->tone_frequencies != nullptr)
        tracked_free(t->tone_frequencies);
    t->protocol = p;
    t->tone_frequencies = tracked_alloc<float>(static_cast<uint64_t>(protocol_max_symbol_count(p)) *
                                               protocol_tones_per_symbol(p));
    set_envelope_lengths(t);
    return t->tone_frequencies != nullptr;
}

// Every symbol must have a tone set before anything changes: a symbol
// without one would leave its row of the table stale.
uint32_t check_symbols(const transmitter *t, const uint64_t *symbols, uint8_t n)
{
    if (symbols == nullptr || n == 0)
        return TOVAN_CORE_EMPTY_MESSAGE;
    if (n > protocol_max_symbol_count(t->protocol))
        return TOVAN_CORE_INVALID_SYMBOL_COUNT;
    uint8_t tones[kMaxTones];
    for (uint32_t i = 0; i < n; ++i)
        if (protocol_tones_from_symbol(t->protocol, symbols[i], tones) != 0)
            return TOVAN_CORE_UNKNOWN_SYMBOLS;
    return TOVAN_CORE_OK;
}

// Loads checked symbols and starts from slot 0 on symbol 0's tones.
void start_transmission(transmitter *t, const uint64_t *symbols, uint8_t n)
{
    const protocol *p = t->protocol;
    const uint8_t k = tones_per_symbol(t);
    t->slot_count = protocol_slot_of_symbol(p, n);
    t->symbol_index = 0;
    t->slot_index = 0;
    t->sample_in_slot = 0;
    t->slot_char = 0;
    uint8_t tones[kMaxTones];
    for (uint32_t i = 0; i < n; ++i) {
        protocol_tones_from_symbol(p, symbols[i], tones);
        for (uint32_t j = 0; j < k; ++j)
            t->tone_frequencies[i * k + j] = protocol_tone_frequency(p, static_cast<float>(tones[j]), t->channel);
    }
    // Setting the frequency and then gliding to it leaves no glide pending.
    for (uint32_t j = 0; j < k; ++j) {
        oscillator_set_frequency(t->oscillators[j], t->tone_frequencies[j]);
        oscillator_glide_to(t->oscillators[j], t->tone_frequencies[j]);
    }
    if (t->state == TRANSMITTER_STATE_IDLE) {
        t->state = TRANSMITTER_STATE_SENDING;
        if (t->started_callback != nullptr)
            t->started_callback(t, t->current, t->started_user);
    }
}

// Ends the transmission as the finished callback sees it: the copy leaves
// the transmitter before the callback runs, so a message sent from inside
// the callback is the transmitter's new copy and survives the release below.
void finish(transmitter *t)
{
    tovan *done = t->current;
    t->current = nullptr;
    if (t->finished_callback != nullptr)
        t->finished_callback(t, done, t->finished_user);
    del_tovan(done);
}

// Length and gap of the current slot, in samples.
struct slot_timing {
    int64_t length;
    int64_t gap;
};

slot_timing timing_of(const transmitter *t)
{
    const uint8_t s = static_cast<uint8_t>(t->slot_index);
    return {samples_of(t->sample_rate, protocol_slot_duration(t->protocol, s)),
            samples_of(t->sample_rate, protocol_slot_gap(t->protocol, s))};
}

float generator_value(transmitter *t)
{
    const char c = t->slot_char;
    if (is_digit_slot(c)) {
        const uint8_t k = tones_per_symbol(t);
        if (k == 1)
            return oscillator_next_sample(t->oscillators[0]);
        const float kf = static_cast<float>(k);
        float sum = 0.0f;
        for (uint32_t j = 0; j < k; ++j)
            sum += oscillator_next_sample(t->oscillators[j]) / kf;
        return sum;
    }
    if (c == '*' || c == 'a' || c == 'b' || c == 'c')
        return sweep_next_sample(t->sweep);
    return 0.0f;
}

void begin_slot(transmitter *t)
{
    const protocol *p = t->protocol;
    const uint8_t s = static_cast<uint8_t>(t->slot_index);
    char c = protocol_slot_char(p, s);
    if (c == '*')
        c = static_cast<char>('a' + random_range(0, 4));
    t->slot_char = c;
    effect fx;
    if (is_digit_slot(c)) {
        t->symbol_index += 1;
        const uint8_t k = tones_per_symbol(t);
        const float *row = t->tone_frequencies + static_cast<size_t>(t->symbol_index) * k;
        for (uint32_t j = 0; j < k; ++j) {
            // A sweep may have left oscillator 0 with its own glide time.
            oscillator_set_glide_time(t->oscillators[j], protocol_glide_time(p));
            oscillator_glide_to(t->oscillators[j], row[j]);
        }
    } else if (effect_of(c, &fx)) {
        sweep_set_glide_time(t->sweep, protocol_slot_duration(p, s));
        sweep_set_start_frequency(t->sweep, fx.start);
        sweep_set_end_frequency(t->sweep, fx.end);
        sweep_set_attack(t->sweep, fx.attack);
        sweep_set_decay(t->sweep, fx.decay);
        sweep_start(t->sweep);
    }
}

// Linear fade-in over A samples, full volume, linear fade-out over R samples
// ending where the gap of G samples starts. Signed: when G + R exceed the
// slot, its fade-out starts before position 0 and the gain stays in
// [0, volume] without wrapping.
float gain_at(const transmitter *t, int64_t s, slot_timing slot)
{
    const int64_t a = t->attack_samples;
    const int64_t r = t->release_samples;
    const int64_t sound_end = slot.length - slot.gap;
    const int64_t release_start = sound_end - r;
    const float v = t->volume;
    if (s < a)
        return v * (static_cast<float>(s) / static_cast<float>(a));
    if (s < release_start)
        return v;
    if (s >= sound_end)
        return 0.0f;
    return v * (1.0f - static_cast<float>(s - release_start) / static_cast<float>(r));
}

} // namespace

transmitter *new_transmitter(const protocol *p)
{
    if (p == nullptr)
        return nullptr;
    transmitter *t = tracked_alloc<transmitter>(1);
    if (t == nullptr)
        return nullptr;
    t->sample_rate = kDefaultRate;
    t->volume = 1.0f;
    const uint8_t k = protocol_tones_per_symbol(p);
    t->oscillators = tracked_alloc<oscillator *>(k);
    bool ok = t->oscillators != nullptr;
    for (uint32_t j = 0; ok && j < k; ++j) {
        t->oscillators[j] = new_oscillator(kDefaultRate);
        ok = t->oscillators[j] != nullptr;
        if (ok)
            oscillator_set_glide_time(t->oscillators[j], protocol_glide_time(p));
    }
    if (ok)
        ok = (t->sweep = new_sweep(kDefaultRate, t->oscillators[0])) != nullptr;
    // The protocol is bound first thing, so a half-built record can be freed.
    t->protocol = p;
    if (!ok || !transmitter_set_protocol(t, p)) {
        del_transmitter(t);
        return nullptr;
    }
    return t;
}

void del_transmitter(transmitter *t)
{
    if (t == nullptr)
        return;
    if (t->oscillators != nullptr) {
        for (uint32_t j = 0; j < tones_per_symbol(t); ++j)
            del_oscillator(t->oscillators[j]);
        tracked_free(t->oscillators);
    }
    if (t->tone_frequencies != nullptr)
        tracked_free(t->tone_frequencies);
    del_sweep(t->sweep);
    del_tovan(t->current);
    tracked_free(t);
}

bool transmitter_set_sample_rate(transmitter *t, uint32_t rate)
{
    const protocol *p = t->protocol;
    const float n = static_cast<float>(protocol_tone_count(p));
    // One tone step above the top tone, in whole Hz; NaN or negative steps
    // (possible with a negative tone spacing) add no margin.
    const uint32_t margin = saturate_cast<uint32_t>(protocol_tone_frequency(p, n, t->channel) -
                                                    protocol_tone_frequency(p, n - 1.0f, t->channel));
    if (rate == 0 || !protocol_sample_rate_ok(p, rate, margin))
        return false;
    t->sample_rate = rate;
    for (uint32_t j = 0; j < tones_per_symbol(t); ++j)
        oscillator_set_sample_rate(t->oscillators[j], rate);
    sweep_set_sample_rate(t->sweep, rate);
    set_envelope_lengths(t);
    return true;
}

uint32_t transmitter_sample_rate(const transmitter *t)
{
    return t->sample_rate;
}

void transmitter_set_volume(transmitter *t, float volume)
{
    if (!(volume == volume))
        t->volume = 1.0f;
    else
        t->volume = volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
}

float transmitter_volume(const transmitter *t)
{
    return t->volume;
}

bool transmitter_set_channel(transmitter *t, uint8_t channel)
{
    if (channel >= protocol_channel_count(t->protocol))
        return false;
    t->channel = channel;
    return true;
}

uint8_t transmitter_channel(const transmitter *t)
{
    return t->channel;
}

void transmitter_set_started_callback(transmitter *t, transmitter_callback callback, void *user)
{
    t->started_callback = callback;
    t->started_user = user;
}

void transmitter_set_finished_callback(transmitter *t, transmitter_callback callback, void *user)
{
    t->finished_callback = callback;
    t->finished_user = user;
}

uint32_t transmitter_state(const transmitter *t)
{
    return t->state;
}

const tovan *transmitter_current(const transmitter *t)
{
    return t->current;
}

const protocol *transmitter_protocol(const transmitter *t)
{
    return t->protocol;
}

uint32_t transmitter_send(transmitter *t, const tovan *message)
{
    if (message == nullptr || tovan_get_payload(message) == nullptr)
        return TOVAN_CORE_EMPTY_MESSAGE;
    if (!protocol_equals(tovan_get_protocol(message), t->protocol))
        return TOVAN_CORE_INVALID_PROTOCOL;
    // The copy and its symbols come first: until both exist and check out,
    // a transmission in progress goes on untouched.
    tovan *copy = copy_tovan(message);
    uint64_t *symbols = copy != nullptr ? tovan_symbols(copy) : nullptr;
    if (symbols == nullptr) {
        del_tovan(copy);
        return TOVAN_CORE_UNKNOWN_ERROR;
    }
    const uint8_t n = tovan_symbol_count(copy);
    const uint32_t rc = check_symbols(t, symbols, n);
    if (rc != TOVAN_CORE_OK) {
        tracked_free(symbols);
        del_tovan(copy);
        return rc;
    }
    tovan *old = t->current;
    t->current = copy;
    del_tovan(old);
    start_transmission(t, symbols, n);
    tracked_free(symbols);
    return TOVAN_CORE_OK;
}

uint32_t transmitter_load_symbols(transmitter *t, const uint64_t *symbols, uint8_t n)
{
    const uint32_t rc = check_symbols(t, symbols, n);
    if (rc != TOVAN_CORE_OK)
        return rc;
    start_transmission(t, symbols, n);
    return TOVAN_CORE_OK;
}

uint32_t transmitter_render(transmitter *t, float *out, size_t count)
{
    if (t->state != TRANSMITTER_STATE_SENDING)
        return t->state;
    if (t->slot_char == 0)
        t->slot_char = protocol_slot_char(t->protocol, static_cast<uint8_t>(t->slot_index));
    slot_timing slot = timing_of(t);
    for (size_t i = 0; i < count; ++i) {
        // The generator runs before the slot test: a slot's first sample
        // carries one more value of the previous slot's sound.
        const float value = generator_value(t);
        if (static_cast<int64_t>(t->sample_in_slot) >= slot.length) {
            t->slot_index += 1;
            if (t->slot_index >= t->slot_count) {
                t->state = TRANSMITTER_STATE_IDLE;
                for (size_t j = i; j < count; ++j)
                    out[j] = 0.0f;
                finish(t);
                // A send from the callback starts from the next call on.
                return t->state;
            }
            begin_slot(t);
            slot = timing_of(t);
            t->sample_in_slot = 0;
        }
        out[i] = value * gain_at(t, t->sample_in_slot, slot);
        t->sample_in_slot += 1;
    }
    return t->state;
}

void transmitter_stop(transmitter *t)
{
    t->symbol_index = 0;
    t->slot_index = 0;
    t->sample_in_slot = 0;
    t->slot_char = 0;
    t->state = TRANSMITTER_STATE_IDLE;
    tovan *done = t->current;
    t->current = nullptr;
    del_tovan(done);
}

void transmitter_set_state(transmitter *t, uint32_t state)
{
    if (state == t->state)
        return;
    t->state = state;
    if (state == TRANSMITTER_STATE_SENDING) {
        if (t->started_callback != nullptr)
            t->started_callback(t, t->current, t->started_user);
    } else {
        finish(t);
    }
}
