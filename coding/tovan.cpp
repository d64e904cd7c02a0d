#include "coding/tovan.h"

#include "coding/core_info.h"
#include "coding/crc.h"
#include "coding/gf/rs_codec.h"
#include "coding/protocol_frame.h"
#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "runtime/utilities.h"

#include <cstring>

namespace {

// Payload, CRC and parity of one frame: at most 254 bytes (frame_rules.h).
constexpr uint32_t kMaxFrameBytes = 255;

// Deletes what it holds at the end of its scope unless released.
template <typename T, void (*Del)(T *)>
struct scoped {
    T *p = nullptr;
    scoped() = default;
    explicit scoped(T *q) : p(q) {}
    scoped(const scoped &) = delete;
    scoped &operator=(const scoped &) = delete;
    ~scoped() { Del(p); }
    T *release()
    {
        T *q = p;
        p = nullptr;
        return q;
    }
};

using scoped_buffer = scoped<symbol_buffer, del_symbol_buffer>;
using scoped_codec = scoped<rs_codec, del_rs_codec>;
using scoped_word = scoped<rs_codeword, del_rs_codeword>;

// An exact copy of both views of a buffer. The source's symbol view is read
// as it stands, never refreshed from its stream: received symbols keep the
// values they were given, bits above the symbol width included.
symbol_buffer *clone_buffer(const symbol_buffer *source)
{
    symbol_buffer *b = new_symbol_buffer(source->bits_per_symbol, source->byte_count);
    if (b != nullptr)
        symbol_buffer_set_symbols(b, source->symbols);
    return b;
}

bool buffers_equal(const symbol_buffer *a, const symbol_buffer *b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return symbol_buffer_equals(a, b);
}

uint8_t byte_count_of(const symbol_buffer *b)
{
    return b == nullptr ? 0 : b->byte_count;
}

bool length_allowed(const protocol *p, uint8_t length)
{
    return length >= protocol_min_payload_length(p) && length <= protocol_max_payload_length(p);
}

// Every failure past the count check leaves the message unusable rather than
// in state 0, which would rank as an untouched message.
void mark_uncorrectable(tovan *message)
{
    message->state = TOVAN_STATE_UNCORRECTABLE;
    message->corrected = 0;
}

// Swaps in a new payload and parity, then writes CRC and hex text: the last
// step of a successful encode or decode, which cannot fail.
void commit(tovan *message, symbol_buffer *payload, symbol_buffer *parity, const uint8_t *crc_bytes)
{
    del_symbol_buffer(message->payload);
    message->payload = payload;
    del_symbol_buffer(message->parity);
    message->parity = parity;
    symbol_buffer_set_bytes(message->crc, crc_bytes);
    bytes_to_hex(symbol_buffer_bytes(payload), payload->byte_count, message->hex);
}

// The parity of the codec's k-byte block in a new e-byte buffer at b bits;
// NULL when memory runs out.
symbol_buffer *parity_of(const rs_codec *codec, const uint8_t *block, uint8_t b, uint8_t e)
{
    scoped_buffer parity(new_symbol_buffer(b, e));
    scoped_word word(rs_codec_encode(codec, block));
    if (parity.p == nullptr || word.p == nullptr)
        return nullptr;
    symbol_buffer_set_bytes(parity.p, rs_codeword_parity(word.p));
    return parity.release();
}

} // namespace

tovan *new_tovan(const protocol *p)
{
    if (p == nullptr)
        return nullptr;
    tovan *m = tracked_alloc<tovan>(1);
    if (m == nullptr)
        return nullptr;
    m->protocol = p;
    const uint8_t n_fd = protocol_frontdoor_length(p);
    m->frontdoor = tracked_alloc<uint64_t>(n_fd);
    m->crc = new_symbol_buffer(protocol_bits_per_symbol(p), protocol_crc_length(p));
    m->hex = tracked_alloc<char>(protocol_max_hex_length(p) + 1u);
    if (m->frontdoor == nullptr || m->crc == nullptr || m->hex == nullptr) {
        del_tovan(m);
        return nullptr;
    }
    if (n_fd > 0)
        std::memcpy(m->frontdoor, protocol_frontdoor_symbols(p), sizeof(uint64_t) * n_fd);
    return m;
}

tovan *copy_tovan(const tovan *source)
{
    if (source == nullptr)
        return nullptr;
    tovan *m = new_tovan(source->protocol);
    if (m == nullptr)
        return nullptr;
    const protocol *p = source->protocol;
    const uint8_t n_fd = protocol_frontdoor_length(p);
    if (n_fd > 0)
        std::memcpy(m->frontdoor, source->frontdoor, sizeof(uint64_t) * n_fd);
    symbol_buffer_set_symbols(m->crc, source->crc->symbols);
    std::memcpy(m->hex, source->hex, protocol_max_hex_length(p) + 1u);
    bool ok = true;
    if (source->payload != nullptr)
        ok = ok && (m->payload = clone_buffer(source->payload)) != nullptr;
    if (source->parity != nullptr)
        ok = ok && (m->parity = clone_buffer(source->parity)) != nullptr;
    if (source->received != nullptr)
        ok = ok && (m->received = clone_buffer(source->received)) != nullptr;
    if (!ok) {
        del_tovan(m);
        return nullptr;
    }
    m->state = source->state;
    m->corrected = source->corrected;
    return m;
}

