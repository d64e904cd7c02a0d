#include "coding/gf/rs_codec.h"

#include "coding/gf/rs_poly.h"
#include "support/memory_fixture.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<uint8_t>;

bytes parity_of(const rs_codeword *w)
{
    return bytes(rs_codeword_parity(w), rs_codeword_parity(w) + w->codec->nsym);
}

bytes message_of(const rs_codeword *w)
{
    return bytes(rs_codeword_message(w), rs_codeword_message(w) + w->codec->k);
}

// The parity of `message` through a fresh codec, as the frame coder does it.
// The codec goes first: a codeword carries its own copy.
bytes encode(const bytes &message, uint64_t nsym)
{
    rs_codec *c = new_rs_codec(8, message.size(), nsym);
    rs_codeword *w = c == nullptr ? nullptr : rs_codec_encode(c, message.data());
    del_rs_codec(c);
    EXPECT_NE(w, nullptr);
    if (w == nullptr)
        return {};
    EXPECT_EQ(rs_codeword_is_valid(w), 1);
    EXPECT_EQ(rs_codeword_error_count(w), 0);
    EXPECT_EQ(message_of(w), message);
    const bytes p = parity_of(w);
    del_rs_codeword(w);
    return p;
}

struct outcome {
    bool made;
    uint8_t valid;
    uint8_t errors;
    bytes message;
    bytes parity;
};

outcome decode(const bytes &received, uint64_t k, uint64_t nsym)
{
    rs_codec *c = new_rs_codec(8, k, nsym);
    EXPECT_NE(c, nullptr);
    outcome o{};
    rs_codeword *w = c == nullptr ? nullptr : rs_codec_decode(c, received.data());
    if (w != nullptr) {
        o = {true, rs_codeword_is_valid(w), rs_codeword_error_count(w), message_of(w), parity_of(w)};
    }
    del_rs_codeword(w);
    del_rs_codec(c);
    return o;
}

bytes concat(bytes a, const bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int distance(const bytes &a, const bytes &b)
{
    int d = 0;
    for (size_t i = 0; i < a.size(); ++i)
        d += a[i] != b[i];
    return d;
}

bytes random_bytes(std::mt19937 &rng, size_t n)
{
    bytes b(n);
    for (uint8_t &x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

// Changes `count` distinct bytes of `word`, each to a different value.
void corrupt(std::mt19937 &rng, bytes &word, int count)
{
    bytes pos(word.size());
    std::iota(pos.begin(), pos.end(), 0);
    std::shuffle(pos.begin(), pos.end(), rng);
    for (int i = 0; i < count; ++i)
        word[pos[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
}

using RsCodecTest = TrackedHeapTest;

} // namespace

TEST_F(RsCodecTest, ParityOfTheZeroFilledBlock)
{
    struct Case {
        bytes message;
        uint64_t nsym;
        bytes parity;
    } cases[] = {
        {{0x61, 0x62, 0x63}, 6, {0x28, 0x5E, 0xB9, 0x11, 0x94, 0xFE}},
        {{0x01, 0x02, 0x03}, 4, {0xE0, 0xF1, 0x55, 0xF0}},
        {{0x61, 0x62, 0x63, 0x00}, 6, {0x28, 0x5E, 0xB9, 0x11, 0x94, 0xFE}}, // zeros lengthen the run
        {{0x00, 0x61, 0x62, 0x63}, 6, {0xC2, 0xD3, 0x71, 0x64, 0x0F, 0x8F}},
        // The default protocol's frame of payload 01..06 (no CRC).
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 6, {0x60, 0xBD, 0x3B, 0x24, 0x13, 0x28}},
        // The same payload with its CRC-16 and CRC-32 bytes.
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xBA, 0xC6}, 6, {0x16, 0xB7, 0x07, 0xB9, 0x59, 0x28}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x24, 0x77, 0xF6, 0x81},
         8,
         {0xB2, 0x07, 0xBE, 0xA7, 0xB1, 0x58, 0x81, 0x64}},
        {bytes(6, 0), 6, bytes(6, 0)},
        {bytes(200, 0), 54, bytes(54, 0)},
        {{0x61, 0x62, 0x63}, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "k " << c.message.size() << " nsym " << c.nsym);
        EXPECT_EQ(encode(c.message, c.nsym), c.parity);
    }
}

TEST_F(RsCodecTest, ConstructorRefusesShapesOutsideTheBlock)
{
    struct Case {
        uint8_t m;
        uint64_t k, nsym;
        bool made;
    } cases[] = {
        {8, 1, 0, true},       {8, 1, 254, true},   {8, 255, 0, true},  {8, 6, 6, true},
        {8, 0, 6, false},      {8, 1, 255, false},  {8, 256, 0, false}, {8, 200, 56, false},
        {8, UINT64_MAX, 2, false}, {8, 2, UINT64_MAX, false},
        {4, 10, 5, true},      {4, 10, 6, false},   {1, 1, 0, false},   {9, 1, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "m " << int(c.m) << " k " << c.k << " nsym " << c.nsym);
        rs_codec *codec = new_rs_codec(c.m, c.k, c.nsym);
        EXPECT_EQ(codec != nullptr, c.made);
        if (codec != nullptr) {
            EXPECT_EQ(codec->n, c.k + c.nsym);
            EXPECT_NE(codec->field, nullptr);
        }
        del_rs_codec(codec);
    }
    del_rs_codec(nullptr);
    del_rs_codeword(nullptr);
}

