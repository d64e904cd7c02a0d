#include "coding/gf/rs_poly.h"

#include "support/byte_field_fixture.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<uint8_t>;

// A view of test bytes; empty still needs a block (NULL data means failed).
gf_poly view(const bytes &b)
{
    static uint8_t none = 0;
    return gf_poly{b.empty() ? &none : const_cast<uint8_t *>(b.data()), b.size()};
}

// The coefficients of a result, which is freed.
bytes take(gf_poly p)
{
    EXPECT_FALSE(gf_poly_failed(p));
    const bytes b = p.length == 0 ? bytes{} : bytes(p.data, p.data + p.length);
    del_gf_poly(&p);
    return b;
}

class RsPolyTest : public ByteFieldTest {
protected:
    // A full block: `data` zero-extended to 255 - nsym bytes, then its parity.
    bytes block_of(bytes data, uint8_t nsym)
    {
        data.resize(255 - nsym, 0);
        const bytes parity = take(gf_poly_rs_encode(field, view(data), nsym));
        data.insert(data.end(), parity.begin(), parity.end());
        return data;
    }
    struct decoded {
        bytes poly;
        uint8_t corrected, status;
    };
    decoded decode(const bytes &block, uint8_t nsym, const bytes &erasures = {})
    {
        decoded d{};
        d.poly = take(gf_poly_rs_decode(field, view(block), nsym, erasures.empty() ? nullptr : erasures.data(),
                                        static_cast<uint8_t>(erasures.size()), &d.corrected, &d.status));
        return d;
    }
    std::mt19937 rng{7};
    bytes shuffled_positions()
    {
        bytes pos(255);
        std::iota(pos.begin(), pos.end(), 0);
        std::shuffle(pos.begin(), pos.end(), rng);
        return pos;
    }
};

} // namespace

TEST_F(RsPolyTest, GeneratorHasConsecutiveRootsFromTheFirstPower)
{
    EXPECT_EQ(take(gf_rs_generator_poly(field, 0, 1)), bytes{0x01});
    EXPECT_EQ(take(gf_rs_generator_poly(field, 4, 1)), (bytes{0x01, 0x1E, 0xD8, 0xE7, 0x74}));
    EXPECT_EQ(take(gf_rs_generator_poly(field, 6, 1)), (bytes{0x01, 0x7E, 0x04, 0x9E, 0x3A, 0x31, 0x75}));
    EXPECT_EQ(take(gf_rs_generator_poly(field, 4, 0)), (bytes{0x01, 0x0F, 0x36, 0x78, 0x40}));
    const bytes g = take(gf_rs_generator_poly(field, 32, 1));
    for (int i = 1; i <= 32; ++i)
        EXPECT_EQ(gf_poly_eval(field, view(g), gf_pow(field, 2, static_cast<uint8_t>(i))), 0) << i;
}

TEST_F(RsPolyTest, EncodeTakesTheMessageAsItStands)
{
    // The codec's parity comes from the message zero-filled to 255 - nsym
    // bytes; the bare message is a different polynomial.
    struct Case {
        bytes message;
        uint8_t nsym;
        size_t fill_to;
        bytes parity;
    } cases[] = {
        {{0x61, 0x62, 0x63}, 6, 0, {0x80, 0x13, 0xED, 0x2A, 0xB1, 0x37}},
        {{0x01, 0x02, 0x03}, 4, 0, {0xC7, 0x1C, 0x15, 0x1C}},
        {{0x61, 0x62, 0x63}, 6, 249, {0x28, 0x5E, 0xB9, 0x11, 0x94, 0xFE}},
        {{0x01, 0x02, 0x03}, 4, 251, {0xE0, 0xF1, 0x55, 0xF0}},
        {{0x61, 0x62, 0x63}, 0, 0, {}},
        {{}, 3, 0, {0, 0, 0}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "nsym " << int(c.nsym) << " fill " << c.fill_to);
        c.message.resize(std::max(c.fill_to, c.message.size()), 0);
        EXPECT_EQ(take(gf_poly_rs_encode(field, view(c.message), c.nsym)), c.parity);
    }
}

TEST_F(RsPolyTest, DecodeStatusTable)
{
    const bytes clean = block_of({0x61, 0x62, 0x63}, 6);
    bytes two = clean;
    two[1] ^= 0x55;
    two[249] ^= 0x01;
    bytes nsym1 = block_of({0x10, 0x20}, 1);
    nsym1[0] ^= 0xFF;
    struct Case {
        const char *name;
        bytes block;
        uint8_t nsym;
        bytes erasures;
        uint8_t status, corrected;
        size_t length;
    } cases[] = {
        {"clean", clean, 6, {}, RS_DECODE_OK, 0, 249},
        {"two errors", two, 6, {}, RS_DECODE_OK, 2, 249},
        {"erasures up to nsym", two, 6, {1, 249, 7, 8, 9, 10}, RS_DECODE_OK, 0, 249},
        {"nsym 1 corrects nothing", nsym1, 1, {}, RS_DECODE_LOCATOR_TOO_LONG, 0, 255},
        {"erasures above nsym", clean, 6, {0, 1, 2, 3, 4, 5, 6}, RS_DECODE_TOO_MANY_ERASURES, 7, 255},
        {"erasure outside the block", clean, 6, {0, 255}, RS_DECODE_ERASURE_OUTSIDE, 0, 255},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const decoded d = decode(c.block, c.nsym, c.erasures);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.corrected, c.corrected);
        ASSERT_EQ(d.poly.size(), c.length);
        if (c.status == RS_DECODE_OK) {
            EXPECT_TRUE(std::equal(d.poly.begin(), d.poly.end(), clean.begin()));
        }
    }
    // A refused erasure list hands back the working copy with the erasures
    // before the bad position already cleared.
    const decoded d = decode(clean, 6, {0, 255});
    EXPECT_EQ(d.poly[0], 0);
    EXPECT_EQ(d.poly[1], clean[1]);
}

