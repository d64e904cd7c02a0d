#include "sdk/pipeline.h"

#include "coding/protocol.h"
#include "coding/protocol_frame.h"
#include "dsp/frame_buffer.h"
#include "dsp/spectrum_analyser.h"
#include "modem/receiver/decoder_settings.h"
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "sdk/state.h"

namespace {

constexpr uint8_t kInputFrames = 64;

sdk_error fail(sdk_handle *h, sdk_error code)
{
    sdk_teardown_pipeline(h);
    return code;
}

} // namespace

sdk_error sdk_build_pipeline(sdk_handle *handle)
{
    if (handle == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    sdk_handle *h = handle;
    const protocol *p = h->protocol;
    const decoder_settings *settings = h->decoder_settings;
    if (p == nullptr || settings == nullptr)
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);
    const uint8_t n = protocol_channel_count(p);

    h->transmitter = new_transmitter(p);
    if (h->transmitter == nullptr)
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);
    // The output starts at the config's rate, not at the transmitter's own.
    if (!transmitter_set_sample_rate(h->transmitter, settings->sample_rate))
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);
    // One draw of the shared generator, so the channel follows the last seed.
    if (n >= 2 && !transmitter_set_channel(h->transmitter, static_cast<uint8_t>(random_next_u32() % n)))
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);
    transmitter_set_started_callback(h->transmitter, sdk_hook_sending, h);
    transmitter_set_finished_callback(h->transmitter, sdk_hook_sent, h);

    h->input_frames = new_frame_buffer(settings->fft_size, settings->hop, kInputFrames, sizeof(float));
    if (h->input_frames == nullptr)
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);
    h->spectrum = new_spectrum_analyser(settings->fft_size);
    if (h->spectrum == nullptr)
        return fail(h, TOVAN_SDK_INTERNAL_ERROR);

    h->receivers = tracked_alloc<receiver *>(n);
    if (h->receivers == nullptr)
        return fail(h, TOVAN_SDK_OUT_OF_MEMORY);
    h->channel_count = n;
    for (uint8_t i = 0; i < n; ++i) {
        h->receivers[i] = new_receiver(settings, p, false, i);
        if (h->receivers[i] == nullptr)
            return fail(h, TOVAN_SDK_INTERNAL_ERROR);
        receiver_set_receiving_callback(h->receivers[i], sdk_hook_receiving, h);
        receiver_set_received_callback(h->receivers[i], sdk_hook_received, h);
    }
    h->initialised = true;
    return TOVAN_SDK_OK;
}

bool sdk_teardown_pipeline(sdk_handle *handle)
{
    if (handle == nullptr)
        return false;
    if (handle->receivers != nullptr) {
        for (uint32_t i = 0; i < handle->channel_count; ++i)
            del_receiver(handle->receivers[i]);
        tracked_free(handle->receivers);
    }
    handle->channel_count = 0;
    del_transmitter(handle->transmitter);
    handle->transmitter = nullptr;
    del_spectrum_analyser(handle->spectrum);
    handle->spectrum = nullptr;
    del_frame_buffer(handle->input_frames);
    handle->input_frames = nullptr;
    del_decoder_settings(handle->decoder_settings);
    handle->decoder_settings = nullptr;
    del_protocol(handle->protocol);
    handle->protocol = nullptr;
    handle->receiver_muted = false;
    handle->stopping = false;
    handle->initialised = false;
    return true;
}
