#include "coding/coding_params.h"

#include "support/memory_fixture.h"

#include <cstring>

class CodingParamsTest : public TrackedHeapTest {};

TEST_F(CodingParamsTest, ConstructorChecks)
{
    struct Case {
        const char *what;
        uint8_t v[7]; // tone_bits, k, min, max, crc, min_parity, max_parity
        bool ok;
        uint8_t bits;
    };
    const Case cases[] = {
        {"tone_bits 1", {1, 1, 1, 1, 0, 0, 0}, false, 0},
        {"tone_bits 9", {9, 1, 1, 1, 0, 0, 0}, false, 0},
        {"tone_bits 2", {2, 1, 1, 1, 0, 0, 0}, true, 2},
        {"tone_bits 8", {8, 1, 1, 1, 0, 0, 0}, true, 8},
        {"k = tones", {4, 16, 1, 1, 0, 0, 0}, false, 0},
        {"k = tones - 1", {4, 15, 1, 1, 0, 0, 0}, true, 4},
        {"k 0", {5, 0, 1, 1, 0, 0, 0}, false, 0},
        {"min 0", {5, 1, 0, 6, 0, 0, 0}, false, 0},
        {"max 0", {5, 1, 1, 0, 0, 0, 0}, false, 0},
        {"max < min", {5, 1, 4, 3, 0, 0, 0}, false, 0},
        {"254 bytes at 8 bits", {8, 1, 200, 200, 4, 0, 50}, true, 8},
        {"255 bytes", {8, 1, 200, 200, 4, 0, 51}, false, 0},
        {"254 bytes at 7 bits", {7, 1, 200, 200, 4, 0, 50}, false, 0},
        {"min parity unchecked", {8, 1, 1, 4, 0, 200, 0}, true, 8},
        {"length must be a symbol", {5, 1, 1, 32, 0, 0, 0}, false, 0},
        {"fixed length needs no symbol", {5, 1, 32, 32, 0, 0, 0}, true, 5},
        {"8 tones k 2", {3, 2, 1, 1, 0, 0, 0}, true, 4},
        {"16 tones k 2", {4, 2, 1, 1, 0, 0, 0}, true, 6},
        {"16 tones k 3", {4, 3, 1, 1, 0, 0, 0}, true, 9},
        {"32 tones k 2", {5, 2, 1, 1, 0, 0, 0}, true, 8},
        {"256 tones k 2", {8, 2, 1, 1, 0, 0, 0}, true, 14},
        {"64 tones k 8", {6, 8, 1, 1, 0, 0, 0}, true, 32},
        {"alphabet beyond 64 bits", {6, 28, 1, 1, 0, 0, 0}, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const uint8_t *v = c.v;
        coding_params *p = new_coding_params(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
        EXPECT_EQ(p != nullptr, c.ok);
        if (p != nullptr) {
            EXPECT_EQ(p->bits_per_symbol, c.bits);
            EXPECT_EQ(p->symbols, uint64_t{1} << c.bits);
            EXPECT_EQ(p->tones, 1u << v[0]);
        }
        del_coding_params(p);
    }
    EXPECT_FALSE(coding_params_valid(5, 1, 1, 6, 0, 249));
    EXPECT_TRUE(coding_params_valid(5, 1, 1, 6, 0, 248));
}

TEST_F(CodingParamsTest, DefaultAndItsBodyPart)
{
    coding_params *p = new_default_coding_params();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(coding_params_get_tones(p), 32);
    EXPECT_EQ(coding_params_get_bits_per_symbol(p), 5);
    EXPECT_EQ(coding_params_get_symbols(p), 32u);
    EXPECT_EQ(combination_table_bits(coding_params_get_table(p)), 5);
    uint8_t out[9] = {};
    uint64_t pos = 1;
    coding_params_serialise(p, out, &pos);
    const uint8_t expected[7] = {0x05, 0x01, 0x01, 0x06, 0x00, 0x06, 0x06};
    EXPECT_EQ(pos, 8u);
    EXPECT_EQ(std::memcmp(out + 1, expected, 7), 0);

    for (uint8_t format : {5, 6}) {
        uint64_t r = 1;
        coding_params *q = coding_params_deserialise(out, 8, &r, format);
        ASSERT_NE(q, nullptr) << int(format);
        EXPECT_EQ(r, 8u);
        EXPECT_TRUE(coding_params_equal(p, q));
        del_coding_params(q);
    }
    for (uint8_t format : {4, 7}) {
        uint64_t r = 1;
        EXPECT_EQ(coding_params_deserialise(out, 8, &r, format), nullptr);
        EXPECT_EQ(r, 1u);
    }
    uint64_t r = 1;
    EXPECT_EQ(coding_params_deserialise(out, 7, &r, 6), nullptr);
    out[1] = 9; // refused values still move the position
    EXPECT_EQ(coding_params_deserialise(out, 8, &r, 6), nullptr);
    EXPECT_EQ(r, 8u);
    del_coding_params(p);
}

TEST_F(CodingParamsTest, EqualityIgnoresToneCountsAndParity)
{
    coding_params *a = new_coding_params(5, 1, 1, 6, 0, 6, 6);
    coding_params *parity = new_coding_params(5, 1, 1, 6, 0, 2, 8);
    coding_params *alphabet = new_coding_params(3, 2, 1, 6, 0, 6, 6); // 28 sets: 4 bits
    coding_params *alphabet5 = new_coding_params(3, 3, 1, 6, 0, 6, 6); // 56 sets: 5 bits
    coding_params *crc = new_coding_params(5, 1, 1, 6, 2, 6, 6);
    ASSERT_TRUE(a && parity && alphabet && alphabet5 && crc);
    EXPECT_TRUE(coding_params_equal(a, parity));
    EXPECT_FALSE(coding_params_equal(a, alphabet));
    EXPECT_TRUE(coding_params_equal(a, alphabet5));
    EXPECT_FALSE(coding_params_equal(a, crc));
    coding_params *same_bits = new_coding_params(5, 1, 1, 6, 0, 6, 6);
    EXPECT_TRUE(coding_params_equal(a, same_bits));
    for (coding_params *p : {a, parity, alphabet, alphabet5, crc, same_bits})
        del_coding_params(p);
}

