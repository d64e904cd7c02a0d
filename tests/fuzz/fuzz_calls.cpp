// Fuzz target: any sequence of export calls with any arguments on one handle,
// read as a small op-code program. Callbacks run more of the same program
// from inside, so every call is also tried from every callback.
//
// Input: a stream of op bytes, each followed by its arguments (see run_op).
// Every call must answer with a code the header defines (and, where the
// header fixes the answer for the situation, that very code); blocks handed
// out are given back at the end, and del_tovan_sdk must then find nothing in
// use.
#include "fuzz_support.h"

#include "sdk/handle.h"

#include <limits>
#include <vector>

namespace {

using namespace fuzz;

constexpr int kMaxDepth = 3;           // callbacks nested inside callbacks
constexpr uint32_t kMaxOps = 600;      // ops per input, callbacks' included
constexpr size_t kSampleBudget = 400000;

struct machine {
    reader in;
    sdk_handle *h = nullptr;
    int depth = 0; // callbacks of h running now
    uint32_t ops = 0;
    size_t samples = 0;
    std::vector<void *> blocks; // handed out and not yet given back
};

machine *g_machine = nullptr; // the callbacks' way back, whatever user pointer is set

void run_op(machine &m);

const float kFloats[] = {0.0f, -0.0f, 0.5f, 1.0f, 1.5f, 0.49f, 1.51f, -1.0f, 2.0f,
                         std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                         1.0000001f, 0.9999999f, 0.5000001f};
const uint32_t kRates[] = {0, 1, 8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000, 4000, 12000};
const size_t kSizes[] = {0, 1, 2, 5, 6, 7, 255, 256, 65536, SIZE_MAX, SIZE_MAX / 2, size_t{1} << 30,
                         SIZE_MAX / 4 + 1, SIZE_MAX / 4};

float pick_float(reader &in)
{
    const uint8_t sel = in.u8();
    return sel < 200 ? kFloats[sel % (sizeof kFloats / sizeof kFloats[0])] : in.f32();
}

uint32_t pick_rate(reader &in)
{
    const uint8_t sel = in.u8();
    return sel < 200 ? kRates[sel % (sizeof kRates / sizeof kRates[0])] : in.u32() % 400000;
}

// Any size, for calls that judge a size before they touch a buffer.
size_t pick_size(reader &in)
{
    const uint8_t sel = in.u8();
    if (sel < 128)
        return sel % 16;
    if (sel < 192)
        return in.u16();
    return kSizes[sel % (sizeof kSizes / sizeof kSizes[0])];
}

// A block size the harness really allocates.
size_t pick_block(machine &m)
{
    const uint8_t sel = m.in.u8();
    size_t n = sel < 128 ? sel : (sel < 224 ? m.in.u16() % 8192 : m.in.u16());
    if (m.samples + n > kSampleBudget)
        n = 0;
    m.samples += n;
    return n;
}

bool known_code(sdk_error e)
{
    return std::strcmp(tovan_sdk_error_code_to_string(e), "Unknown error code.") != 0;
}

void check(sdk_error e, const char *call)
{
    if (!known_code(e))
        fail(call, e);
}

bool in_callback(const machine &m)
{
    return m.depth > 0;
}

// Calls that the header refuses from inside a callback of the handle, after
// the configured test.
void check_refused_inside(const machine &m, const sdk_handle *h, sdk_error e, const char *call)
{
    check(e, call);
    if (h == nullptr && e != TOVAN_SDK_NOT_INITIALISED)
        fail(call, e);
    if (h != nullptr && in_callback(m) && sdk_is_initialised(h) && e != TOVAN_SDK_PROCESSING_ERROR)
        fail(call, e);
}

// A callback runs the next few ops of the program, nested.
void run_nested(machine &m)
{
    if (m.depth >= kMaxDepth || m.in.empty())
        return;
    const uint8_t count = m.in.u8() % 4;
    m.depth += 1;
    for (uint8_t i = 0; i < count && !m.in.empty() && m.ops < kMaxOps; ++i)
        run_op(m);
    m.depth -= 1;
}

void on_state(void *, sdk_state from, sdk_state to)
{
    require(from <= TOVAN_SDK_STATE_RECEIVING && to <= TOVAN_SDK_STATE_RECEIVING, "states out of range");
    run_nested(*g_machine);
}

void on_payload(void *, const uint8_t *payload, size_t length, uint8_t channel)
{
    require((payload == nullptr) == (length == 0), "payload and length disagree", static_cast<long long>(length));
    require(length <= 255 && channel < 8, "payload length or channel", static_cast<long long>(length));
    volatile uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + payload[i]); // every byte must be readable
    run_nested(*g_machine);
}