void del_tovan(tovan *message)
{
    if (message == nullptr)
        return;
    if (message->frontdoor != nullptr)
        tracked_free(message->frontdoor);
    del_symbol_buffer(message->crc);
    del_symbol_buffer(message->payload);
    del_symbol_buffer(message->parity);
    del_symbol_buffer(message->received);
    if (message->hex != nullptr)
        tracked_free(message->hex);
    tracked_free(message);
}

uint32_t tovan_encode(tovan *message, symbol_buffer *payload)
{
    if (payload == nullptr)
        return TOVAN_CORE_EMPTY_MESSAGE;
    const protocol *p = message->protocol;
    const uint8_t length = payload->byte_count;
    // A length outside the limits has no parity length of its own: the parity
    // rule extrapolates and wraps, and the frame outgrows every buffer.
    if (!length_allowed(p, length))
        return TOVAN_CORE_INVALID_MESSAGE_LENGTH;
    const uint8_t b = protocol_bits_per_symbol(p);
    if (payload->bits_per_symbol != b)
        return TOVAN_CORE_INVALID_SYMBOL_SIZE;
    const uint8_t c = protocol_crc_length(p);
    const uint8_t e = protocol_ecc_length(p, length);

    // Everything new is built before the message changes, so running out of
    // memory leaves it as it was.
    scoped_buffer copy(new_symbol_buffer(b, length));
    if (copy.p == nullptr || !symbol_buffer_copy_from(copy.p, payload))
        return TOVAN_CORE_UNKNOWN_ERROR;
    // The Reed-Solomon block: payload, then the CRC, least significant byte
    // first. A CRC length without a definition (not 1, 2 or 4) sends zeros.
    uint8_t block[kMaxFrameBytes] = {};
    std::memcpy(block, symbol_buffer_bytes(copy.p), length);
    calculate_crc_bytes(block, length, block + length, c);
    scoped_buffer parity;
    if (e > 0) {
        scoped_codec codec(new_rs_codec(8, length + c, e));
        if (codec.p == nullptr || (parity.p = parity_of(codec.p, block, b, e)) == nullptr)
            return TOVAN_CORE_UNKNOWN_ERROR;
    }
    commit(message, copy.release(), parity.release(), block + length);
    return TOVAN_CORE_OK;
}

uint32_t tovan_decode(tovan *message, const uint64_t *symbols, uint8_t n, uint8_t length)
{
    const protocol *p = message->protocol;
    // A corrupted length symbol lands here: outside the limits the parity
    // length wraps and the codec would read past the received bytes.
    if (!length_allowed(p, length)) {
        mark_uncorrectable(message);
        return TOVAN_CORE_INVALID_MESSAGE_LENGTH;
    }
    const uint8_t b = protocol_bits_per_symbol(p);
    const uint8_t c = protocol_crc_length(p);
    const uint8_t e = protocol_ecc_length(p, length);
    const uint32_t k = static_cast<uint32_t>(length) + c;
    const uint8_t data_bytes = static_cast<uint8_t>(k + e);
    if (symbols == nullptr || symbols_for_bytes(data_bytes, b) != n)
        return TOVAN_CORE_INVALID_SYMBOL_COUNT;

    del_symbol_buffer(message->received);
    message->received = new_symbol_buffer(b, data_bytes);
    if (message->received == nullptr) {
        mark_uncorrectable(message);
        return TOVAN_CORE_UNKNOWN_ERROR;
    }
    symbol_buffer_set_symbols(message->received, symbols);
    const uint8_t *received = symbol_buffer_bytes(message->received);

    // The corrected payload and CRC bytes.
    uint8_t data[kMaxFrameBytes] = {};
    uint8_t errors = 0;
    scoped_codec codec;
    if (e > 0) {
        codec.p = new_rs_codec(8, k, e);
        scoped_word word(codec.p == nullptr ? nullptr : rs_codec_decode(codec.p, received));
        if (word.p == nullptr) {
            mark_uncorrectable(message);
            return TOVAN_CORE_UNKNOWN_ERROR;
        }
        if (rs_codeword_is_valid(word.p) == 0) {
            mark_uncorrectable(message);
            return TOVAN_CORE_DECODE_FAILED;
        }
        std::memcpy(data, rs_codeword_message(word.p), k);
        errors = rs_codeword_error_count(word.p);
    } else {
        std::memcpy(data, received, k);
    }

    if (c > 0) {
        uint8_t expected[kMaxFrameBytes] = {};
        calculate_crc_bytes(data, length, expected, c);
        if (std::memcmp(expected, data + length, c) != 0) {
            message->state = TOVAN_STATE_CRC_MISMATCH;
            message->corrected = 0;
            return TOVAN_CORE_DECODE_FAILED;
        }
    }

    // The message keeps the parity of the corrected data, not the parity as
    // received. Without parity bytes there is no parity buffer, as after an
    // encode.
    scoped_buffer payload(new_symbol_buffer(b, length));
    scoped_buffer parity;
    if (payload.p == nullptr || (e > 0 && (parity.p = parity_of(codec.p, data, b, e)) == nullptr)) {
        mark_uncorrectable(message);
        return TOVAN_CORE_UNKNOWN_ERROR;
    }
    symbol_buffer_set_bytes(payload.p, data);
    commit(message, payload.release(), parity.release(), data + length);
    message->state = TOVAN_STATE_DECODED;
    message->corrected = errors;
    return TOVAN_CORE_OK;
}

