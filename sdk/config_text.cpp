#include "sdk/config_text.h"

#include "runtime/memory_manager.h"

#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kNotInAlphabet = 0xFF;

// Value of a base64 character, or kNotInAlphabet ('=' included: padding is
// handled apart from the data characters).
uint8_t sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0' + 52);
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return kNotInAlphabet;
}

} // namespace

config_text_result config_text_decode(const char *text, uint8_t **bytes, uint64_t *length)
{
    if (bytes != nullptr)
        *bytes = nullptr;
    if (length != nullptr)
        *length = 0;
    if (text == nullptr || bytes == nullptr || length == nullptr)
        return CONFIG_TEXT_MALFORMED;

    const uint64_t n = std::strlen(text);
    if (n == 0 || n % 4 != 0)
        return CONFIG_TEXT_MALFORMED;
    uint64_t padding = 0;
    if (text[n - 1] == '=')
        padding = text[n - 2] == '=' ? 2 : 1;
    // Every character before the padding must be a data character, so an '='
    // anywhere else is refused here too.
    for (uint64_t i = 0; i < n - padding; ++i) {
        if (sextet(text[i]) == kNotInAlphabet)
            return CONFIG_TEXT_MALFORMED;
    }
    // The last group's characters carry 2 bits (one '=') or 4 bits (two) more
    // than its bytes need; they must be zero, or two texts would give the same
    // bytes.
    if (padding == 1 && (sextet(text[n - 2]) & 0x03) != 0)
        return CONFIG_TEXT_MALFORMED;
    if (padding == 2 && (sextet(text[n - 3]) & 0x0F) != 0)
        return CONFIG_TEXT_MALFORMED;

    const uint64_t out_length = n / 4 * 3 - padding;
    uint8_t *out = tracked_alloc<uint8_t>(out_length);
    if (out == nullptr)
        return CONFIG_TEXT_OUT_OF_MEMORY;
    uint64_t o = 0;
    for (uint64_t i = 0; i < n; i += 4) {
        uint32_t group = 0;
        for (uint64_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            group = (group << 6) | (c == '=' ? 0u : sextet(c));
        }
        const uint8_t three[3] = {static_cast<uint8_t>(group >> 16), static_cast<uint8_t>(group >> 8),
                                  static_cast<uint8_t>(group)};
        for (uint64_t j = 0; j < 3 && o < out_length; ++j)
            out[o++] = three[j];
    }
    *bytes = out;
    *length = out_length;
    return CONFIG_TEXT_OK;
}

char *config_text_encode(const uint8_t *bytes, uint64_t length)
{
    if (bytes == nullptr && length != 0)
        return nullptr;
    const uint64_t groups = length / 3 + (length % 3 != 0 ? 1 : 0);
    // A text this long could not be counted: treat it as exhausted memory.
    if (groups > (UINT64_MAX - 1) / 4)
        return nullptr;
    char *text = tracked_alloc<char>(groups * 4 + 1);
    if (text == nullptr)
        return nullptr;
    uint64_t o = 0;
    for (uint64_t i = 0; i < length; i += 3) {
        const uint64_t left = length - i;
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (left > 1)
            group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (left > 2)
            group |= bytes[i + 2];
        text[o++] = kAlphabet[(group >> 18) & 0x3F];
        text[o++] = kAlphabet[(group >> 12) & 0x3F];
        text[o++] = left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text[o++] = left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    text[o] = '\0';
    return text;
}