void keep_block(machine &m, void *block)
{
    if (block != nullptr)
        m.blocks.push_back(block);
}

void free_blocks(machine &m)
{
    for (void *b : m.blocks)
        tovan_sdk_free(b);
    m.blocks.clear();
}

void set_config(machine &m)
{
    const uint8_t sel = m.in.u8();
    std::string text;
    const char *text_in = nullptr;
    if (sel % 8 < CONFIG_COUNT) {
        text_in = config(sel % 8).c_str();
    } else if (sel % 8 == 6) {
        size_t got = 0;
        const uint8_t *bytes = m.in.take(m.in.u8(), &got);
        text.assign(reinterpret_cast<const char *>(bytes), strnlen(reinterpret_cast<const char *>(bytes), got));
        text_in = config_is_oversized(text.c_str()) ? config(PROTOCOL_STANDARD).c_str() : text.c_str();
    } // 5 and 7: NULL
    const sdk_state before = tovan_sdk_get_state(m.h);
    const sdk_error e = tovan_sdk_set_config(sel >= 128 ? nullptr : m.h, text_in);
    check(e, "set_config");
    if (sel >= 128 || text_in == nullptr)
        require(e == TOVAN_SDK_NULL_POINTER, "set_config with NULL", e);
    else if (in_callback(m))
        require(e == TOVAN_SDK_PROCESSING_ERROR, "set_config from a callback", e);
    else if (e != TOVAN_SDK_OK)
        require(!sdk_is_initialised(m.h) && tovan_sdk_get_state(m.h) == before, "a refused config", e);
}

void delete_op(machine &m, bool null_variable)
{
    if (null_variable) {
        sdk_handle *none = nullptr;
        require(del_tovan_sdk(&none) == TOVAN_SDK_NULL_POINTER, "del_tovan_sdk of a NULL variable");
        require(del_tovan_sdk(nullptr) == TOVAN_SDK_NULL_POINTER, "del_tovan_sdk of NULL");
        return;
    }
    if (in_callback(m)) {
        sdk_handle *before = m.h;
        require(del_tovan_sdk(&m.h) == TOVAN_SDK_PROCESSING_ERROR && m.h == before, "del_tovan_sdk from a callback");
        return;
    }
    free_blocks(m);
    delete_handle(m.h);
    m.h = new_handle();
}

// A second handle comes and goes; the first one's memory is still in use.
void other_handle(machine &m)
{
    sdk_handle *other = new_tovan_sdk();
    require(other != nullptr, "new_tovan_sdk");
    tovan_sdk_set_random_seed(other, m.in.u32()); // the clock seed would make replays differ
    if (m.in.u8() % 2 == 0)
        check(tovan_sdk_set_config(other, config(PROTOCOL_STANDARD).c_str()), "set_config on a second handle");
    require(del_tovan_sdk(&other) == TOVAN_SDK_MEMORY_LEAK, "del_tovan_sdk with another handle alive");
}

