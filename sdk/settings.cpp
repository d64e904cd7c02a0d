// Setters and getters of a configured handle: volume, sample rates,
// transmission channel, listen-to-self, frequency correction, random seed.
// Volume, output rate and channel live in the transmitter; input rate and
// frequency correction in every receiver, receiver 0 answering for all.
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/random.h"
#include "sdk/handle.h"
#include "sdk/state.h"

namespace {

// After receivers 0..count-1 rebuilt their detectors for a new rate, no
// reception is under way on them any more; one the state still reports as
// RECEIVING would otherwise never end.
void end_dropped_receptions(sdk_handle *h, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (receiver_state(h->receivers[i]) == RECEIVER_STATE_RECEIVING)
            receiver_reset(h->receivers[i]);
    if (h->state != TOVAN_SDK_STATE_RECEIVING)
        return;
    for (uint32_t i = 0; i < h->channel_count; ++i)
        if (receiver_state(h->receivers[i]) == RECEIVER_STATE_RECEIVING)
            return;
    sdk_set_state(h, TOVAN_SDK_STATE_RUNNING);
}

} // namespace

sdk_error tovan_sdk_set_volume(sdk_handle *handle, float volume)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (!(volume >= 0.0f && volume <= 1.0f))
        return TOVAN_SDK_INVALID_VOLUME;
    transmitter_set_volume(handle->transmitter, volume);
    return TOVAN_SDK_OK;
}

float tovan_sdk_get_volume(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? transmitter_volume(handle->transmitter) : -1.0f;
}

sdk_error tovan_sdk_set_input_sample_rate(sdk_handle *handle, uint32_t rate)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    // Rebuilding the detectors under a receiver that is processing a frame
    // would pull them from under it.
    if (sdk_in_callback(handle))
        return TOVAN_SDK_PROCESSING_ERROR;
    if (rate == 0)
        return TOVAN_SDK_INVALID_SAMPLE_RATE;
    const uint32_t old_rate = receiver_sample_rate(handle->receivers[0]);
    if (rate == old_rate)
        return TOVAN_SDK_OK;
    for (uint32_t i = 0; i < handle->channel_count; ++i) {
        if (receiver_set_sample_rate(handle->receivers[i], rate))
            continue;
        // The receivers always end with one common rate.
        for (uint32_t j = 0; j < i; ++j)
            receiver_set_sample_rate(handle->receivers[j], old_rate);
        end_dropped_receptions(handle, i);
        return TOVAN_SDK_INVALID_SAMPLE_RATE;
    }
    end_dropped_receptions(handle, handle->channel_count);
    return TOVAN_SDK_OK;
}

uint32_t tovan_sdk_get_input_sample_rate(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? receiver_sample_rate(handle->receivers[0]) : 0;
}

sdk_error tovan_sdk_set_output_sample_rate(sdk_handle *handle, uint32_t rate)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    // A render in progress further up the stack keeps its slot timing.
    if (sdk_in_callback(handle))
        return TOVAN_SDK_PROCESSING_ERROR;
    if (rate == 0)
        return TOVAN_SDK_INVALID_SAMPLE_RATE;
    if (rate == transmitter_sample_rate(handle->transmitter))
        return TOVAN_SDK_OK;
    return transmitter_set_sample_rate(handle->transmitter, rate) ? TOVAN_SDK_OK : TOVAN_SDK_INVALID_SAMPLE_RATE;
}

uint32_t tovan_sdk_get_output_sample_rate(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? transmitter_sample_rate(handle->transmitter) : 0;
}

sdk_error tovan_sdk_set_transmission_channel(sdk_handle *handle, uint8_t channel)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (channel >= handle->channel_count || !transmitter_set_channel(handle->transmitter, channel))
        return TOVAN_SDK_INVALID_CHANNEL;
    return TOVAN_SDK_OK;
}

int8_t tovan_sdk_get_transmission_channel(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? static_cast<int8_t>(transmitter_channel(handle->transmitter)) : -1;
}

sdk_error tovan_sdk_set_listen_to_self(sdk_handle *handle, bool listen)
{
    if (handle == nullptr)
        return TOVAN_SDK_NOT_INITIALISED;
    handle->listen_to_self = listen;
    return TOVAN_SDK_OK;
}

bool tovan_sdk_get_listen_to_self(const sdk_handle *handle)
{
    return handle != nullptr && handle->listen_to_self;
}

sdk_error tovan_sdk_set_frequency_correction(sdk_handle *handle, float factor)
{
    if (handle == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    const float old_factor = receiver_frequency_correction(handle->receivers[0]);
    if (old_factor == 0.0f) // receivers without detectors
        return TOVAN_SDK_INVALID_FREQUENCY_CORRECTION;
    for (uint32_t i = 0; i < handle->channel_count; ++i) {
        if (receiver_set_frequency_correction(handle->receivers[i], factor))
            continue;
        for (uint32_t j = 0; j < i; ++j)
            receiver_set_frequency_correction(handle->receivers[j], old_factor);
        return TOVAN_SDK_INVALID_FREQUENCY_CORRECTION;
    }
    return TOVAN_SDK_OK;
}

sdk_error tovan_sdk_set_random_seed(sdk_handle *handle, uint32_t seed)
{
    if (handle == nullptr)
        return TOVAN_SDK_NOT_INITIALISED;
    random_set_seed(seed);
    return TOVAN_SDK_OK;
}