TEST_F(RsPolyTest, TooManyErrorsEndInEveryFailureStatusOrAnotherCodeword)
{
    int seen[7] = {};
    for (int trial = 0; trial < 4000; ++trial) {
        bytes data(249);
        for (uint8_t &b : data)
            b = static_cast<uint8_t>(rng());
        bytes block = block_of(data, 6);
        const bytes pos = shuffled_positions();
        for (int i = 0, n = 4 + static_cast<int>(rng() % 3); i < n; ++i)
            block[pos[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
        const decoded d = decode(block, 6);
        ASSERT_LT(d.status, RS_DECODE_OUT_OF_MEMORY);
        ++seen[d.status];
        EXPECT_LE(d.corrected, 3);
        if (d.status == RS_DECODE_OK) {
            EXPECT_NE(d.poly, data);
        }
    }
    EXPECT_GT(seen[RS_DECODE_LOCATOR_TOO_LONG], 0);
    EXPECT_GT(seen[RS_DECODE_POSITION_MISMATCH], 0);
    EXPECT_GT(seen[RS_DECODE_SYNDROME_REMAINS], 0);
}

TEST_F(RsPolyTest, CorrectsErasuresAndErrorsWithinTheParity)
{
    for (int trial = 0; trial < 600; ++trial) {
        const uint8_t nsym = static_cast<uint8_t>(1 + rng() % 40);
        const int erasures = static_cast<int>(rng() % (nsym + 1));
        const int errors = (nsym - erasures) / 2;
        SCOPED_TRACE(testing::Message() << "nsym " << int(nsym) << " erasures " << erasures << " errors " << errors);
        bytes data(255 - nsym);
        for (uint8_t &b : data)
            b = static_cast<uint8_t>(rng());
        bytes block = block_of(data, nsym);
        const bytes pos = shuffled_positions();
        for (int i = 0; i < erasures + errors; ++i)
            block[pos[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
        const decoded d = decode(block, nsym, bytes(pos.begin(), pos.begin() + erasures));
        ASSERT_EQ(d.status, RS_DECODE_OK);
        EXPECT_EQ(d.corrected, errors);
        EXPECT_EQ(d.poly, data);
    }
}

TEST_F(RsPolyTest, DecoderStepsOnOneError)
{
    const bytes clean = block_of({0x61, 0x62, 0x63}, 6);
    bytes bad = clean;
    bad[2] ^= 0x40; // degree 252
    const bytes s = take(gf_calc_syndromes(field, view(bad), 6));
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[0], 0);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(s[i], gf_mul(field, 0x40, gf_pow2(field, 2, 252 * i))) << i;
    const bytes forney = take(gf_forney_syndromes(field, view(s), nullptr, 0, 255));
    EXPECT_EQ(forney, bytes(s.begin() + 1, s.end()));
    int32_t status = 1;
    const bytes loc = take(gf_find_error_locator(field, view(forney), 6, 0, &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(loc, (bytes{gf_pow(field, 2, 252), 1}));
    EXPECT_EQ(take(gf_find_errors(field, view({loc[1], loc[0]}), 255, &status)), bytes{2});
    EXPECT_EQ(status, 0);
    status = 1;
    EXPECT_EQ(take(gf_find_errors(field, view({1}), 255, &status)), bytes{});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(take(gf_correct_errata(field, view(bad), view(s), view({2}))), clean);
}

TEST_F(RsPolyTest, ExhaustedMemoryIsReportedWithNothingLeft)
{
    bytes block = block_of({1, 2, 3, 4, 5, 6}, 8);
    const bytes data(block.begin(), block.begin() + 247);
    const bytes parity(block.begin() + 247, block.end());
    block[0] ^= 1;
    block[100] ^= 2;
    block[250] ^= 3;
    sweep_allocation_failures([&] {
        uint8_t corrected = 0, status = 0;
        const uint8_t erasures[] = {5};
        gf_poly r = gf_poly_rs_decode(field, view(block), 8, erasures, 1, &corrected, &status);
        const bool failed = status == RS_DECODE_OUT_OF_MEMORY;
        EXPECT_EQ(gf_poly_failed(r), failed);
        const bytes got = failed ? bytes{} : take(r);
        const bool ok = !failed && status == RS_DECODE_OK && corrected == 3 && got == data;
        EXPECT_TRUE(ok || failed);
        return ok;
    });
    sweep_allocation_failures([&] {
        const gf_poly r = gf_poly_rs_encode(field, view(data), 8);
        return !gf_poly_failed(r) && take(r) == parity;
    });
}
