// Shared pieces of the fuzz targets: a reader that turns the fuzzer's bytes
// into values (running dry gives zeros, never an error), a base64 writer of
// the harness's own, the config strings the targets start from, and the
// checks that turn a broken promise into an abort the fuzzer reports.
//
// The same sources build two ways: with libFuzzer (clang, sanitizers) for
// fuzzing, and with a plain replay main that runs the checked-in corpus as a
// normal test. Nothing here may depend on which.
#pragma once

#include "coding/coding_params.h"
#include "coding/modulation_params.h"
#include "coding/protocol.h"
#include "coding/protocol_frame.h"
#include "modem/receiver/decoder_settings.h"
#include "runtime/memory_manager.h"
#include "sdk/config.h"
#include "sdk/config_text.h"
#include "sdk/tovan_sdk.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace fuzz {

// A broken promise: say which, then abort so the fuzzer keeps the input.
[[noreturn]] inline void fail(const char *what, long long value = 0)
{
    std::fprintf(stderr, "fuzz check failed: %s (%lld)\n", what, value);
    std::abort();
}

inline void require(bool ok, const char *what, long long value = 0)
{
    if (!ok)
        fail(what, value);
}

inline bool one_of(uint32_t code, std::initializer_list<uint32_t> allowed)
{
    for (uint32_t a : allowed)
        if (a == code)
            return true;
    return false;
}

// With TOVAN_FUZZ_VERBOSE set, the targets say what happens, for triage.
inline bool verbose()
{
    static const bool on = std::getenv("TOVAN_FUZZ_VERBOSE") != nullptr;
    return on;
}

// Reads values off the front of the input; past the end every read is 0.
struct reader {
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    bool empty() const { return at >= size; }
    size_t left() const { return at < size ? size - at : 0; }
    uint8_t u8() { return at < size ? data[at++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    uint64_t u64() { return static_cast<uint64_t>(u32()) | (static_cast<uint64_t>(u32()) << 32); }
    float f32()
    {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Up to n bytes, as many as are left.
    const uint8_t *take(size_t n, size_t *got)
    {
        *got = n < left() ? n : left();
        const uint8_t *p = data + (at < size ? at : size);
        at += *got;
        return p;
    }
};

// Standard padded base64, written here rather than borrowed from the library
// so that a fault in the library's codec cannot hide itself.
inline std::string base64(const uint8_t *bytes, size_t n)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < n; i += 3) {
        const uint32_t b0 = bytes[i];
        const uint32_t b1 = i + 1 < n ? bytes[i + 1] : 0;
        const uint32_t b2 = i + 2 < n ? bytes[i + 2] : 0;
        const uint32_t group = (b0 << 16) | (b1 << 8) | b2;
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < n ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < n ? alphabet[group & 63] : '=';
    }
    return out;
}

inline std::string take_text(char *text)
{
    std::string s = text != nullptr ? text : "";
    tracked_free(text);
    return s;
}

// Known-good protocols, each a different corner of the alphabet and frame
// rules; each also serves as a config string with the standard receiver
// settings.
enum protocol_kind : uint8_t {
    PROTOCOL_STANDARD,    // one channel, 1 to 6 bytes, no CRC
    PROTOCOL_TWO_BANDS,   // two channels on a linear scale, 1 to 6 bytes
    PROTOCOL_FIXED_CRC,   // one channel, 3-byte payloads with a CRC-16, 8 tones taken 2 at a time
    PROTOCOL_EIGHT_BANDS, // eight narrow channels, 4 bits per symbol, CRC-8
    PROTOCOL_WIDE,        // 256 tones taken 2 at a time (14 bits), 2 to 20 bytes, CRC-32
    PROTOCOL_COUNT
};
inline constexpr uint8_t CONFIG_COUNT = PROTOCOL_COUNT;

// None when memory runs out (or a rule changed under these values).
inline protocol *make_protocol(uint8_t kind)
{
    if (kind == PROTOCOL_STANDARD)
        return new_default_protocol();
    coding_params *coding = nullptr;
    modulation_params *modulation = nullptr;
    if (kind == PROTOCOL_TWO_BANDS) {
        coding = new_default_coding_params();
        modulation = new_modulation_params(2, TOVAN_DEFAULT_FRONTDOOR, 2, "1", 1000.0f, 64.0f, 100.0f, 0.0872f,
                                           0.0872f, 0.015f, 0.015f, 0.005f, 0.0f, 0.0f);
    } else if (kind == PROTOCOL_FIXED_CRC) {
        coding = new_coding_params(3, 2, 3, 3, 2, 4, 4);
        modulation = new_modulation_params(1, TOVAN_DEFAULT_FRONTDOOR, 2, "12", 1200.0f, 90.0f, 0.0f, 0.08f, 0.0872f,
                                           0.01f, 0.01f, 0.0f, 0.005f, 0.005f);
    } else if (kind == PROTOCOL_EIGHT_BANDS) {
        coding = new_coding_params(4, 1, 1, 4, 1, 2, 4);
        const uint64_t door[3] = {3, 12, 7};
        modulation = new_modulation_params(8, door, 3, "1", 800.0f, 40.0f, 40.0f, 0.08f, 0.08f, 0.01f, 0.01f, 0.0f,
                                           0.0f, 0.0f);
    } else {
        coding = new_coding_params(8, 2, 2, 20, 4, 8, 16);
        modulation = new_modulation_params(1, TOVAN_DEFAULT_FRONTDOOR, 2, "1", 500.0f, 20.0f, 0.0f, 0.0872f, 0.0872f,
                                           0.01f, 0.01f, 0.0f, 0.0f, 0.0f);
    }
    protocol *p = new_protocol("fuzz", kind, coding, modulation);
    if (p == nullptr) {
        del_coding_params(coding);
        del_modulation_params(modulation);
    }
    return p;
}

// The config string of a protocol with the standard receiver settings, made
// once. The tracked heap is held while it is written so that every block is
// counted and given back.
inline std::string make_config(uint8_t kind)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    protocol *p = make_protocol(kind);
    decoder_settings *settings = new_default_decoder_settings();
    std::string text = take_text(sdk_config_to_text(p, settings));
    del_decoder_settings(settings);
    del_protocol(p);
    memory_manager_release();
    require(!text.empty(), "a built-in fuzz config could not be made", kind);
    return text;
}