void audio_op(machine &m, uint8_t which)
{
    const size_t n = pick_block(m);
    const uint8_t nulls = m.in.u8();
    // One spare sample each: an empty vector's data() may be NULL, and NULL
    // buffers come only when the program asks for them.
    std::vector<float> fin(n + 1), fout(n + 1, 3.0f);
    std::vector<int16_t> sin16(n + 1), sout16(n + 1, 3);
    uint32_t seed = m.in.u32();
    const float level = pick_float(m.in);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        fin[i] = level * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
        sin16[i] = static_cast<int16_t>(seed >> 16);
    }
    float *fi = (nulls & 1) != 0 ? nullptr : fin.data();
    float *fo = (nulls & 2) != 0 ? nullptr : fout.data();
    int16_t *si = (nulls & 1) != 0 ? nullptr : sin16.data();
    int16_t *so = (nulls & 2) != 0 ? nullptr : sout16.data();
    sdk_handle *h = (nulls & 4) != 0 ? nullptr : m.h;
    sdk_error e = TOVAN_SDK_OK;
    switch (which % 7) {
    case 0: e = tovan_sdk_process_input(h, fi, n); break;
    case 1: e = tovan_sdk_process_output(h, fo, n); break;
    case 2: e = tovan_sdk_process(h, fi, fo, n); break;
    case 3: e = tovan_sdk_process_shorts_input(h, si, n); break;
    case 4: e = tovan_sdk_process_shorts_output(h, so, n); break;
    case 5: e = tovan_sdk_process_shorts(h, si, so, n); break;
    default: {
        // Sizes the scratch buffer can never hold (a tracked block holds
        // under 4 GiB) must be refused, not tried.
        const size_t count = (nulls & 8) != 0 ? kSizes[nulls % (sizeof kSizes / sizeof kSizes[0])] : n;
        e = tovan_sdk_process_playthrough(h, count);
        if (count >= (size_t{1} << 30) && e == TOVAN_SDK_OK)
            fail("playthrough of a block no tracked buffer holds", static_cast<long long>(count));
        break;
    }
    }
    check_refused_inside(m, h, e, "audio call");
    if (e == TOVAN_SDK_OK && (which % 7 == 1 || which % 7 == 2))
        for (size_t i = 0; i < n; ++i)
            require(fout[i] >= -1.0f && fout[i] <= 1.0f, "output sample outside -1..1");
}

