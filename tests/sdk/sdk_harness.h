// Shared pieces of the interface and end-to-end tests: the fixture that
// proves every test leaves no tracked byte behind, config strings, a recorder
// of callbacks, and helpers that render and feed whole transmissions through
// the exports.
#pragma once

#include "coding/coding_params.h"
#include "coding/modulation_params.h"
#include "coding/protocol.h"
#include "modem/receiver/decoder_settings.h"
#include "runtime/memory_manager.h"
#include "sdk/config.h"
#include "sdk/tovan_sdk.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sdk_test {

inline bool heap_exists()
{
    return memory_manager_get_header_bytes() != 0xFFFFFFFFu;
}

// No handle lives before or after a test; each test deletes its handles and
// expects del_tovan_sdk to return 0, so the library's own leak result checks
// every path taken.
class SdkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(heap_exists()) << "a handle of an earlier test is still alive"; }
    void TearDown() override
    {
        memory_manager_fail_at(0, false);
        EXPECT_FALSE(heap_exists()) << "a handle was left behind";
        while (heap_exists())
            memory_manager_release();
    }
};

// Takes a tracked text and gives it back as a string.
inline std::string take_text(char *text)
{
    EXPECT_NE(text, nullptr);
    std::string s = text != nullptr ? text : "";
    tracked_free(text);
    return s;
}

inline std::string standard_config()
{
    return take_text(sdk_standard_config_text());
}

// Takes both records.
inline std::string config_of(protocol *p, decoder_settings *s)
{
    EXPECT_NE(p, nullptr);
    EXPECT_NE(s, nullptr);
    std::string text = take_text(sdk_config_to_text(p, s));
    del_decoder_settings(s);
    del_protocol(p);
    return text;
}

// The default alphabet and timing on a linear scale of 64 Hz steps from
// 1000 Hz, `channels` bands 100 Hz apart, with the standard receiver settings.
inline std::string linear_config(uint8_t channels)
{
    coding_params *coding = new_default_coding_params();
    modulation_params *modulation = new_modulation_params(channels, TOVAN_DEFAULT_FRONTDOOR, 2, "1", 1000.0f, 64.0f,
                                                          100.0f, 0.0872f, 0.0872f, 0.015f, 0.015f, 0.005f, 0.0f, 0.0f);
    protocol *p = new_protocol("linear", 3, coding, modulation);
    return config_of(p, new_default_decoder_settings());
}

enum class kind { state, sending, sent, receiving, received };

struct event {
    kind what;
    uint32_t from = 0, to = 0; // states, for kind::state
    uint8_t channel = 0;
    bool has_payload = false;
    std::vector<uint8_t> payload;
    sdk_state inside = 0; // tovan_sdk_get_state during the callback
    size_t at = 0;        // the recorder's clock when it came

    bool operator==(const event &) const = default;
};

inline event state_event(sdk_state from, sdk_state to, sdk_state inside)
{
    return {kind::state, from, to, 0, false, {}, inside};
}

inline event payload_event(kind what, uint8_t channel, std::vector<uint8_t> payload, sdk_state inside)
{
    return {what, 0, 0, channel, true, std::move(payload), inside};
}

inline event empty_event(kind what, uint8_t channel, sdk_state inside)
{
    return {what, 0, 0, channel, false, {}, inside};
}

// Logs every callback of one handle with a copy of its payload, the state
// the handle reports inside it and the application's sample clock. `hook`
// runs after logging, for tests that act from callbacks.
struct recorder {
    sdk_handle *handle = nullptr;
    std::vector<event> events;
    std::function<void(recorder &, const event &)> hook;
    void *extra = nullptr;
    size_t clock = 0; // samples the application has played so far

    // Binds all five callbacks and this recorder as the user pointer.
    void attach(sdk_handle *h)
    {
        handle = h;
        ASSERT_EQ(tovan_sdk_set_callback_ptr(h, this), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_set_callbacks(h, {on_state, on_sending, on_sent, on_receiving, on_received}),
                  TOVAN_SDK_OK);
    }

