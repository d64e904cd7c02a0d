#include "coding/protocol.h"

#include "coding/protocol_frame.h"
#include "support/hex_vector.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

modulation_params *modulation_with(const uint64_t *frontdoor, uint8_t count, const char *pattern = nullptr)
{
    return new_modulation_params(1, frontdoor, count, pattern, 1760.0f, 0.0f, 0.0f, 0.0872f, 0.0872f, 0.015f,
                                 0.015f, 0.005f, 0.0f, 0.0f);
}

// new_protocol over fresh records; frees them itself on refusal.
protocol *make(const char *name, const uint8_t c[7], const uint64_t *frontdoor, uint8_t count,
               const char *pattern = nullptr)
{
    coding_params *coding = new_coding_params(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
    modulation_params *modulation = modulation_with(frontdoor, count, pattern);
    return new_test_protocol(name, coding, modulation);
}

const uint8_t kDefaultCoding[7] = {5, 1, 1, 6, 0, 6, 6};

} // namespace

class ProtocolTest : public TrackedHeapTest {};

TEST_F(ProtocolTest, DefaultBodyIsWrittenAndReadInBothFormats)
{
    const std::vector<uint8_t> six = load_hex_vector("protocol/standard_format6.hex");
    const std::vector<uint8_t> five = load_hex_vector("protocol/standard_format5.hex");
    ASSERT_EQ(six.size(), 77u);
    ASSERT_EQ(five.size(), 69u);
    protocol *dflt = new_default_protocol();
    ASSERT_NE(dflt, nullptr);
    EXPECT_STREQ(protocol_name(dflt), "standard");

    uint8_t out[128] = {};
    uint64_t pos = 0;
    protocol_to_bytes(dflt, out, &pos);
    ASSERT_EQ(pos, 77u);
    EXPECT_EQ(std::memcmp(out, six.data(), 77), 0);

    struct Case {
        const std::vector<uint8_t> *body;
        uint8_t format;
    };
    for (const Case &c : {Case{&six, 6}, Case{&five, 5}}) {
        SCOPED_TRACE(int(c.format));
        uint64_t r = 0;
        protocol *p = protocol_from_bytes(c.body->data(), c.body->size(), &r, c.format);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(r, c.body->size());
        EXPECT_TRUE(protocol_equals(p, dflt));
        del_protocol(p);
    }
    del_protocol(dflt);
}

TEST_F(ProtocolTest, EveryTruncatedBodyIsRefusedWithNothingLeft)
{
    for (const char *name : {"protocol/standard_format6.hex", "protocol/standard_format5.hex"}) {
        const std::vector<uint8_t> body = load_hex_vector(name);
        const uint8_t format = body.size() == 77 ? 6 : 5;
        for (uint64_t length = 0; length < body.size(); ++length) {
            uint64_t pos = 0;
            EXPECT_EQ(protocol_from_bytes(body.data(), length, &pos, format), nullptr) << name << " " << length;
            EXPECT_EQ(bytes_in_use_delta(), 0);
        }
        for (uint8_t bad : {4, 7}) {
            uint64_t pos = 0;
            EXPECT_EQ(protocol_from_bytes(body.data(), body.size(), &pos, bad), nullptr);
            EXPECT_EQ(pos, 0u);
        }
    }
}

TEST_F(ProtocolTest, ReaderFreesWhatItBuiltWhenMemoryRunsOut)
{
    const std::vector<uint8_t> body = load_hex_vector("protocol/standard_format6.hex");
    sweep_allocation_failures([&] {
        uint64_t pos = 0;
        protocol *p = protocol_from_bytes(body.data(), body.size(), &pos, 6);
        del_protocol(p);
        return p != nullptr;
    });
    sweep_allocation_failures([] {
        protocol *p = new_default_protocol();
        del_protocol(p);
        return p != nullptr;
    });
}

TEST_F(ProtocolTest, RefusedPartsAreFreed)
{
    std::vector<uint8_t> body = load_hex_vector("protocol/standard_format6.hex");
    body[10] = 9; // tone_bits 9: the coding part is refused, the modulation part is still read
    uint64_t pos = 0;
    EXPECT_EQ(protocol_from_bytes(body.data(), body.size(), &pos, 6), nullptr);
    EXPECT_EQ(pos, 77u);

    // A name of 40 bytes is read whole, then refused.
    std::vector<uint8_t> long_name = load_hex_vector("protocol/standard_format6.hex");
    long_name[0] = 40;
    long_name.insert(long_name.begin() + 9, 32, 'x');
    pos = 0;
    EXPECT_EQ(protocol_from_bytes(long_name.data(), long_name.size(), &pos, 6), nullptr);
    EXPECT_EQ(pos, long_name.size());

    // A zero inside the name ends it early.
    std::vector<uint8_t> cut_name = load_hex_vector("protocol/standard_format6.hex");
    cut_name[5] = 0;
    pos = 0;
    protocol *p = protocol_from_bytes(cut_name.data(), cut_name.size(), &pos, 6);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(protocol_name(p), "stan");
    EXPECT_EQ(pos, 77u);
    del_protocol(p);
}

