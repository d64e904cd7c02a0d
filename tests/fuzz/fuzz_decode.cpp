// Fuzz target: the message decode on whatever symbols and lengths come, for
// a few protocols with different alphabets, CRCs and parity lengths.
//
// Input: protocol byte, mode byte, then
//   raw mode (mode bit 0 clear): n, L, then n symbols, 64-bit each or, with
//     mode bit 1, one byte each (values within small alphabets);
//   frame mode (mode bit 0 set): a payload length byte and the payload
//     bytes; the payload is encoded, and the rest of the input is a list of
//     (position, value) changes xor-ed into its data symbols. With mode bit 2
//     the decode is told another length, the next byte.
// Every decode must give a documented result, an undamaged frame must come
// back whole, and every tracked byte must be given back.
#include "fuzz_support.h"

#include "coding/protocol_frame.h"
#include "coding/tovan.h"

#include <vector>

namespace {

using namespace fuzz;

struct protocols {
    protocol *kinds[PROTOCOL_COUNT];
};

// Made once and kept for the whole run; the tracked heap is held for good,
// so that each input's own blocks can be counted against a fixed baseline.
const protocols &all_protocols()
{
    static const protocols made = [] {
        memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
        protocols ps{};
        for (uint8_t k = 0; k < PROTOCOL_COUNT; ++k) {
            ps.kinds[k] = make_protocol(k);
            require(ps.kinds[k] != nullptr, "a built-in fuzz protocol could not be made", k);
        }
        return ps;
    }();
    return made;
}

void check_decoded(tovan *message, uint32_t result)
{
    require(one_of(result, {0, 2, 5, 8, 10}), "tovan_decode result", result);
    const uint32_t state = tovan_get_state(message);
    require(state <= TOVAN_STATE_UNCORRECTABLE, "message state", state);
    if (result == 0) {
        require(state == TOVAN_STATE_DECODED, "state after a successful decode", state);
        require(tovan_get_payload(message) != nullptr, "decoded message without payload");
        // The decoded message frames again, and copies compare equal.
        uint64_t *symbols = tovan_symbols(message);
        require(symbols != nullptr, "symbols of a decoded message");
        tracked_free(symbols);
        tovan *copy = copy_tovan(message);
        require(copy != nullptr, "copy of a decoded message");
        require(tovan_equal(copy, message), "copy differs from its source");
        del_tovan(copy);
    }
}

void raw_decode(const protocol *p, reader &in, uint8_t mode)
{
    const uint8_t n = in.u8();
    const uint8_t length = in.u8();
    std::vector<uint64_t> symbols(n);
    for (uint64_t &s : symbols)
        s = (mode & 2) != 0 ? in.u8() : in.u64();
    tovan *message = new_tovan(p);
    require(message != nullptr, "new_tovan");
    check_decoded(message, tovan_decode(message, n > 0 ? symbols.data() : nullptr, n, length));
    // A second decode of the same message replaces what the first left.
    check_decoded(message, tovan_decode(message, n > 0 ? symbols.data() : nullptr, n, length));
    del_tovan(message);
}

void frame_decode(const protocol *p, reader &in, uint8_t mode)
{
    const uint8_t min = protocol_min_payload_length(p);
    const uint8_t max = protocol_max_payload_length(p);
    const uint8_t length = static_cast<uint8_t>(min + in.u8() % (max - min + 1));
    std::vector<uint8_t> payload(length);
    for (uint8_t &b : payload)
        b = in.u8();

    tovan *sent = new_tovan(p);
    symbol_buffer *bytes = new_symbol_buffer(protocol_bits_per_symbol(p), length);
    require(sent != nullptr && bytes != nullptr, "message or payload buffer");
    symbol_buffer_set_bytes(bytes, payload.data());
    require(tovan_encode(sent, bytes) == 0, "encode of a valid payload");
    del_symbol_buffer(bytes);
    uint64_t *frame = tovan_symbols(sent);
    require(frame != nullptr, "symbols of an encoded message");
    const uint8_t header = protocol_header_symbol_count(p);
    const uint8_t n = static_cast<uint8_t>(tovan_symbol_count(sent) - header);
    std::vector<uint64_t> data(frame + header, frame + header + n);
    tracked_free(frame);
    del_tovan(sent);

    const uint8_t told = (mode & 4) != 0 ? in.u8() : length;
    // Only the low b bits of a symbol count: a change above them is none.
    const uint8_t b = protocol_bits_per_symbol(p);
    const uint64_t low_bits = b >= 64 ? ~0ull : (1ull << b) - 1;
    bool changed = false;
    while (in.left() >= 2 && n > 0) {
        const uint8_t at = in.u8() % n;
        const uint64_t flip = (mode & 2) != 0 ? in.u8() : in.u64();
        data[at] ^= flip;
        changed = changed || (flip & low_bits) != 0;
    }

    tovan *received = new_tovan(p);
    require(received != nullptr, "new_tovan");
    const uint32_t result = tovan_decode(received, n > 0 ? data.data() : nullptr, n, told);
    check_decoded(received, result);
    if (!changed && told == length) {
        require(result == 0, "an undamaged frame did not decode", result);
        symbol_buffer *got = tovan_get_payload(received);
        require(symbol_buffer_byte_count(got) == length &&
                    std::memcmp(symbol_buffer_bytes(got), payload.data(), length) == 0,
                "an undamaged frame decoded to other bytes");
    }
    del_tovan(received);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const protocols &ps = all_protocols();
    reader in{data, size};
    const protocol *p = ps.kinds[in.u8() % PROTOCOL_COUNT];
    const uint8_t mode = in.u8();
    const uint32_t before = memory_manager_get_usage();
    if ((mode & 1) == 0)
        raw_decode(p, in, mode);
    else
        frame_decode(p, in, mode);
    require(memory_manager_get_usage() == before, "tracked bytes leaked",
            static_cast<long long>(memory_manager_get_usage()) - before);
    return 0;
}