    std::vector<event> of(kind what) const
    {
        std::vector<event> out;
        for (const event &e : events)
            if (e.what == what)
                out.push_back(e);
        return out;
    }
    size_t count(kind what) const { return of(what).size(); }
    // The payloads of on_received, failed decodes included as empty.
    std::vector<std::vector<uint8_t>> received() const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const event &e : of(kind::received))
            out.push_back(e.payload);
        return out;
    }
    // The (old, new) pairs of on_state_changed, in order.
    std::vector<std::pair<uint32_t, uint32_t>> transitions() const
    {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const event &e : of(kind::state))
            out.emplace_back(e.from, e.to);
        return out;
    }

private:
    static recorder &self(void *user) { return *static_cast<recorder *>(user); }
    void log(event e)
    {
        e.inside = tovan_sdk_get_state(handle);
        e.at = clock;
        events.push_back(e);
        if (hook)
            hook(*this, events.back());
    }
    static void on_state(void *user, sdk_state from, sdk_state to) { self(user).log(state_event(from, to, 0)); }
    static void payload(void *user, kind what, const uint8_t *bytes, size_t length, uint8_t channel)
    {
        event e = empty_event(what, channel, 0);
        e.has_payload = bytes != nullptr;
        if (bytes != nullptr)
            e.payload.assign(bytes, bytes + length);
        else
            EXPECT_EQ(length, 0u);
        self(user).log(e);
    }
    static void on_sending(void *u, const uint8_t *p, size_t n, uint8_t c) { payload(u, kind::sending, p, n, c); }
    static void on_sent(void *u, const uint8_t *p, size_t n, uint8_t c) { payload(u, kind::sent, p, n, c); }
    static void on_receiving(void *u, const uint8_t *p, size_t n, uint8_t c) { payload(u, kind::receiving, p, n, c); }
    static void on_received(void *u, const uint8_t *p, size_t n, uint8_t c) { payload(u, kind::received, p, n, c); }
};

// A handle configured with `config`, and started when asked.
inline sdk_handle *new_handle(const std::string &config, bool start = true)
{
    sdk_handle *h = new_tovan_sdk();
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
    if (start) {
        EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    }
    return h;
}

// Renders the handle's transmission in blocks of `block` samples until the
// handle leaves SENDING (at most `limit` samples); returns every sample.
inline std::vector<float> render_all(sdk_handle *h, size_t block, size_t limit = 4000000)
{
    std::vector<float> out;
    std::vector<float> buffer(block);
    while (tovan_sdk_get_state(h) == TOVAN_SDK_STATE_SENDING && out.size() < limit) {
        EXPECT_EQ(tovan_sdk_process_output(h, buffer.data(), block), TOVAN_SDK_OK);
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    return out;
}

// Feeds samples, then `silence` zero samples, in blocks of `block`.
inline void feed(sdk_handle *h, std::vector<float> samples, size_t block, size_t silence = 22050)
{
    samples.insert(samples.end(), silence, 0.0f);
    for (size_t i = 0; i < samples.size(); i += block) {
        const size_t n = std::min(block, samples.size() - i);
        ASSERT_EQ(tovan_sdk_process_input(h, samples.data() + i, n), TOVAN_SDK_OK);
    }
}

// The first samples of a transmission of `payload`, rendered offline by the
// handle (state, callbacks and transmitter untouched), then `tail` zeros.
inline std::vector<float> payload_audio(const sdk_handle *h, const std::vector<uint8_t> &payload,
                                        size_t tail = 4410)
{
    const float seconds = tovan_sdk_get_duration_for_payload_length(h, payload.size());
    EXPECT_GT(seconds, 0.0f);
    std::vector<float> out(static_cast<size_t>(seconds * static_cast<float>(tovan_sdk_get_output_sample_rate(h))) +
                           tail);
    EXPECT_EQ(tovan_sdk_process_payload(h, payload.data(), payload.size(), out.data(), out.size()), TOVAN_SDK_OK);
    return out;
}

// Feeds samples in blocks of `block` until the handle reaches `state`;
// returns the samples fed.
inline size_t feed_until(sdk_handle *h, const std::vector<float> &samples, size_t block, sdk_state state)
{
    size_t at = 0;
    while (at < samples.size() && tovan_sdk_get_state(h) != state) {
        const size_t n = std::min(block, samples.size() - at);
        EXPECT_EQ(tovan_sdk_process_input(h, samples.data() + at, n), TOVAN_SDK_OK);
        at += n;
    }
    EXPECT_EQ(tovan_sdk_get_state(h), state);
    return at;
}

} // namespace sdk_test
