// Fuzz target: whatever audio comes, in whatever block sizes, fed to a
// running handle through every input path, with sends and the handle's own
// transmissions mixed in so that receptions start, fail and complete.
//
// Input: config byte, flags byte (bit 0 listen-to-self), then chunks until
// the input or the sample budget runs out, each an op byte and its values:
//   0 raw floats from the input     4 send a payload from the input
//   1 a special value (NaN, inf...) 5 int16 samples from the input
//   2 a full-scale square wave      6 noise through tovan_sdk_process
//   3 own output plus a gain, fed   7 playthrough, or stop and start
#include "fuzz_support.h"

#include "modem/receiver/decoder_settings.h"
#include "sdk/handle.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace fuzz;

constexpr size_t kSampleBudget = 150000;

const float kSpecial[] = {
    std::numeric_limits<float>::quiet_NaN(),
    -std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::denorm_min(),
    -std::numeric_limits<float>::denorm_min(),
    FLT_MIN / 2.0f,
    FLT_MAX,
    -FLT_MAX,
    1.0f,
    -1.0f,
    0.0f,
    -0.0f,
    1e-30f,
    32768.0f,
    0.5f,
};
constexpr size_t kSpecialCount = sizeof kSpecial / sizeof kSpecial[0];

struct context {
    sdk_handle *h;
    uint8_t max_length;
};

void on_state(void *user, sdk_state from, sdk_state to)
{
    const context *c = static_cast<const context *>(user);
    require(from == tovan_sdk_get_state(c->h), "on_state_changed old state is not the state", from);
    require(to >= TOVAN_SDK_STATE_STOPPED && to <= TOVAN_SDK_STATE_RECEIVING, "new state", to);
}

void on_payload(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    const context *c = static_cast<const context *>(user);
    if (verbose())
        std::fprintf(stderr, "  payload callback: %zu bytes on channel %u, state %u\n", length, channel,
                     tovan_sdk_get_state(c->h));
    require(channel < tovan_sdk_get_channel_count(c->h), "callback channel", channel);
    require((payload == nullptr) == (length == 0), "payload and length disagree", static_cast<long long>(length));
    require(length <= c->max_length, "payload longer than the protocol allows", static_cast<long long>(length));
}

void on_receiving(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    require(payload == nullptr && length == 0, "on_receiving with a payload");
    on_payload(user, payload, length, channel);
}

// The largest block every input call must take: the FIFO keeps fewer than
// one frame unread between calls.
size_t accepted_block(const sdk_handle *h)
{
    return 63u * sdk_get_decoder_settings(h)->fft_size;
}

void check_input(const sdk_handle *h, sdk_error e, size_t n)
{
    require(e == TOVAN_SDK_OK || (e == TOVAN_SDK_PROCESSING_ERROR && n > accepted_block(h)),
            "input call code", e);
}

