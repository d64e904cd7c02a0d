#include "sdk/config_text.h"

#include "support/memory_fixture.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class ConfigTextTest : public TrackedHeapTest {};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encode(const std::vector<uint8_t> &bytes)
{
    char *text = config_text_encode(bytes.data(), bytes.size());
    EXPECT_NE(text, nullptr);
    std::string s = text != nullptr ? text : "";
    tracked_free(text);
    return s;
}

// Decodes and frees; the bytes are empty when the text was refused.
config_text_result decode(const char *text, std::vector<uint8_t> &out)
{
    uint8_t *bytes = reinterpret_cast<uint8_t *>(1);
    uint64_t length = 99;
    const config_text_result r = config_text_decode(text, &bytes, &length);
    if (r != CONFIG_TEXT_OK) {
        EXPECT_EQ(bytes, nullptr);
        EXPECT_EQ(length, 0u);
    }
    out.assign(bytes, bytes + length);
    if (bytes != nullptr)
        tracked_free(bytes);
    return r;
}

TEST_F(ConfigTextTest, StandardVectors)
{
    const struct {
        std::string bytes;
        const char *text;
    } cases[] = {
        {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},          {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        // the whole alphabet, in order
        {std::string("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51\x55\x97"
         "\x61\x96\x9b\x71\xd7\x9f\x82\x18\xa3\x92\x59\xa7\xa2\x9a\xab\xb2\xdb\xaf"
         "\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb\xf3\xdf\xbf", 48),
         kAlphabet},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(encode(bytes), c.text);
        std::vector<uint8_t> back;
        if (bytes.empty()) {
            EXPECT_EQ(decode(c.text, back), CONFIG_TEXT_MALFORMED);
        } else {
            EXPECT_EQ(decode(c.text, back), CONFIG_TEXT_OK);
            EXPECT_EQ(back, bytes);
        }
    }
}

TEST_F(ConfigTextTest, RoundTripsRandomBytes)
{
    std::mt19937 rng(20240611);
    for (size_t n = 1; n <= 400; ++n) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> bytes(n);
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(rng());
        const std::string text = encode(bytes);
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
        std::vector<uint8_t> back;
        ASSERT_EQ(decode(text.c_str(), back), CONFIG_TEXT_OK);
        ASSERT_EQ(back, bytes);
    }
}

TEST_F(ConfigTextTest, RefusesMalformedText)
{
    const char *cases[] = {
        "",          // nothing
        "Z",         "Zm",       "Zm9",    "Zm9vY", "Zg=",  "Zg===",   // length not a multiple of 4
        "====",      "Z===",     "=Zm9",   "Zm=v",  "Z=8=", // '=' out of place
        "Zg==Zm9v",  "Zm8=Zm9v",                               // padding before the last group
        "Zh==",      "Zm9=",                                   // unused bits set
        "Zm8 ",      "Zm8-",     "Zm8_",   "Zm8.",  "Zm\t8", "Zm8\x80", "Zm8\xff", // outside the alphabet
    };
    for (const char *text : cases) {
        SCOPED_TRACE(text);
        std::vector<uint8_t> bytes;
        EXPECT_EQ(decode(text, bytes), CONFIG_TEXT_MALFORMED);
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(decode(nullptr, bytes), CONFIG_TEXT_MALFORMED);
}

// Only a last group whose unused bits are zero is accepted: 16 of the 64
// characters before one '=', 4 before two.
TEST_F(ConfigTextTest, UnusedBitsMustBeZero)
{
    const struct {
        const char *pattern; // '?' is replaced by each character in turn
        uint8_t mask;
    } cases[] = {{"Zm?=", 0x03}, {"Z?==", 0x0F}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        for (int v = 0; v < 64; ++v) {
            std::string text = c.pattern;
            text[text.find('?')] = kAlphabet[v];
            std::vector<uint8_t> bytes;
            const config_text_result want = (v & c.mask) == 0 ? CONFIG_TEXT_OK : CONFIG_TEXT_MALFORMED;
            EXPECT_EQ(decode(text.c_str(), bytes), want) << text;
        }
    }
}

TEST_F(ConfigTextTest, ExhaustedMemoryIsToldApartFromMalformedText)
{
    uint8_t *bytes = nullptr;
    uint64_t length = 0;
    memory_manager_fail_at(1, true);
    EXPECT_EQ(config_text_decode("Zm9vYmFy", &bytes, &length), CONFIG_TEXT_OUT_OF_MEMORY);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(length, 0u);
    // The text is judged before any memory is asked for.
    EXPECT_EQ(config_text_decode("Zm9vYmF", &bytes, &length), CONFIG_TEXT_MALFORMED);
    const uint8_t foo[] = {'f', 'o', 'o'};
    EXPECT_EQ(config_text_encode(foo, 3), nullptr);
    memory_manager_fail_at(0, false);

    sweep_allocation_failures([] {
        uint8_t *out = nullptr;
        uint64_t n = 0;
        const config_text_result r = config_text_decode("Zm9vYmE=", &out, &n);
        if (out != nullptr)
            tracked_free(out);
        return r == CONFIG_TEXT_OK && n == 5;
    });
    sweep_allocation_failures([] {
        const uint8_t data[] = {1, 2, 3, 4};
        char *text = config_text_encode(data, 4);
        const bool ok = text != nullptr && std::strcmp(text, "AQIDBA==") == 0;
        if (text != nullptr)
            tracked_free(text);
        return ok;
    });
}

} // namespace