TEST_F(RsCodecTest, DecodesTheDocumentedExamples)
{
    const bytes abc = {0x61, 0x62, 0x63};
    const bytes sent = concat(abc, encode(abc, 6));
    bytes two = sent;
    two[1] ^= 0x11;
    two[3] ^= 0x80;
    bytes nsym1 = concat(abc, encode(abc, 1));
    nsym1[0] ^= 0x01;
    struct Case {
        const char *name;
        bytes received;
        uint64_t k, nsym;
        uint8_t valid, errors;
        bytes message;
    } cases[] = {
        {"unchanged", sent, 3, 6, 1, 0, abc},
        {"message byte and parity byte", two, 3, 6, 1, 2, abc},
        {"nsym 0 returns the message", abc, 3, 0, 1, 0, abc},
        {"nsym 1 corrects nothing", nsym1, 3, 1, 0, 0, bytes(3, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const outcome o = decode(c.received, c.k, c.nsym);
        ASSERT_TRUE(o.made);
        EXPECT_EQ(o.valid, c.valid);
        EXPECT_EQ(o.errors, c.errors);
        EXPECT_EQ(o.message, c.message);
        EXPECT_EQ(o.parity, bytes(c.nsym, 0)); // the caller re-encodes for parity
    }
}

TEST_F(RsCodecTest, DefaultFrameCorrectsEveryPatternOfUpToThreeBytes)
{
    const bytes payload = {1, 2, 3, 4, 5, 6};
    const bytes sent = concat(payload, {0x60, 0xBD, 0x3B, 0x24, 0x13, 0x28});
    std::mt19937 rng(3);
    for (uint32_t mask = 1; mask < (1u << 12); ++mask) {
        const int count = __builtin_popcount(mask);
        if (count > 3)
            continue;
        bytes received = sent;
        for (int i = 0; i < 12; ++i) {
            if (mask & (1u << i))
                received[i] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        const outcome o = decode(received, 6, 6);
        ASSERT_TRUE(o.valid) << "mask " << mask;
        EXPECT_EQ(o.errors, count) << "mask " << mask;
        EXPECT_EQ(o.message, payload) << "mask " << mask;
    }
}

TEST_F(RsCodecTest, CorrectsUpToHalfTheParityForEveryParityLength)
{
    // A frame carries payload + CRC + parity in at most 254 bytes with at
    // least one payload byte, so the parity length runs from 0 to 253.
    std::mt19937 rng(20240611);
    for (uint64_t nsym = 0; nsym <= 253; ++nsym) {
        for (int trial = 0; trial < 6; ++trial) {
            const uint64_t k = 1 + rng() % (254 - nsym);
            const int t = static_cast<int>(nsym / 2);
            const int errors = trial == 0 ? t : static_cast<int>(rng() % (t + 1));
            SCOPED_TRACE(testing::Message() << "nsym " << nsym << " k " << k << " errors " << errors);
            const bytes message = random_bytes(rng, k);
            bytes received = concat(message, encode(message, nsym));
            corrupt(rng, received, errors);
            const outcome o = decode(received, k, nsym);
            ASSERT_TRUE(o.made);
            ASSERT_EQ(o.valid, 1);
            EXPECT_EQ(o.errors, errors);
            EXPECT_EQ(o.message, message);
        }
    }
}

TEST_F(RsCodecTest, BeyondHalfTheParityNoCorrectionLandsInTheZeroRun)
{
    // A decoded frame must be a frame that could have been sent, within the
    // correction radius of what arrived. With the default geometry about one
    // frame in six with 4 to 6 bad bytes has its "correction" in the zero run;
    // every one of them must fail with nothing counted.
    struct Geometry {
        uint64_t k, nsym;
        int trials;
    } geometries[] = {{6, 6, 3000}, {1, 8, 500}, {12, 4, 500}, {40, 20, 300}, {3, 2, 500}};
    std::mt19937 rng(99);
    gf *field = new_gf(8);
    ASSERT_NE(field, nullptr);
    for (const Geometry &g : geometries) {
        SCOPED_TRACE(testing::Message() << "k " << g.k << " nsym " << g.nsym);
        const int t = static_cast<int>(g.nsym / 2);
        int zero_run_hits = 0;
        int wrong_payloads = 0;
        for (int trial = 0; trial < g.trials; ++trial) {
            const bytes message = random_bytes(rng, g.k);
            bytes received = concat(message, encode(message, g.nsym));
            corrupt(rng, received, t + 1 + static_cast<int>(rng() % 3));
            const outcome o = decode(received, g.k, g.nsym);
            ASSERT_TRUE(o.made);
            if (o.valid) {
                const bytes nearest = concat(o.message, encode(o.message, g.nsym));
                EXPECT_LE(distance(nearest, received), t);
                EXPECT_LE(o.errors, t);
                wrong_payloads += o.message != message;
            } else {
                EXPECT_EQ(o.errors, 0);
                EXPECT_EQ(o.message, bytes(g.k, 0));
            }
            // What the full-length code would have accepted.
            bytes block(255, 0);
            std::copy(received.begin(), received.begin() + g.k, block.begin());
            std::copy(received.begin() + g.k, received.end(), block.end() - g.nsym);
            uint8_t corrected = 0, status = 0;
            gf_poly r = gf_poly_rs_decode(field, gf_poly{block.data(), 255}, static_cast<uint8_t>(g.nsym),
                                          nullptr, 0, &corrected, &status);
            if (status == RS_DECODE_OK &&
                std::any_of(r.data + g.k, r.data + r.length, [](uint8_t b) { return b != 0; })) {
                ++zero_run_hits;
                EXPECT_EQ(o.valid, 0) << "a correction in the zero run was accepted";
            }
            del_gf_poly(&r);
        }
        if (g.nsym == 6 && g.k == 6) {
            EXPECT_GT(zero_run_hits, g.trials / 10);
            EXPECT_EQ(wrong_payloads, 0);
        }
    }
    del_gf(field);
}

TEST_F(RsCodecTest, CodewordWithBytesInTheZeroRunFails)
{
    // The sender's bytes of a full-length codeword whose zero run is not
    // zero: the decoder finds the missing bytes as errors there.
    std::mt19937 rng(5);
    gf *field = new_gf(8);
    ASSERT_NE(field, nullptr);
    for (uint64_t nsym : {2, 6, 10, 32}) {
        for (uint64_t extra = 1; extra <= nsym / 2; ++extra) {
            const uint64_t k = 6;
            SCOPED_TRACE(testing::Message() << "nsym " << nsym << " bytes in the run " << extra);
            bytes data(255 - nsym, 0);
            const bytes message = random_bytes(rng, k);
            std::copy(message.begin(), message.end(), data.begin());
            bytes run(255 - nsym - k);
            std::iota(run.begin(), run.end(), 0);
            std::shuffle(run.begin(), run.end(), rng);
            for (uint64_t i = 0; i < extra; ++i)
                data[k + run[i]] = static_cast<uint8_t>(1 + rng() % 255);
            gf_poly parity = gf_poly_rs_encode(field, gf_poly{data.data(), data.size()}, static_cast<uint8_t>(nsym));
            ASSERT_FALSE(gf_poly_failed(parity));
            const bytes received = concat(message, bytes(parity.data, parity.data + nsym));
            del_gf_poly(&parity);
            const outcome o = decode(received, k, nsym);
            ASSERT_TRUE(o.made);
            EXPECT_EQ(o.valid, 0);
            EXPECT_EQ(o.errors, 0);
            EXPECT_EQ(o.message, bytes(k, 0));
        }
    }
    del_gf(field);
}

TEST_F(RsCodecTest, ExhaustedMemoryGivesNoCodewordAndLeaksNothing)
{
    const bytes payload = {1, 2, 3, 4, 5, 6};
    const bytes parity = {0x60, 0xBD, 0x3B, 0x24, 0x13, 0x28};
    bytes three = concat(payload, parity);
    three[0] ^= 0xFF;
    three[5] ^= 0x01;
    three[11] ^= 0x42;
    bytes four = three;
    four[7] ^= 0x10;
    struct Case {
        const char *name;
        bytes received; // empty: encode the payload
        uint8_t valid;
    } cases[] = {
        {"encode", {}, 1},
        {"decode clean", concat(payload, parity), 1},
        {"decode three errors", three, 1},
        {"decode four errors", four, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sweep_allocation_failures([&] {
            rs_codec *codec = new_rs_codec(8, 6, 6);
            if (codec == nullptr)
                return false;
            rs_codeword *w = c.received.empty() ? rs_codec_encode(codec, payload.data())
                                                : rs_codec_decode(codec, c.received.data());
            rs_codeword *copy = copy_rs_codeword(w);
            bool ok = false;
            if (w != nullptr) {
                // A codeword that is made is always the right one.
                EXPECT_EQ(w->valid, c.valid);
                ok = w->valid == c.valid;
                if (c.valid)
                    ok = ok && message_of(w) == payload;
                if (c.received.empty())
                    ok = ok && parity_of(w) == parity;
                EXPECT_TRUE(ok);
                ok = ok && copy != nullptr && message_of(copy) == message_of(w);
            }
            del_rs_codeword(copy);
            del_rs_codeword(w);
            del_rs_codec(codec);
            return ok;
        });
    }
}
