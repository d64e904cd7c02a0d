// Sending: transmissions through the handle's transmitter, random payloads,
// payload checks, and the offline render of one payload.
#include "coding/core_info.h"
#include "coding/protocol.h"
#include "coding/symbol_buffer.h"
#include "coding/tovan.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "runtime/utilities.h"
#include "sdk/payload.h"
#include "sdk/state.h"

#include <cstring>

namespace {

// Core result -> the interface's code, for every core call of the sending
// side (the encode and the transmitter's send). The core's 10 means memory
// ran out: a copy or a buffer could not be made.
sdk_error core_to_sdk_error(uint32_t core)
{
    switch (core) {
    case TOVAN_CORE_OK:
        return TOVAN_SDK_OK;
    case TOVAN_CORE_UNKNOWN_ERROR:
        return TOVAN_SDK_OUT_OF_MEMORY;
    case TOVAN_CORE_EMPTY_MESSAGE:
        return TOVAN_SDK_PAYLOAD_EMPTY;
    case TOVAN_CORE_INVALID_MESSAGE_LENGTH:
    case TOVAN_CORE_INVALID_IDENTIFIER:
    case TOVAN_CORE_INVALID_SYMBOL_SIZE:
    case TOVAN_CORE_INVALID_SYMBOL_COUNT:
    case TOVAN_CORE_INVALID_PROTOCOL:
        return TOVAN_SDK_PAYLOAD_INVALID;
    case TOVAN_CORE_UNKNOWN_SYMBOLS:
        return TOVAN_SDK_PAYLOAD_UNKNOWN_SYMBOLS;
    case TOVAN_CORE_DECODE_FAILED:
        return TOVAN_SDK_PAYLOAD_DECODE_FAILED;
    default:
        return TOVAN_SDK_UNKNOWN_ERROR;
    }
}

// The payload framed into a new message, or none with *code set: 1 when
// memory runs out (the only way the encode can fail once the length has been
// checked).
tovan *encoded_message(const protocol *p, const uint8_t *payload, size_t length, sdk_error *code)
{
    *code = TOVAN_SDK_OUT_OF_MEMORY;
    tovan *message = new_tovan(p);
    if (message == nullptr)
        return nullptr;
    symbol_buffer *bytes = sdk_new_payload(p, length);
    if (bytes == nullptr) {
        del_tovan(message);
        return nullptr;
    }
    symbol_buffer_set_bytes(bytes, payload);
    const uint32_t encoded = tovan_encode(message, bytes);
    del_symbol_buffer(bytes);
    if (encoded != TOVAN_CORE_OK) {
        *code = core_to_sdk_error(encoded);
        del_tovan(message);
        return nullptr;
    }
    *code = TOVAN_SDK_OK;
    return message;
}

} // namespace

sdk_error sdk_payload_length_error(const protocol *p, size_t length)
{
    if (length < protocol_min_payload_length(p))
        return TOVAN_SDK_PAYLOAD_TOO_SHORT;
    if (length > protocol_max_payload_length(p))
        return TOVAN_SDK_PAYLOAD_TOO_LONG;
    return TOVAN_SDK_OK;
}

symbol_buffer *sdk_new_payload(const protocol *p, size_t length)
{
    if (p == nullptr || length == 0 || length > UINT8_MAX)
        return nullptr;
    return new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(length));
}

uint8_t *sdk_copy_payload_bytes(const tovan *message, size_t *length)
{
    if (length != nullptr)
        *length = 0;
    symbol_buffer *payload = message != nullptr ? tovan_get_payload(message) : nullptr;
    if (payload == nullptr || length == nullptr)
        return nullptr;
    const uint8_t count = symbol_buffer_byte_count(payload);
    uint8_t *copy = count > 0 ? tracked_alloc<uint8_t>(count) : nullptr;
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, symbol_buffer_bytes(payload), count);
    *length = count;
    return copy;
}

char *sdk_payload_to_hex(const sdk_handle *handle, const uint8_t *payload, size_t length)
{
    if (payload == nullptr || tovan_sdk_is_valid(handle, payload, length) != TOVAN_SDK_OK)
        return nullptr;
    char *text = tracked_alloc<char>(2 * length + 1);
    if (text != nullptr)
        bytes_to_hex(payload, static_cast<uint8_t>(length), text);
    return text;
}