uint8_t tovan_symbol_count(const tovan *message)
{
    if (message->payload == nullptr)
        return 0;
    const uint8_t bytes = static_cast<uint8_t>(byte_count_of(message->payload) + byte_count_of(message->crc) +
                                               byte_count_of(message->parity));
    const uint16_t data = symbols_for_bytes(bytes, protocol_bits_per_symbol(message->protocol));
    return static_cast<uint8_t>(data + protocol_header_symbol_count(message->protocol));
}

uint64_t *tovan_symbols(const tovan *message)
{
    if (message->payload == nullptr)
        return nullptr;
    const protocol *p = message->protocol;
    const uint8_t count = tovan_symbol_count(message);
    uint8_t bytes[kMaxFrameBytes] = {};
    uint32_t n_bytes = 0;
    symbol_buffer *const parts[3] = {message->payload, message->crc, message->parity};
    for (symbol_buffer *part : parts) {
        if (part == nullptr)
            continue;
        std::memcpy(bytes + n_bytes, symbol_buffer_bytes(part), part->byte_count);
        n_bytes += part->byte_count;
    }
    scoped_buffer data(new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(n_bytes)));
    uint64_t *out = tracked_alloc<uint64_t>(count);
    if (data.p == nullptr || out == nullptr) {
        if (out != nullptr)
            tracked_free(out);
        return nullptr;
    }
    uint32_t at = protocol_frontdoor_length(p);
    if (at > 0)
        std::memcpy(out, message->frontdoor, sizeof(uint64_t) * at);
    if (protocol_has_length_symbol(p))
        out[at++] = message->payload->byte_count;
    symbol_buffer_set_bytes(data.p, bytes);
    std::memcpy(out + at, data.p->symbols, sizeof(uint64_t) * data.p->symbol_count);
    return out;
}

bool tovan_equal(const tovan *a, const tovan *b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return protocol_equals(a->protocol, b->protocol) && buffers_equal(a->payload, b->payload) &&
           buffers_equal(a->parity, b->parity) && buffers_equal(a->crc, b->crc) &&
           std::strcmp(a->hex, b->hex) == 0 && buffers_equal(a->received, b->received) &&
           a->corrected == b->corrected && a->state == b->state;
}

const protocol *tovan_get_protocol(const tovan *message)
{
    return message->protocol;
}

symbol_buffer *tovan_get_payload(const tovan *message)
{
    return message->payload;
}

uint8_t tovan_get_payload_length(const tovan *message)
{
    return byte_count_of(message->payload);
}

symbol_buffer *tovan_get_crc(const tovan *message)
{
    return message->crc;
}

symbol_buffer *tovan_get_parity(const tovan *message)
{
    return message->parity;
}

const char *tovan_get_hex(const tovan *message)
{
    return message->hex;
}

symbol_buffer *tovan_get_received(const tovan *message)
{
    return message->received;
}

uint32_t tovan_get_state(const tovan *message)
{
    return message->state;
}

uint8_t tovan_get_corrected(const tovan *message)
{
    return message->corrected;
}

float tovan_duration(const tovan *message)
{
    if (message->payload == nullptr)
        return 0.0f;
    return protocol_duration_for_length(message->protocol, message->payload->byte_count);
}

void tovan_random(tovan *message, uint8_t *length)
{
    const protocol *p = message->protocol;
    uint8_t n;
    if (length == nullptr || *length == 0) {
        n = static_cast<uint8_t>(random_range(protocol_min_payload_length(p),
                                              static_cast<uint64_t>(protocol_max_payload_length(p)) + 1u));
        if (length != nullptr)
            *length = n;
    } else {
        n = *length;
    }
    scoped_buffer payload(new_symbol_buffer(protocol_bits_per_symbol(p), n));
    if (payload.p == nullptr)
        return;
    symbol_buffer_randomise(payload.p);
    tovan_encode(message, payload.p);
}