uint32_t lcg(uint32_t &seed)
{
    seed = seed * 1664525u + 1013904223u;
    return seed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    reader in{data, size};
    const std::string &text = config(in.u8() % CONFIG_COUNT);
    const uint8_t flags = in.u8();

    sdk_handle *h = new_handle();
    const sdk_error configured = tovan_sdk_set_config(h, text.c_str());
    require(configured == TOVAN_SDK_OK, "set_config of a built-in config", configured);
    context c{h, static_cast<uint8_t>(tovan_sdk_get_max_payload_length(h))};
    require(tovan_sdk_set_callback_ptr(h, &c) == TOVAN_SDK_OK, "set_callback_ptr");
    require(tovan_sdk_set_callbacks(h, {on_state, on_payload, on_payload, on_receiving, on_payload}) == TOVAN_SDK_OK,
            "set_callbacks");
    require(tovan_sdk_set_listen_to_self(h, (flags & 1) != 0) == TOVAN_SDK_OK, "set_listen_to_self");
    require(tovan_sdk_start(h) == TOVAN_SDK_OK, "start");

    std::vector<float> samples, out;
    std::vector<int16_t> shorts, shorts_out;
    uint32_t seed = 1;
    size_t fed = 0;
    while (!in.empty() && fed < kSampleBudget) {
        const uint8_t op = in.u8();
        size_t n = in.u16();
        if ((op & 0x80) != 0)
            n = n % 64; // small blocks, down to 0, often enough
        // One spare sample: an empty vector's data() may be NULL, and a NULL
        // buffer is refused before a count of 0 is looked at.
        samples.assign(n + 1, 0.0f);
        switch (op & 7) {
        case 0:
            for (size_t i = 0; i < n; ++i)
                samples[i] = in.f32();
            check_input(h, tovan_sdk_process_input(h, samples.data(), n), n);
            break;
        case 1: {
            const float v = kSpecial[in.u8() % kSpecialCount];
            const uint8_t every = in.u8(); // 0: all samples, else one in `every`
            for (size_t i = 0; i < n; ++i)
                if (every == 0 || i % every == 0)
                    samples[i] = v;
            check_input(h, tovan_sdk_process_input(h, samples.data(), n), n);
            break;
        }
        case 2: {
            const size_t half = in.u16() % 2048 + 1;
            const float level = (op & 0x40) != 0 ? kSpecial[in.u8() % kSpecialCount] : 1.0f;
            for (size_t i = 0; i < n; ++i)
                samples[i] = (i / half) % 2 == 0 ? level : -level;
            check_input(h, tovan_sdk_process_input(h, samples.data(), n), n);
            break;
        }
        case 3: {
            const float gain = (op & 0x40) != 0 ? kSpecial[in.u8() % kSpecialCount] : in.f32();
            const sdk_error e = tovan_sdk_process_output(h, samples.data(), n);
            require(e == TOVAN_SDK_OK || e == TOVAN_SDK_NOT_RUNNING, "process_output code", e);
            for (size_t i = 0; i < n; ++i) {
                require(samples[i] >= -1.0f && samples[i] <= 1.0f, "output sample outside -1..1");
                samples[i] = samples[i] + gain * 0.01f;
            }
            if (e == TOVAN_SDK_OK)
                check_input(h, tovan_sdk_process_input(h, samples.data(), n), n);
            break;
        }
        case 4: {
            size_t got = 0;
            const uint8_t *payload = in.take(in.u8() % 8, &got);
            const sdk_error e = tovan_sdk_send(h, payload, got);
            require(one_of(e, {TOVAN_SDK_OK, TOVAN_SDK_PAYLOAD_TOO_SHORT, TOVAN_SDK_PAYLOAD_TOO_LONG,
                               TOVAN_SDK_NOT_RUNNING, TOVAN_SDK_ALREADY_SENDING}),
                    "send code", e);
            n = 0;
            break;
        }
        case 5: {
            shorts.assign(n + 1, 0);
            for (size_t i = 0; i < n; ++i)
                shorts[i] = static_cast<int16_t>(in.u16());
            check_input(h, tovan_sdk_process_shorts_input(h, shorts.data(), n), n);
            break;
        }
        case 6: {
            const float level = in.f32();
            for (size_t i = 0; i < n; ++i)
                samples[i] = level * (static_cast<float>(lcg(seed) >> 8) / 8388608.0f - 1.0f);
            out.assign(n + 1, 7.0f);
            const sdk_error e = tovan_sdk_process(h, samples.data(), out.data(), n);
            check_input(h, e, n);
            if (e == TOVAN_SDK_OK)
                for (size_t i = 0; i < n; ++i)
                    require(out[i] >= -1.0f && out[i] <= 1.0f, "process output sample outside -1..1");
            if ((op & 0x40) != 0) {
                shorts.assign(n + 1, 0);
                for (int16_t &v : shorts)
                    v = static_cast<int16_t>(lcg(seed) >> 16);
                shorts_out.assign(n + 1, 0);
                check_input(h, tovan_sdk_process_shorts(h, shorts.data(), shorts_out.data(), n), n);
            }
            break;
        }
        default:
            if ((op & 0x40) != 0) {
                require(tovan_sdk_stop(h) == TOVAN_SDK_OK, "stop");
                require(tovan_sdk_get_state(h) == TOVAN_SDK_STATE_STOPPED, "state after stop");
                require(tovan_sdk_start(h) == TOVAN_SDK_OK, "start after stop");
                n = 0;
            } else {
                check_input(h, tovan_sdk_process_playthrough(h, n), n);
            }
            break;
        }
        fed += n;
    }
    // Deleted while running: a reception or transmission under way ends
    // silently. Stopping, which flushes a second of silence, is an op.
    delete_handle(h);
    return 0;
}
