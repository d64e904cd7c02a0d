// Shared pieces of the end-to-end scenarios. Everything goes through the
// public header, as an application would; only config_at_rate reaches for
// the library's own writers, to make a config no checked-in file holds.
// Every scenario deletes its handles and expects the last del_tovan_sdk to
// return 0, so the library's leak result checks each whole scenario.
#pragma once

#include "coding/protocol.h"
#include "modem/receiver/decoder_settings.h"
#include "runtime/memory_manager.h"
#include "sdk/config.h"
#include "sdk/sdk_harness.h"
#include "sdk/tovan_sdk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace e2e {

using bytes = std::vector<uint8_t>;

// The standard config string exactly as shipped with the examples.
inline std::string standard_config()
{
    std::ifstream file(TOVAN_SOURCE_DIR "/examples/standard.config", std::ios::binary);
    EXPECT_TRUE(file.good()) << "examples/standard.config is missing";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The standard protocol with the standard receiver settings retuned to
// `rate`, so a handle configured with it reads and writes at that rate from
// the start. A handle of its own holds the tracked heap while the writers run.
inline std::string config_at_rate(uint32_t rate)
{
    sdk_handle *holder = new_tovan_sdk();
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    std::string text;
    if (p != nullptr && s != nullptr) {
        s->sample_rate = rate;
        char *written = sdk_config_to_text(p, s);
        text = written != nullptr ? written : "";
        tracked_free(written);
    }
    del_decoder_settings(s);
    del_protocol(p);
    EXPECT_EQ(del_tovan_sdk(&holder), TOVAN_SDK_OK);
    EXPECT_FALSE(text.empty());
    return text;
}

// A configured handle, started unless asked otherwise.
using sdk_test::new_handle;

// A payload from tovan_sdk_random_payload (length 0: a random length).
inline bytes random_payload(const sdk_handle *h, size_t length = 0)
{
    uint8_t *p = tovan_sdk_random_payload(h, &length);
    EXPECT_NE(p, nullptr);
    bytes out;
    if (p != nullptr)
        out.assign(p, p + length);
    tovan_sdk_free(p);
    return out;
}

using sdk_test::event;
using sdk_test::kind;
using sdk_test::recorder;

// How an application moves its audio.
enum class path {
    process,     // tovan_sdk_process: each block's output is the next block's input
    shorts,      // tovan_sdk_process_shorts, the same in int16
    playthrough, // tovan_sdk_process_playthrough: the library loops it back itself
};

// The air between a loudspeaker and a microphone: what goes in comes out
// `latency` samples later; blocks in and out need not have the same size,
// and no block is longer than the latency.
template <typename T> class delay_line {
public:
    explicit delay_line(size_t latency) : samples_(latency, T{}) {}
    void put(const T *x, size_t n) { samples_.insert(samples_.end(), x, x + n); }
    // The next n samples heard.
    std::vector<T> take(size_t n)
    {
        EXPECT_LE(n, samples_.size());
        n = std::min(n, samples_.size());
        std::vector<T> out(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }

private:
    std::vector<T> samples_;
};

// An application's audio loop over one handle, its loudspeaker heard by its
// own microphone, in blocks whose sizes cycle through `blocks` as audio
// drivers that change their period do.
class audio_loop {
public:
    audio_loop(sdk_handle *h, path p, std::vector<size_t> blocks)
        : h_(h), path_(p), blocks_(std::move(blocks)), air_(longest()), air16_(longest())
    {
    }

    // Runs one block; returns its code and counts the samples played.
    sdk_error step()
    {
        const size_t n = blocks_[next_++ % blocks_.size()];
        sdk_error code = TOVAN_SDK_OK;
        switch (path_) {
        case path::process: {
            const std::vector<float> in = air_.take(n);
            std::vector<float> out(n);
            code = tovan_sdk_process(h_, in.data(), out.data(), n);
            air_.put(out.data(), n);
            break;
        }
        case path::shorts: {
            const std::vector<int16_t> in = air16_.take(n);
            std::vector<int16_t> out(n);
            code = tovan_sdk_process_shorts(h_, in.data(), out.data(), n);
            air16_.put(out.data(), n);
            break;
        }
        case path::playthrough:
            code = tovan_sdk_process_playthrough(h_, n);
            break;
        }
        played_ += n;
        return code;
    }
    size_t played() const { return played_; }

private:
    size_t longest() const { return *std::max_element(blocks_.begin(), blocks_.end()); }

    sdk_handle *h_;
    path path_;
    std::vector<size_t> blocks_;
    size_t next_ = 0;
    size_t played_ = 0;
    delay_line<float> air_;
    delay_line<int16_t> air16_;
};

// One device of a room: a handle, how its application moves audio (process
// or shorts) and its block size; `log`, when given, gets the device's clock.
struct device {
    sdk_handle *handle;
    path audio;
    size_t block;
    recorder *log = nullptr;
    size_t clock = 0; // samples played so far
};

// Two devices in one room: each one's loudspeaker reaches the other's
// microphone `latency` samples later, scaled by `gain`, with white noise of
// standard deviation `noise` (fixed seed) on each microphone. The device
// behind in time runs next, so neither hears ahead of what was played.
class room {
public:
    room(device a, device b, float gain, float noise, size_t latency)
        : a_(a), b_(b), gain_(gain), noisy_(noise > 0.0f), noise_(0.0f, noisy_ ? noise : 1.0f), to_a_(latency),
          to_b_(latency)
    {
        EXPECT_GE(latency, std::max(a.block, b.block));
        EXPECT_NE(a.audio, path::playthrough);
        EXPECT_NE(b.audio, path::playthrough);
    }

    // Runs one block of the device behind; returns which one ran and its code.
    std::pair<char, sdk_error> step()
    {
        const bool a_next = a_.clock <= b_.clock;
        device &d = a_next ? a_ : b_;
        return {a_next ? 'A' : 'B', run(d, a_next ? to_a_ : to_b_, a_next ? to_b_ : to_a_)};
    }
    size_t clock() const { return std::min(a_.clock, b_.clock); }

private:
    sdk_error run(device &d, delay_line<float> &heard, delay_line<float> &played)
    {
        const size_t n = d.block;
        std::vector<float> in = heard.take(n), out(n, 0.0f);
        for (float &x : in)
            x = std::clamp(x + (noisy_ ? noise_(random_) : 0.0f), -1.0f, 1.0f);
        if (d.log != nullptr)
            d.log->clock = d.clock;
        sdk_error code;
        if (d.audio == path::shorts) {
            std::vector<int16_t> in16(n), out16(n, 0);
            for (size_t i = 0; i < n; ++i)
                in16[i] = static_cast<int16_t>(std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f));
            code = tovan_sdk_process_shorts(d.handle, in16.data(), out16.data(), n);
            for (size_t i = 0; i < n; ++i)
                out[i] = static_cast<float>(out16[i]) / 32768.0f;
        } else {
            code = tovan_sdk_process(d.handle, in.data(), out.data(), n);
        }
        for (float &x : out)
            x *= gain_;
        played.put(out.data(), n);
        d.clock += n;
        return code;
    }

    device a_, b_;
    float gain_;
    bool noisy_;
    std::normal_distribution<float> noise_;
    std::mt19937 random_{20240611};
    delay_line<float> to_a_, to_b_;
};

} // namespace e2e
