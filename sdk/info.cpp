// Information getters: the protocol's identity and limits, durations, the
// one-line info text and the state of one channel.
#include "coding/protocol.h"
#include "coding/protocol_frame.h"
#include "modem/receiver/receiver.h"
#include "runtime/memory_manager.h"
#include "sdk/handle.h"
#include "sdk/payload.h"

#include <cstdio>

namespace {

constexpr size_t kInfoBytes = 256;

} // namespace

const char *tovan_sdk_get_protocol_name(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? protocol_name(handle->protocol) : "";
}

uint8_t tovan_sdk_get_protocol_version(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? protocol_version(handle->protocol) : 0;
}

uint8_t tovan_sdk_get_channel_count(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? protocol_channel_count(handle->protocol) : 0;
}

size_t tovan_sdk_get_max_payload_length(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? protocol_max_payload_length(handle->protocol) : 0;
}

float tovan_sdk_get_duration_for_payload_length(const sdk_handle *handle, size_t length)
{
    if (!sdk_is_initialised(handle))
        return 0.0f;
    switch (sdk_payload_length_error(handle->protocol, length)) {
    case TOVAN_SDK_PAYLOAD_TOO_SHORT:
        return -1.0f;
    case TOVAN_SDK_PAYLOAD_TOO_LONG:
        return -2.0f;
    default:
        return protocol_duration_for_length(handle->protocol, static_cast<uint8_t>(length));
    }
}

char *tovan_sdk_get_info(const sdk_handle *handle)
{
    if (!sdk_is_initialised(handle))
        return nullptr;
    char *text = tracked_alloc<char>(kInfoBytes);
    if (text == nullptr)
        return nullptr;
    const protocol *p = handle->protocol;
    const uint8_t max = protocol_max_payload_length(p);
    const int written = std::snprintf(text, kInfoBytes,
                                      "Tovan SDK with \"%s\" config v%u [max %u bytes in %.2fs], "
                                      "supporting %u channel(s)",
                                      protocol_name(p), static_cast<unsigned>(protocol_version(p)),
                                      static_cast<unsigned>(max),
                                      static_cast<double>(protocol_duration_for_length(p, max)),
                                      static_cast<unsigned>(protocol_channel_count(p)));
    if (written < 0 || static_cast<size_t>(written) >= kInfoBytes) {
        tracked_free(text); // would not fit whole
        return nullptr;
    }
    return text;
}

sdk_state tovan_sdk_get_state_for_channel(const sdk_handle *handle, uint8_t channel)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_STATE_NOT_CONFIGURED;
    if (handle->state < TOVAN_SDK_STATE_RUNNING)
        return handle->state;
    if (channel >= handle->channel_count)
        return TOVAN_SDK_STATE_NOT_CONFIGURED;
    // The channel the transmission in flight went out on, even when the
    // transmission channel has been changed since.
    if (handle->state == TOVAN_SDK_STATE_SENDING && channel == handle->sending_channel)
        return TOVAN_SDK_STATE_SENDING;
    if (receiver_state(handle->receivers[channel]) == RECEIVER_STATE_RECEIVING)
        return TOVAN_SDK_STATE_RECEIVING;
    return TOVAN_SDK_STATE_RUNNING;
}