TEST_F(ProtocolTest, ConstructorChecks)
{
    const std::string name32(32, 'n');
    const std::string name33(33, 'n');
    const uint64_t fd[4] = {17, 19, 32, 70};
    const uint64_t many[255] = {};
    const uint8_t bits8[7] = {8, 1, 1, 6, 0, 6, 6};
    const uint8_t parity_down_5bits[7] = {5, 1, 1, 6, 0, 8, 2};  // 8, 58, 108, ... parity bytes
    const uint8_t parity_down_8bits[7] = {8, 1, 1, 6, 0, 8, 2};
    const uint8_t parity_down_wide[7] = {8, 1, 1, 3, 0, 250, 0}; // 250, 253, 0 parity bytes
    const uint8_t fixed_too_long[7] = {8, 1, 200, 200, 0, 60, 0};
    const uint8_t longest_frame[7] = {8, 1, 254, 254, 0, 0, 0};
    const uint8_t wide_symbols[7] = {8, 2, 254, 254, 0, 0, 0};  // 146 x 14 = 2044 bits
    const uint8_t wide_symbols_fit[7] = {8, 2, 253, 253, 0, 0, 0}; // 145 x 14 = 2030 bits
    const uint8_t long_fixed_5bits[7] = {5, 1, 150, 150, 0, 0, 0}; // 240 data symbols
    const uint8_t bits32[7] = {6, 8, 1, 1, 0, 0, 0};                 // 64 tones, 8 at a time
    struct Case {
        const char *what;
        const char *name;
        const uint8_t *coding;
        const uint64_t *frontdoor;
        uint8_t count;
        const char *pattern;
        bool ok;
    };
    const Case cases[] = {
        {"32-character name", name32.c_str(), kDefaultCoding, fd, 2, nullptr, true},
        {"33-character name", name33.c_str(), kDefaultCoding, fd, 2, nullptr, false},
        {"empty name", "", kDefaultCoding, fd, 2, nullptr, true},
        {"one 5-bit front-door symbol", "p", kDefaultCoding, fd, 1, nullptr, false},
        {"one 8-bit front-door symbol", "p", bits8, fd, 1, nullptr, true},
        {"front door of exactly 256 bytes", "p", bits32, many, 64, nullptr, true},
        {"parity rule wraps past the frame limits", "p", parity_down_5bits, fd, 2, nullptr, false},
        {"parity rule wraps but every frame fits", "p", parity_down_8bits, fd, 2, nullptr, true},
        {"middle length too long", "p", parity_down_wide, fd, 2, nullptr, false},
        {"fixed length with min parity too long", "p", fixed_too_long, fd, 2, nullptr, false},
        {"255 symbols, the last slot 255", "p", longest_frame, fd, 1, nullptr, true},
        {"257 symbols", "p", longest_frame, fd, 3, nullptr, false},
        {"frame bits beyond one symbol buffer", "p", wide_symbols, fd, 1, nullptr, false},
        {"frame bits within one symbol buffer", "p", wide_symbols_fit, fd, 1, nullptr, true},
        {"255 header symbols and more", "p", kDefaultCoding, many, 255, nullptr, false},
        {"silent slots push the end past 255", "p", long_fixed_5bits, fd, 2, "1 ", false},
        {"every slot a data slot", "p", long_fixed_5bits, fd, 2, "1", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        protocol *p = make(c.name, c.coding, c.frontdoor, c.count, c.pattern);
        EXPECT_EQ(p != nullptr, c.ok);
        del_protocol(p);
    }
    EXPECT_EQ(new_protocol("p", 0, nullptr, nullptr), nullptr);
}

TEST_F(ProtocolTest, FrontDoorValuesAreReducedBelowTheSymbolCount)
{
    const uint64_t fd[4] = {17, 19, 32, 70};
    protocol *p = make("p", kDefaultCoding, fd, 4);
    ASSERT_NE(p, nullptr);
    const uint64_t *reduced = protocol_frontdoor_symbols(p);
    EXPECT_EQ(reduced[0], 17u);
    EXPECT_EQ(reduced[1], 19u);
    EXPECT_EQ(reduced[2], 0u);
    EXPECT_EQ(reduced[3], 6u);
    EXPECT_EQ(fd[3], 70u); // the caller's array is not touched
    del_protocol(p);
}

TEST_F(ProtocolTest, EqualityIgnoresParityAndPattern)
{
    const uint8_t other_parity[7] = {5, 1, 1, 6, 0, 2, 6};
    const uint64_t fd[2] = {17, 19};
    const uint64_t fd_alias[2] = {49, 19}; // 49 reduces to 17
    protocol *a = make("standard", kDefaultCoding, fd, 2);
    protocol *parity = make("standard", other_parity, fd, 2);
    protocol *pattern = make("standard", kDefaultCoding, fd, 2, "1 ");
    protocol *alias = make("standard", kDefaultCoding, fd_alias, 2);
    protocol *renamed = make("other", kDefaultCoding, fd, 2);
    ASSERT_TRUE(a && parity && pattern && alias && renamed);
    EXPECT_TRUE(protocol_equals(a, parity));
    EXPECT_TRUE(protocol_equals(a, pattern));
    EXPECT_TRUE(protocol_equals(a, alias));
    EXPECT_FALSE(protocol_equals(a, renamed));
    pattern->version = 1;
    EXPECT_FALSE(protocol_equals(a, pattern));
    for (protocol *p : {a, parity, pattern, alias, renamed})
        del_protocol(p);
}