void run_op(machine &m)
{
    m.ops += 1;
    reader &in = m.in;
    const uint8_t op = in.u8();
    if (verbose())
        std::fprintf(stderr, "%*sop %u (%u) in state %u\n", 2 * m.depth, "", op % 40, op,
                     tovan_sdk_get_state(m.h));
    // Most calls go to the handle; one in eight to NULL.
    sdk_handle *h = (op & 0xE0) == 0xE0 ? nullptr : m.h;
    uint8_t payload[256];
    size_t got = 0;
    const uint8_t *bytes = in.take(in.u8() % 9, &got);
    for (size_t i = 0; i < sizeof payload; ++i)
        payload[i] = got > 0 ? bytes[i % got] : static_cast<uint8_t>(i);

    switch (op % 40) {
    case 0: set_config(m); break;
    case 1: delete_op(m, (op & 0x20) != 0); break;
    case 2: other_handle(m); break;
    case 3: {
        sdk_callbacks cb{};
        const uint8_t mask = in.u8();
        if (mask & 1) cb.on_state_changed = on_state;
        if (mask & 2) cb.on_sending = on_payload;
        if (mask & 4) cb.on_sent = on_payload;
        if (mask & 8) cb.on_receiving = on_payload;
        if (mask & 16) cb.on_received = on_payload;
        check(tovan_sdk_set_callbacks(h, cb), "set_callbacks");
        break;
    }
    case 4: check(tovan_sdk_set_callback_ptr(h, (op & 1) != 0 ? nullptr : &m), "set_callback_ptr"); break;
    case 5: check(tovan_sdk_start(h), "start"); break;
    case 6: check(tovan_sdk_stop(h), "stop"); break;
    case 7:
        check(tovan_sdk_trigger_callbacks(h, (op & 0x20) != 0 ? nullptr : payload, pick_size(in) % 512),
              "trigger_callbacks");
        break;
    case 8: require(tovan_sdk_get_state(h) <= TOVAN_SDK_STATE_RECEIVING, "get_state"); break;
    case 9: {
        const size_t length = pick_size(in);
        check(tovan_sdk_send(h, (op & 0x20) != 0 ? nullptr : payload, length > 256 && length < 65536 ? 6 : length),
              "send");
        break;
    }
    case 10: {
        size_t length = pick_size(in);
        uint8_t *block = tovan_sdk_random_payload(h, (op & 0x20) != 0 ? nullptr : &length);
        if (block != nullptr)
            require(length >= 1 && length <= tovan_sdk_get_max_payload_length(h), "random payload length",
                    static_cast<long long>(length));
        keep_block(m, block);
        break;
    }
    case 11: check(tovan_sdk_is_valid(h, (op & 0x20) != 0 ? nullptr : payload, pick_size(in)), "is_valid"); break;
    case 12: {
        size_t length = pick_size(in);
        if (length > 256 && length < 65536)
            length = 256;
        const size_t n = pick_block(m);
        std::vector<float> out(n + 1, 5.0f);
        const sdk_error e = tovan_sdk_process_payload(h, (op & 0x20) != 0 ? nullptr : payload, length,
                                                      (op & 0x40) != 0 ? nullptr : out.data(), n);
        check(e, "process_payload");
        if (e == TOVAN_SDK_OK)
            for (size_t i = 0; i < n; ++i)
                require(out[i] >= -1.0f && out[i] <= 1.0f, "process_payload sample outside -1..1");
        break;
    }
    case 13: case 14: case 15: case 16: audio_op(m, op); break;
    case 17: check(tovan_sdk_set_volume(h, pick_float(in)), "set_volume"); break;
    case 18: {
        const float v = tovan_sdk_get_volume(h);
        require(v == -1.0f || (v >= 0.0f && v <= 1.0f), "get_volume");
        break;
    }
    case 19:
        check_refused_inside(m, h, tovan_sdk_set_input_sample_rate(h, pick_rate(in)), "set_input_sample_rate");
        break;
    case 20: tovan_sdk_get_input_sample_rate(h); break;
    case 21:
        check_refused_inside(m, h, tovan_sdk_set_output_sample_rate(h, pick_rate(in)), "set_output_sample_rate");
        break;
    case 22: tovan_sdk_get_output_sample_rate(h); break;
    case 23: check(tovan_sdk_set_transmission_channel(h, in.u8() % 10), "set_transmission_channel"); break;
    case 24: {
        const int8_t c = tovan_sdk_get_transmission_channel(h);
        require(c >= -1 && c < 8, "get_transmission_channel", c);
        break;
    }
    case 25: check(tovan_sdk_set_listen_to_self(h, (in.u8() & 1) != 0), "set_listen_to_self"); break;
    case 26: tovan_sdk_get_listen_to_self(h); break;
    case 27: check(tovan_sdk_set_frequency_correction(h, pick_float(in)), "set_frequency_correction"); break;
    case 28: check(tovan_sdk_set_random_seed(h, in.u32()), "set_random_seed"); break;
    case 29: require(tovan_sdk_get_state_for_channel(h, in.u8()) <= TOVAN_SDK_STATE_RECEIVING, "state_for_channel"); break;
    case 30: require(tovan_sdk_get_protocol_name(h) != nullptr, "protocol name"); break;
    case 31: tovan_sdk_get_protocol_version(h); break;
    case 32: require(tovan_sdk_get_channel_count(h) <= 8, "channel count"); break;
    case 33: require(tovan_sdk_get_max_payload_length(h) <= 255, "max payload length"); break;
    case 34: {
        const float d = tovan_sdk_get_duration_for_payload_length(h, pick_size(in));
        require(d == -1.0f || d == -2.0f || d >= 0.0f, "duration");
        break;
    }
    case 35: {
        char *info = tovan_sdk_get_info(h);
        if (info != nullptr)
            require(std::strlen(info) < 256, "info length");
        keep_block(m, info);
        break;
    }
    case 36: {
        const char *text = tovan_sdk_error_code_to_string(in.u32() % 300);
        require(text != nullptr && text[0] != '\0', "error text");
        break;
    }
    case 37:
        require(tovan_sdk_get_library_name() != nullptr && tovan_sdk_get_version() != nullptr &&
                    tovan_sdk_get_build_number() != nullptr,
                "version texts");
        break;
    case 38: {
        const uint32_t usage = tovan_sdk_get_heap_usage(h);
        require(sdk_is_initialised(h) || usage == 0xFFFFFFFFu, "heap usage of an unconfigured handle");
        break;
    }
    default:
        if (!m.blocks.empty()) {
            const size_t i = in.u8() % m.blocks.size();
            tovan_sdk_free(m.blocks[i]);
            m.blocks.erase(m.blocks.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            tovan_sdk_free(nullptr);
        }
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    machine m{reader{data, size}, nullptr, 0, 0, 0, {}};
    g_machine = &m;
    m.h = new_handle();
    while (!m.in.empty() && m.ops < kMaxOps)
        run_op(m);
    free_blocks(m);
    delete_handle(m.h);
    g_machine = nullptr;
    return 0;
}