inline const std::string &config(uint8_t kind)
{
    static std::string texts[CONFIG_COUNT];
    if (texts[kind].empty())
        texts[kind] = make_config(kind);
    return texts[kind];
}

// Known open fault, kept out of the fuzzers' way until it is mended: nothing
// bounds how many analysis frames one slot of a config spans (slot seconds x
// sample rate / hop). A config with a 4 GHz rate, a hop of 1 or a slot of an
// hour is accepted and its detectors ask for gigabytes of history and vote
// space, and stopping flushes rate / hop frames through each of them. True for
// a config whose receivers would hold more than 2^23 frame records in all, or
// whose stop would run more than 2^25 bins through detectors.
inline bool config_is_oversized(const char *text)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    uint8_t *bytes = nullptr;
    uint64_t length = 0;
    bool oversized = false;
    if (config_text_decode(text, &bytes, &length) == CONFIG_TEXT_OK && length > 1) {
        uint64_t position = 0;
        protocol *p = protocol_from_bytes(bytes + 1, length - 1, &position, bytes[0]);
        decoder_settings *s = p != nullptr ? decoder_settings_from_bytes(bytes + 1, length - 1, &position, bytes[0])
                                           : nullptr;
        if (p != nullptr && s != nullptr && s->hop > 0) {
            const modulation_params *m = p->modulation;
            const double frames_per_second = static_cast<double>(s->sample_rate) / s->hop;
            const double longest_slot = m->frontdoor_duration > 4.0 * m->symbol_duration
                                            ? static_cast<double>(m->frontdoor_duration)
                                            : 4.0 * m->symbol_duration;
            const double receivers = static_cast<double>(protocol_channel_count(p)) * s->detector_count;
            const double frames = (protocol_header_symbol_count(p) + 2.0) * longest_slot * frames_per_second;
            const double flush = frames_per_second * receivers * (s->fft_size / 2.0 + 1.0);
            oversized = !(receivers * frames <= 8388608.0) || !(flush <= 33554432.0);
        }
        del_decoder_settings(s);
        del_protocol(p);
    }
    tracked_free(bytes);
    memory_manager_release();
    return oversized;
}

// A handle with a fixed seed, so that an input replays the same way.
inline sdk_handle *new_handle()
{
    sdk_handle *h = new_tovan_sdk();
    require(h != nullptr, "new_tovan_sdk gave no handle");
    require(tovan_sdk_set_random_seed(h, 0x5eed) == TOVAN_SDK_OK, "set_random_seed refused");
    return h;
}

// Deletes the only handle of the process: anything still in use is a leak.
inline void delete_handle(sdk_handle *&h)
{
    const sdk_error e = del_tovan_sdk(&h);
    require(e == TOVAN_SDK_OK, "del_tovan_sdk reported", e);
    require(h == nullptr, "del_tovan_sdk left the handle variable set");
}

} // namespace fuzz
