#include "sdk/state.h"

#include "coding/protocol.h"
#include "coding/symbol_buffer.h"
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"
#include "sdk/payload.h"

#include <cstring>

namespace {

// Payload callbacks see bytes that live for the call only. The copy comes
// from the tracked heap; when memory runs out it lives in `local` instead, so
// a short heap never costs the application a payload. Payloads are at most
// 255 bytes.
struct payload_copy {
    uint8_t *heap;
    const uint8_t *bytes;
    size_t length;
    uint8_t local[256];
};

void take_copy(payload_copy &copy, const uint8_t *bytes, size_t length)
{
    copy.heap = nullptr;
    copy.bytes = nullptr;
    copy.length = 0;
    if (bytes == nullptr || length == 0)
        return;
    copy.heap = tracked_alloc<uint8_t>(length);
    uint8_t *to = copy.heap;
    if (to == nullptr) {
        if (length > sizeof copy.local)
            return;
        to = copy.local;
    }
    std::memcpy(to, bytes, length);
    copy.bytes = to;
    copy.length = length;
}

// The message's payload bytes, copied now: the message may be gone by the
// time the callback runs (a stop from on_state_changed frees the
// transmitter's copy, a flush can make a detector decode again).
void take_message_copy(payload_copy &copy, const tovan *message)
{
    symbol_buffer *payload = message != nullptr ? tovan_get_payload(message) : nullptr;
    if (payload == nullptr) {
        take_copy(copy, nullptr, 0);
        return;
    }
    take_copy(copy, symbol_buffer_bytes(payload), symbol_buffer_byte_count(payload));
}

void drop_copy(payload_copy &copy)
{
    tracked_free(copy.heap);
    copy.bytes = nullptr;
}

sdk_handle *hooked_handle(void *user)
{
    auto *h = static_cast<sdk_handle *>(user);
    return sdk_is_initialised(h) ? h : nullptr;
}

void unmute_muted_receiver(sdk_handle *h)
{
    if (!h->receiver_muted)
        return;
    h->receiver_muted = false;
    if (h->muted_channel < h->channel_count)
        receiver_set_stopped(h->receivers[h->muted_channel], 0);
}

} // namespace

bool sdk_is_running(const sdk_handle *handle)
{
    return handle->state >= TOVAN_SDK_STATE_RUNNING;
}

bool sdk_in_callback(const sdk_handle *handle)
{
    return handle != nullptr && handle->callback_depth > 0;
}

sdk_error sdk_set_state(sdk_handle *handle, sdk_state new_state)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    const uint32_t stores = handle->state_stores;
    if (handle->callbacks.on_state_changed != nullptr) {
        handle->callback_depth += 1;
        handle->callbacks.on_state_changed(handle->callback_ptr, handle->state, new_state);
        handle->callback_depth -= 1;
    }
    if (handle->state_stores == stores) {
        handle->state = new_state;
        handle->state_stores += 1;
    }
    return TOVAN_SDK_OK;
}

void sdk_fire_payload_callback(sdk_handle *handle, void (*callback)(void *, const uint8_t *, size_t, uint8_t),
                               const uint8_t *bytes, size_t length, uint8_t channel)
{
    if (callback == nullptr)
        return;
    payload_copy copy;
    take_copy(copy, bytes, length);
    handle->callback_depth += 1;
    callback(handle->callback_ptr, copy.bytes, copy.length, channel);
    handle->callback_depth -= 1;
    drop_copy(copy);
}

void sdk_hook_sending(transmitter *t, const tovan *message, void *user)
{
    sdk_handle *h = hooked_handle(user);
    if (message == nullptr || h == nullptr || !sdk_is_running(h))
        return;
    const uint8_t channel = transmitter_channel(t);
    payload_copy copy;
    take_message_copy(copy, message);
    h->sending_channel = channel;
    sdk_set_state(h, TOVAN_SDK_STATE_SENDING);
    if (sdk_is_running(h)) {
        if (!h->listen_to_self && channel < h->channel_count) {
            if (h->receiver_muted && h->muted_channel != channel)
                unmute_muted_receiver(h);
            receiver_set_stopped(h->receivers[channel], 1);
            h->receiver_muted = true;
            h->muted_channel = channel;
        }
        sdk_fire_payload_callback(h, h->callbacks.on_sending, copy.bytes, copy.length, channel);
    }
    drop_copy(copy);
}

