#include "runtime/utilities.h"

#include "runtime/random.h"
#include "support/memory_fixture.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(UtilitiesTest, BytesToHexWritesLowerCasePairs)
{
    struct {
        std::vector<uint8_t> bytes;
        const char *hex;
    } const cases[] = {
        {{0x00, 0xAB, 0x7F}, "00ab7f"},
        {{}, ""},
        {{0xFF}, "ff"},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "0123456789abcdef"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hex);
        std::string out(2 * c.bytes.size() + 2, '#');
        bytes_to_hex(c.bytes.data(), static_cast<uint8_t>(c.bytes.size()), out.data());
        EXPECT_STREQ(out.c_str(), c.hex);
        EXPECT_EQ(out[2 * c.bytes.size() + 1], '#') << "nothing past the NUL";
    }
    std::vector<uint8_t> all(255, 0x5A);
    std::string out(511, '#');
    bytes_to_hex(all.data(), 255, out.data());
    EXPECT_EQ(std::strlen(out.c_str()), 510u);
}

TEST(UtilitiesTest, HexToBytesAcceptsOnlyPairsOfHexDigits)
{
    struct {
        const char *hex;
        uint8_t result;
        std::vector<uint8_t> written; // bytes expected at the front of the output
    } const cases[] = {
        {"00AB7f", 0, {0x00, 0xAB, 0x7F}},
        // Every letter digit in both cases.
        {"aBcDeF", 0, {0xAB, 0xCD, 0xEF}},
        {"AbCdEf", 0, {0xAB, 0xCD, 0xEF}},
        {"", 0, {}},
        {"abc", 1, {}},
        {"zz", 1, {}},
        {"abzz", 1, {0xAB}},
        // Each pair must be exactly two hex digits, none of which a scanf
        // conversion would let through: signs, spaces, prefixes.
        {"0g", 1, {}},
        {"g0", 1, {}},
        {"-1", 1, {}},
        {"+1", 1, {}},
        {" 1", 1, {}},
        {"1 ", 1, {}},
        {"0x12", 1, {}},
        {"12-3", 1, {0x12}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hex);
        uint8_t out[8];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(hex_to_bytes(c.hex, out), c.result);
        for (size_t i = 0; i < c.written.size(); ++i)
            EXPECT_EQ(out[i], c.written[i]) << "byte " << i;
        EXPECT_EQ(out[c.written.size()], 0xEE) << "nothing written past the last good pair";
    }
}

// Fisher-Yates from the end over the reference generator, on the bytes 0, 1,
// 2, ... (mod 256), with an index as wide as the count: an index kept in 8
// bits agrees up to 256 bytes, then lets the later positions trade only with
// the first 256.
std::vector<uint8_t> reference_shuffle(size_t n, uint32_t seed)
{
    std::vector<uint8_t> a(n);
    std::iota(a.begin(), a.end(), 0);
    std::mt19937 g(seed);
    for (int i = static_cast<int>(n) - 1; i >= 0; --i)
        std::swap(a[i], a[g() % static_cast<uint32_t>(i + 1)]);
    return a;
}

TEST(UtilitiesTest, ShuffleBytesDrawsOncePerByte)
{
    for (const int n : {0, 1, 2, 17, 255, 256, 1000}) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> a(static_cast<size_t>(n));
        std::iota(a.begin(), a.end(), 0);
        random_set_seed(77);
        shuffle_bytes(a.data(), static_cast<int16_t>(n));
        EXPECT_EQ(a, reference_shuffle(a.size(), 77));
        std::mt19937 reference(77);
        reference.discard(static_cast<unsigned long long>(n));
        EXPECT_EQ(random_next_u32(), reference()) << "exactly n numbers drawn";
    }
    uint8_t nothing = 9;
    random_set_seed(5);
    shuffle_bytes(&nothing, -3);
    EXPECT_EQ(nothing, 9);
    EXPECT_EQ(random_next_u32(), std::mt19937(5)()) << "a negative count draws nothing";
}

TEST(UtilitiesTest, CountDifferingBytes)
{
    const uint8_t a[] = {1, 2, 3, 4, 5};
    const uint8_t b[] = {1, 0, 3, 0, 0};
    struct {
        uint8_t n, want;
    } const cases[] = {{0, 0}, {1, 0}, {2, 1}, {4, 2}, {5, 3}};
    for (const auto &c : cases)
        EXPECT_EQ(count_differing_bytes(a, b, c.n), c.want) << int(c.n);
}

TEST(UtilitiesTest, CountDifferingCharsStopsAtTheShorterText)
{
    struct {
        const char *s, *t;
        uint32_t want;
    } const cases[] = {
        {"", "", 0}, {"abc", "abc", 0}, {"abc", "abd", 1}, {"abc", "xyzzy", 3},
        {"abcd", "ab", 2}, {"abc", "", 3}, {"", "abc", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.s << " / " << c.t);
        // t in a block of exactly its own size, so a sanitizer build catches
        // any read past its end.
        const size_t tn = std::strlen(c.t) + 1;
        std::unique_ptr<char[]> t(new char[tn]);
        std::memcpy(t.get(), c.t, tn);
        EXPECT_EQ(count_differing_chars(c.s, t.get()), c.want);
    }
}

class LevenshteinTest : public TrackedHeapTest {};

TEST_F(LevenshteinTest, EditDistances)
{
    struct {
        const char *s, *t;
        uint32_t want;
    } const cases[] = {
        {"flaw", "lawn", 2}, {"kitten", "sitting", 3}, {"kitten", "sit", 4}, {"abc", "", 3},
        {"", "abcd", 4},     {"", "", 0},              {"same", "same", 0},  {"a", "b", 1},
        {"ab", "ba", 2},
    };
    for (const auto &c : cases)
        EXPECT_EQ(levenshtein_distance(c.s, c.t), c.want) << c.s << " / " << c.t;
}

TEST(LevenshteinSweepTest, FreesItsTableWhenMemoryRunsOut)
{
    const uint64_t allocations = sweep_allocation_failures([] {
        const uint32_t d = levenshtein_distance("flaw", "lawn");
        EXPECT_TRUE(d == 2 || d == 0xFFFFFFFFu) << d;
        return d == 2;
    });
    EXPECT_EQ(allocations, 6u) << "the row array and 5 rows";
}

TEST(UtilitiesTest, PathBasename)
{
    struct {
        const char *path, *base;
    } const cases[] = {{"a/b/c", "c"}, {"abc", "abc"}, {"dir/", ""}, {"/", ""}, {"", ""}, {"/x.cpp", "x.cpp"}};
    for (const auto &c : cases) {
        const char *got = path_basename(c.path);
        EXPECT_STREQ(got, c.base) << c.path;
        EXPECT_GE(got, c.path) << "a pointer into the text";
    }
}

} // namespace