uint8_t *sdk_payload_from_hex(const sdk_handle *handle, const char *text)
{
    if (!sdk_is_initialised(handle) || text == nullptr)
        return nullptr;
    const size_t digits = std::strlen(text);
    if (digits % 2 != 0 || sdk_payload_length_error(handle->protocol, digits / 2) != TOVAN_SDK_OK)
        return nullptr;
    uint8_t *bytes = tracked_alloc<uint8_t>(digits / 2);
    if (bytes != nullptr && hex_to_bytes(text, bytes) != 0) {
        tracked_free(bytes);
        return nullptr;
    }
    return bytes;
}

sdk_error tovan_sdk_send(sdk_handle *handle, const uint8_t *payload, size_t length)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (payload == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (const sdk_error e = sdk_payload_length_error(handle->protocol, length); e != TOVAN_SDK_OK)
        return e;
    // A stop that is flushing the receivers is about to end in STOPPED.
    if (handle->state < TOVAN_SDK_STATE_RUNNING || handle->stopping)
        return TOVAN_SDK_NOT_RUNNING;
    // The state holds only the latest event, which a reception may have
    // overwritten: the transmitter knows whether it is still busy, and a
    // send now would replace its transmission without a word.
    if (handle->state == TOVAN_SDK_STATE_SENDING || transmitter_state(handle->transmitter) == TRANSMITTER_STATE_SENDING)
        return TOVAN_SDK_ALREADY_SENDING;
    sdk_error code = TOVAN_SDK_OK;
    tovan *message = encoded_message(handle->protocol, payload, length, &code);
    if (message == nullptr)
        return code;
    // The sending hook runs inside: state SENDING, the own receiver muted,
    // on_sending. The transmitter keeps a copy of the message.
    const uint32_t sent = transmitter_send(handle->transmitter, message);
    del_tovan(message);
    return core_to_sdk_error(sent);
}

uint8_t *tovan_sdk_random_payload(const sdk_handle *handle, size_t *length)
{
    if (!sdk_is_initialised(handle) || length == nullptr)
        return nullptr;
    const uint8_t min = protocol_min_payload_length(handle->protocol);
    const uint8_t max = protocol_max_payload_length(handle->protocol);
    size_t n = *length;
    if (n > max || (n != 0 && n < min))
        return nullptr;
    if (n == 0) {
        n = static_cast<size_t>(random_range(min, static_cast<uint64_t>(max) + 1));
        *length = n;
    }
    symbol_buffer *bytes = sdk_new_payload(handle->protocol, n);
    if (bytes == nullptr)
        return nullptr;
    symbol_buffer_randomise(bytes);
    uint8_t *block = tracked_alloc<uint8_t>(n);
    if (block != nullptr)
        std::memcpy(block, symbol_buffer_bytes(bytes), n);
    del_symbol_buffer(bytes);
    return block;
}

sdk_error tovan_sdk_is_valid(const sdk_handle *handle, const uint8_t *, size_t length)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    return sdk_payload_length_error(handle->protocol, length);
}

sdk_error tovan_sdk_process_payload(const sdk_handle *handle, const uint8_t *payload, size_t length, float *output,
                                    size_t n)
{
    if (handle == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (payload == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (output == nullptr)
        return TOVAN_SDK_NULL_BUFFER;
    // Judged before anything is built: the payload buffer's byte count is
    // 8-bit, so an unchecked 256 would become an empty buffer and overflow.
    if (const sdk_error e = sdk_payload_length_error(handle->protocol, length); e != TOVAN_SDK_OK)
        return e == TOVAN_SDK_PAYLOAD_TOO_LONG ? sdk_error{TOVAN_SDK_PAYLOAD_INVALID} : e;
    // Defaults only: full volume, channel 0, no callbacks; the handle's own
    // transmitter and settings are left alone, all but the output rate.
    transmitter *t = new_transmitter(handle->protocol);
    if (t == nullptr)
        return TOVAN_SDK_UNKNOWN_ERROR;
    if (!transmitter_set_sample_rate(t, transmitter_sample_rate(handle->transmitter))) {
        del_transmitter(t);
        return TOVAN_SDK_INVALID_SAMPLE_RATE;
    }
    sdk_error code = TOVAN_SDK_OK;
    tovan *message = encoded_message(handle->protocol, payload, length, &code);
    if (message == nullptr) {
        del_transmitter(t);
        return code;
    }
    const uint32_t sent = transmitter_send(t, message);
    del_tovan(message);
    if (sent != TOVAN_CORE_OK) {
        del_transmitter(t);
        return core_to_sdk_error(sent);
    }
    std::memset(output, 0, n * sizeof(float));
    transmitter_render(t, output, n);
    del_transmitter(t);
    return TOVAN_SDK_OK;
}