void sdk_hook_sent(transmitter *, const tovan *message, void *user)
{
    sdk_handle *h = hooked_handle(user);
    if (message == nullptr || h == nullptr)
        return;
    // The channel the transmission went out on, and the receiver its start
    // muted: either may have been changed since, which must not leave a
    // receiver deaf.
    const uint8_t channel = h->sending_channel;
    // Unmuted before the state store, because a send nested in
    // on_state_changed mutes a receiver for its own transmission.
    unmute_muted_receiver(h);
    if (!sdk_is_running(h))
        return;
    payload_copy copy;
    take_message_copy(copy, message);
    sdk_set_state(h, TOVAN_SDK_STATE_RUNNING);
    if (sdk_is_running(h))
        sdk_fire_payload_callback(h, h->callbacks.on_sent, copy.bytes, copy.length, channel);
    drop_copy(copy);
}

void sdk_hook_receiving(receiver *r, const tovan *, void *user)
{
    sdk_handle *h = hooked_handle(user);
    if (h == nullptr || !sdk_is_running(h))
        return;
    const uint8_t channel = receiver_channel(r);
    sdk_set_state(h, TOVAN_SDK_STATE_RECEIVING);
    if (sdk_is_running(h))
        sdk_fire_payload_callback(h, h->callbacks.on_receiving, nullptr, 0, channel);
}

void sdk_hook_received(receiver *r, const tovan *message, void *user)
{
    sdk_handle *h = hooked_handle(user);
    // A reception that ended without a message reports nothing.
    if (message == nullptr || h == nullptr || !sdk_is_running(h))
        return;
    const uint8_t channel = receiver_channel(r);
    payload_copy copy;
    if (tovan_get_state(message) == TOVAN_STATE_DECODED)
        take_message_copy(copy, message);
    else
        take_copy(copy, nullptr, 0); // CRC mismatch or uncorrectable: no payload
    sdk_set_state(h, TOVAN_SDK_STATE_RUNNING);
    if (sdk_is_running(h))
        sdk_fire_payload_callback(h, h->callbacks.on_received, copy.bytes, copy.length, channel);
    drop_copy(copy);
}

sdk_error tovan_sdk_set_callbacks(sdk_handle *handle, sdk_callbacks callbacks)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    handle->callbacks = callbacks;
    return TOVAN_SDK_OK;
}

sdk_error tovan_sdk_set_callback_ptr(sdk_handle *handle, void *user)
{
    if (handle == nullptr)
        return TOVAN_SDK_NOT_INITIALISED;
    handle->callback_ptr = user;
    return TOVAN_SDK_OK;
}

sdk_error tovan_sdk_start(sdk_handle *handle)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (handle->state != TOVAN_SDK_STATE_STOPPED)
        return TOVAN_SDK_ALREADY_RUNNING;
    return sdk_set_state(handle, TOVAN_SDK_STATE_RUNNING);
}

sdk_error tovan_sdk_stop(sdk_handle *handle)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (handle->state == TOVAN_SDK_STATE_STOPPED)
        return TOVAN_SDK_ALREADY_STOPPED;
    // Asked again from a callback raised by the flush below: the stop under
    // way finishes the job.
    if (handle->stopping)
        return TOVAN_SDK_OK;
    handle->stopping = true;
    // An aborted transmission fires no sent hook; the resets below unmute the
    // receiver it had muted.
    transmitter_stop(handle->transmitter);
    for (uint32_t i = 0; i < handle->channel_count; ++i) {
        receiver_flush(handle->receivers[i]);
        receiver_reset(handle->receivers[i]);
    }
    handle->receiver_muted = false;
    handle->stopping = false;
    return sdk_set_state(handle, TOVAN_SDK_STATE_STOPPED);
}

sdk_error tovan_sdk_trigger_callbacks(sdk_handle *handle, const uint8_t *payload, size_t length)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (payload == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (const sdk_error e = sdk_payload_length_error(handle->protocol, length); e != TOVAN_SDK_OK)
        return e;
    // A fixed rehearsal, whatever the real state, which stays as it is.
    if (handle->callbacks.on_state_changed != nullptr) {
        handle->callback_depth += 1;
        handle->callbacks.on_state_changed(handle->callback_ptr, TOVAN_SDK_STATE_RUNNING, TOVAN_SDK_STATE_STOPPED);
        handle->callback_depth -= 1;
    }
    // Read one by one: a callback may replace the others.
    sdk_fire_payload_callback(handle, handle->callbacks.on_sending, payload, length, 0);
    sdk_fire_payload_callback(handle, handle->callbacks.on_sent, payload, length, 0);
    sdk_fire_payload_callback(handle, handle->callbacks.on_receiving, payload, length, 0);
    sdk_fire_payload_callback(handle, handle->callbacks.on_received, payload, length, 0);
    return TOVAN_SDK_OK;
}

sdk_state tovan_sdk_get_state(const sdk_handle *handle)
{
    return handle == nullptr ? sdk_state{TOVAN_SDK_STATE_NOT_CONFIGURED} : handle->state;
}
