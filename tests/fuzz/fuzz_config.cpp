// Fuzz target: tovan_sdk_set_config on whatever text or parameter body comes,
// then a short send, render and receive cycle on any config it accepts.
//
// Input: one mode byte, then
//   mode % 3 == 0  the config text itself (up to the first zero byte);
//   mode % 3 == 1  a parameter body, sent as valid base64 of format 5;
//   mode % 3 == 2  the same with format 6.
// The body modes get past the character and base64 checks at once, so the
// fuzzer spends its time in the body readers, the protocol limits, the
// settings' fit test and the pipeline build.
#include "fuzz_support.h"

#include "coding/protocol.h"
#include "modem/receiver/decoder_settings.h"
#include "sdk/handle.h"

#include <vector>

namespace {

using namespace fuzz;

// Rough cost of one analysis frame: the FFT plus every detector of every
// channel reading the spectrum. A fuzzed config may ask for a 32768-point
// FFT every sample; the cycle feeds only what fits a fixed budget of work.
// (Oversized configs, see config_is_oversized, never get this far.)
uint64_t samples_within_budget(const sdk_handle *h)
{
    const decoder_settings *s = sdk_get_decoder_settings(h);
    const uint64_t fft = s->fft_size > 0 ? s->fft_size : 1;
    const uint64_t hop = s->hop > 0 ? s->hop : 1;
    const uint64_t per_frame = fft * 16 + tovan_sdk_get_channel_count(h) * (s->detector_count + 1ull) * fft * 2;
    const uint64_t budget = 150000000ull;
    const uint64_t samples = budget / per_frame * hop;
    return samples < 96000 ? samples : 96000;
}

void cycle(sdk_handle *h)
{
    require(tovan_sdk_start(h) == TOVAN_SDK_OK, "start after an accepted config");
    require(tovan_sdk_set_listen_to_self(h, true) == TOVAN_SDK_OK, "set_listen_to_self");
    char *info = tovan_sdk_get_info(h);
    tovan_sdk_free(info);

    size_t length = 0;
    uint8_t *payload = tovan_sdk_random_payload(h, &length);
    require(payload != nullptr, "random_payload of a configured handle");
    require(length >= 1 && length <= tovan_sdk_get_max_payload_length(h), "random payload length", length);
    require(tovan_sdk_is_valid(h, payload, length) == TOVAN_SDK_OK, "is_valid of a random payload", length);
    const sdk_error sent = tovan_sdk_send(h, payload, length);
    require(one_of(sent, {TOVAN_SDK_OK, TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_PAYLOAD_EMPTY, TOVAN_SDK_PAYLOAD_INVALID,
                          TOVAN_SDK_PAYLOAD_UNKNOWN_SYMBOLS, TOVAN_SDK_PAYLOAD_DECODE_FAILED,
                          TOVAN_SDK_UNKNOWN_ERROR}),
            "send code", sent);
    if (sent == TOVAN_SDK_OK)
        require(tovan_sdk_get_state(h) == TOVAN_SDK_STATE_SENDING, "state after send", tovan_sdk_get_state(h));

    // The handle's own output back into its input, one block late.
    const uint64_t total = samples_within_budget(h);
    size_t block = 1024;
    std::vector<float> in(block, 0.0f), out(block, 0.0f);
    for (uint64_t done = 0; done < total;) {
        const sdk_error e = tovan_sdk_process(h, in.data(), out.data(), block);
        if (e == TOVAN_SDK_PROCESSING_ERROR && block > 1) {
            block /= 2; // the input FIFO holds 64 frames: a tiny FFT takes small blocks only
            continue;
        }
        require(e == TOVAN_SDK_OK, "process code", e);
        for (size_t i = 0; i < block; ++i)
            require(out[i] >= -1.0f && out[i] <= 1.0f, "output sample outside -1..1", static_cast<long long>(i));
        in.swap(out);
        done += block;
    }
    require(tovan_sdk_stop(h) == TOVAN_SDK_OK, "stop");
    tovan_sdk_free(payload);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0] % 3;
    std::string text;
    if (mode == 0) {
        const char *start = reinterpret_cast<const char *>(data + 1);
        text.assign(start, strnlen(start, size - 1));
    } else {
        std::vector<uint8_t> bytes(data, data + size);
        bytes[0] = mode == 1 ? 5 : 6; // the format byte leads the body
        text = base64(bytes.data(), bytes.size());
    }

    if (config_is_oversized(text.c_str()))
        return 0;
    sdk_handle *h = new_handle();
    const sdk_error e = tovan_sdk_set_config(h, text.c_str());
    require(one_of(e, {TOVAN_SDK_OK, TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_INTERNAL_ERROR, TOVAN_SDK_INVALID_CONFIG,
                       TOVAN_SDK_INVALID_CONFIG_VERSION, TOVAN_SDK_INVALID_CONFIG_CHARACTER}),
            "set_config code", e);
    if (e == TOVAN_SDK_OK) {
        require(tovan_sdk_get_state(h) == TOVAN_SDK_STATE_STOPPED, "state after config");
        const uint8_t channels = tovan_sdk_get_channel_count(h);
        require(channels >= 1 && channels <= 8, "channel count", channels);
        cycle(h);
        // Reconfiguring tears the fuzzed pipeline down, in whatever state.
        require(tovan_sdk_set_config(h, config(PROTOCOL_STANDARD).c_str()) == TOVAN_SDK_OK, "reconfigure");
    } else {
        require(tovan_sdk_get_channel_count(h) == 0, "a refused config left a pipeline");
        require(tovan_sdk_start(h) == TOVAN_SDK_NOT_INITIALISED, "start after a refused config");
    }
    delete_handle(h);
    return 0;
}
