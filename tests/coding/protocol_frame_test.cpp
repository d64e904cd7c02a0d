#include "coding/protocol_frame.h"

#include "coding/core_info.h"
#include "runtime/random.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"


namespace {

protocol *make(const uint8_t c[7], const char *pattern, uint8_t fd_count = 2, float symbol_duration = 0.0872f)
{
    const uint64_t fd[3] = {17, 19, 21};
    coding_params *coding = new_coding_params(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
    modulation_params *modulation = new_modulation_params(1, fd, fd_count, pattern, 1760.0f, 0.0f, 0.0f, 0.0872f,
                                                          symbol_duration, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    return new_test_protocol("p", coding, modulation);
}

} // namespace

class ProtocolFrameTest : public TrackedHeapTest {};

TEST_F(ProtocolFrameTest, ParityGrowsInSinglePrecision)
{
    struct Case {
        uint8_t coding[7];
        uint8_t first_length;
        std::vector<uint8_t> parity;
    };
    const Case cases[] = {
        {{8, 1, 1, 6, 0, 2, 8}, 1, {2, 3, 4, 5, 6, 8}},
        {{8, 1, 1, 10, 0, 0, 10}, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 10}},
        {{5, 1, 1, 6, 0, 6, 6}, 1, {6, 6, 6, 6, 6, 6}},
        {{8, 1, 4, 4, 0, 9, 2}, 4, {9}}, // fixed length: min_parity itself
        // Traps: a double product gives 4 at length 6, integer arithmetic 13 at length 14.
        {{8, 1, 1, 7, 0, 0, 6}, 6, {5}},
        {{8, 1, 1, 23, 0, 0, 22}, 14, {12}},
        {{8, 1, 1, 12, 0, 0, 55}, 4, {15}},
    };
    for (const Case &c : cases) {
        protocol *p = make(c.coding, nullptr);
        ASSERT_NE(p, nullptr);
        for (size_t i = 0; i < c.parity.size(); ++i) {
            const uint8_t length = static_cast<uint8_t>(c.first_length + i);
            EXPECT_EQ(protocol_ecc_length(p, length), c.parity[i]) << "length " << int(length);
        }
        del_protocol(p);
    }
}

TEST_F(ProtocolFrameTest, DefaultFrameCountsAndDurations)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(protocol_header_symbol_count(p), 3);
    EXPECT_EQ(protocol_header_length(p), 3);
    EXPECT_EQ(protocol_has_length_symbol(p), 1);
    const uint8_t symbols[] = {15, 16, 18, 19, 21, 23};
    for (uint8_t l = 1; l <= 6; ++l)
        EXPECT_EQ(protocol_symbol_count_for_length(p, l), symbols[l - 1]) << int(l);
    EXPECT_EQ(protocol_max_symbol_count(p), 23);
    EXPECT_EQ(protocol_max_data_symbol_count(p), 20);
    EXPECT_EQ(protocol_max_hex_length(p), 12u);
    // Sums slot by slot: 15 x 0.0872f would give 1.3079999.
    EXPECT_EQ(bits_of(protocol_duration_for_length(p, 1)), 0x3fa76c8cu); // 1.3080001
    EXPECT_EQ(bits_of(protocol_duration_for_length(p, 6)), 0x40005bc2u); // 2.0056005
    EXPECT_EQ(protocol_time_before_symbol(p, 0), 0.0f);
    EXPECT_EQ(protocol_time_before_symbol(p, 2), 0.0872f + 0.0872f);
    EXPECT_EQ(protocol_symbol_slot_duration(p, 5), 0.0872f);
    EXPECT_EQ(protocol_slots_duration(p, 0), 0.0f);
    del_protocol(p);
}

