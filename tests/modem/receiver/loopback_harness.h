// Loopback harness for the receiver tests: renders payloads with the
// transmitter and feeds the samples, in blocks of a chosen size, through a
// frame FIFO and a spectrum analyser into a receiver, as the interface layer
// does, logging every callback with the frame it came in.
#pragma once

#include "coding/protocol.h"
#include "coding/symbol_buffer.h"
#include "coding/tovan.h"
#include "dsp/frame_buffer.h"
#include "dsp/spectrum_analyser.h"
#include "modem/receiver/decoder_settings.h"
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace loopback {

// Renders one transmission of `payload` at `rate`, from its first sample to
// the sample that ends it.
inline std::vector<float> render(const protocol *p, const std::vector<uint8_t> &payload, float volume = 1.0f,
                                 uint32_t rate = 44100)
{
    std::vector<float> out;
    symbol_buffer *bytes = new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(payload.size()));
    tovan *message = new_tovan(p);
    transmitter *t = new_transmitter(p);
    EXPECT_TRUE(bytes != nullptr && message != nullptr && t != nullptr);
    if (bytes != nullptr && message != nullptr && t != nullptr) {
        symbol_buffer_set_bytes(bytes, payload.data());
        EXPECT_EQ(tovan_encode(message, bytes), 0u);
        EXPECT_TRUE(transmitter_set_sample_rate(t, rate));
        transmitter_set_volume(t, volume);
        EXPECT_EQ(transmitter_send(t, message), 0u);
        std::vector<float> block(4096);
        while (transmitter_state(t) == TRANSMITTER_STATE_SENDING) {
            transmitter_render(t, block.data(), block.size());
            out.insert(out.end(), block.begin(), block.end());
        }
    }
    del_transmitter(t);
    del_tovan(message);
    del_symbol_buffer(bytes);
    return out;
}

// Frame symbols (header first) of a payload under p.
inline std::vector<uint64_t> frame_symbols(const protocol *p, const std::vector<uint8_t> &payload)
{
    std::vector<uint64_t> out;
    symbol_buffer *b = new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(payload.size()));
    tovan *m = new_tovan(p);
    EXPECT_TRUE(b != nullptr && m != nullptr);
    if (b != nullptr && m != nullptr) {
        symbol_buffer_set_bytes(b, payload.data());
        EXPECT_EQ(tovan_encode(m, b), 0u);
        uint64_t *s = tovan_symbols(m);
        if (s != nullptr)
            out.assign(s, s + tovan_symbol_count(m));
        tracked_free(s);
    }
    del_tovan(m);
    del_symbol_buffer(b);
    return out;
}

inline void append_silence(std::vector<float> &x, size_t n)
{
    x.insert(x.end(), n, 0.0f);
}

struct event {
    bool received;  // false: receiving
    uint64_t frame; // frames processed when it came, this one included
    bool has_message;
    uint32_t state; // message state
    uint32_t corrected;
    std::vector<uint8_t> payload;

    bool operator==(const event &) const = default;
};

// FIFO (FFT size, hop, 64 frames) and analyser of the settings, one receiver.
class chain {
public:
    chain(const protocol *p, const decoder_settings *s, uint8_t channel = 0)
        : frames_(new_frame_buffer(s->fft_size, s->hop, 64, sizeof(float))),
          analyser_(new_spectrum_analyser(s->fft_size)), receiver_(new_receiver(s, p, false, channel))
    {
        EXPECT_NE(frames_, nullptr);
        EXPECT_NE(analyser_, nullptr);
        EXPECT_NE(receiver_, nullptr);
        if (receiver_ != nullptr) {
            receiver_set_receiving_callback(receiver_, on_event, this);
            receiver_set_received_callback(receiver_, on_received, this);
        }
    }
    ~chain()
    {
        del_receiver(receiver_);
        del_spectrum_analyser(analyser_);
        del_frame_buffer(frames_);
    }
    chain(const chain &) = delete;
    chain &operator=(const chain &) = delete;

    bool ok() const { return frames_ != nullptr && analyser_ != nullptr && receiver_ != nullptr; }
    receiver *rx() { return receiver_; }
    uint64_t frame_count() const { return frame_; }
    const std::vector<event> &events() const { return events_; }

    // Feeds samples [from, to) of x in blocks of at most `block` samples.
    void feed(const std::vector<float> &x, size_t block = 4096, size_t from = 0, size_t to = SIZE_MAX)
    {
        to = std::min(to, x.size());
        for (size_t at = from; at < to; at += block) {
            const size_t n = std::min(block, to - at);
            ASSERT_TRUE(frame_buffer_push(frames_, x.data() + at, n * sizeof(float)));
            while (const void *frame = frame_buffer_pop(frames_)) {
                ++frame_;
                receiver_process_frame(receiver_,
                                       spectrum_analyser_process(analyser_, static_cast<const float *>(frame)));
            }
        }
    }

    // Payloads of the received events that carried a decoded message.
    std::vector<std::vector<uint8_t>> payloads() const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const event &e : events_)
            if (e.received && e.has_message && e.state == TOVAN_STATE_DECODED)
                out.push_back(e.payload);
        return out;
    }

private:
    static void on_event(receiver *, const tovan *, void *user)
    {
        chain *c = static_cast<chain *>(user);
        c->events_.push_back(event{false, c->frame_, false, 0, 0, {}});
    }
    static void on_received(receiver *, const tovan *m, void *user)
    {
        chain *c = static_cast<chain *>(user);
        event e{true, c->frame_, m != nullptr, 0, 0, {}};
        if (m != nullptr) {
            e.state = tovan_get_state(m);
            e.corrected = tovan_get_corrected(m);
            if (symbol_buffer *b = tovan_get_payload(m)) {
                const uint8_t *bytes = symbol_buffer_bytes(b);
                e.payload.assign(bytes, bytes + symbol_buffer_byte_count(b));
            }
        }
        c->events_.push_back(e);
    }

    frame_buffer *frames_;
    spectrum_analyser *analyser_;
    receiver *receiver_;
    uint64_t frame_ = 0;
    std::vector<event> events_;
};

} // namespace loopback