TEST_F(ProtocolFrameTest, SlotsFollowTheCyclicPattern)
{
    const uint8_t coding[7] = {5, 1, 1, 6, 0, 6, 6};
    protocol *p = make(coding, "1 ", 2, 0.1f);
    ASSERT_NE(p, nullptr);
    const uint8_t slots[] = {0, 1, 2, 3, 5, 7};
    for (uint8_t i = 0; i < 6; ++i)
        EXPECT_EQ(protocol_slot_of_symbol(p, i), slots[i]) << int(i);
    EXPECT_EQ(protocol_slot_char(p, 1), '1');
    EXPECT_EQ(protocol_slot_char(p, 4), ' ');
    // A 1-byte frame has 15 symbols; the one after them takes slot 3 + 24.
    EXPECT_EQ(protocol_slot_of_symbol(p, 15), 27);
    float sum = 0.0f;
    for (int s = 0; s < 27; ++s)
        sum += s < 3 ? 0.0872f : 0.1f;
    EXPECT_EQ(protocol_duration_for_length(p, 1), sum);
    del_protocol(p);

    p = make(coding, "3*c 1x");
    ASSERT_NE(p, nullptr);
    const struct {
        uint8_t slot;
        float duration;
    } durations[] = {{0, 0.0872f},         {2, 0.0872f}, {3, 3.0f * 0.0872f}, {4, 0.0872f + 0.0872f},
                     {5, 0.0872f + 0.0872f}, {6, 0.0872f}, {7, 0.0872f},        {8, 0.0f}};
    for (const auto &d : durations)
        EXPECT_EQ(protocol_slot_duration(p, d.slot), d.duration) << int(d.slot);
    EXPECT_EQ(protocol_slot_gap(p, 1), 0.0f);
    del_protocol(p);
}

TEST_F(ProtocolFrameTest, FixedLengthHasNoLengthSymbol)
{
    const uint8_t coding[7] = {5, 1, 4, 4, 2, 3, 0};
    protocol *p = make(coding, nullptr, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(protocol_header_symbol_count(p), 3);
    EXPECT_EQ(protocol_has_length_symbol(p), 0);
    EXPECT_EQ(protocol_ecc_length(p, 4), 3);
    EXPECT_EQ(protocol_symbol_count_for_length(p, 4), 3 + 15); // ceil(9 x 8 / 5)
    del_protocol(p);
}

TEST_F(ProtocolFrameTest, HexPayloadCheck)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    const std::string too_long(514, 'a'); // 257 bytes: not 1 byte in 8 bits
    const struct {
        const char *text;
        uint32_t code;
    } cases[] = {
        {nullptr, TOVAN_CORE_EMPTY_MESSAGE},
        {"", TOVAN_CORE_EMPTY_MESSAGE},
        {"0a1B", TOVAN_CORE_OK},
        {"0g", TOVAN_CORE_UNKNOWN_SYMBOLS},
        {"abc", TOVAN_CORE_INVALID_IDENTIFIER},
        {"0123456789", TOVAN_CORE_OK},
        {"0123456789aBcD", TOVAN_CORE_INVALID_MESSAGE_LENGTH},
        {"0123456789Ef", TOVAN_CORE_OK}, // exactly the 6 bytes of the maximum
        {too_long.c_str(), TOVAN_CORE_INVALID_MESSAGE_LENGTH},
    };
    for (const auto &c : cases)
        EXPECT_EQ(protocol_check_hex_payload(p, c.text), c.code) << (c.text ? c.text : "NULL");
    del_protocol(p);
}

TEST_F(ProtocolFrameTest, CorruptionChangesExactlyCountSymbols)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    random_set_seed(5);
    uint64_t symbols[20] = {};
    protocol_corrupt_symbols(p, symbols, 20, 7);
    uint32_t changed = 0;
    for (uint64_t s : symbols) {
        changed += s != 0;
        EXPECT_LT(s, 32u);
    }
    EXPECT_EQ(changed, 7u);
    uint64_t few[3] = {};
    protocol_corrupt_symbols(p, few, 3, 200); // count limited to n
    EXPECT_TRUE(few[0] && few[1] && few[2]);
    del_protocol(p);
}
