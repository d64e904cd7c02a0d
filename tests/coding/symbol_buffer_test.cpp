#include "coding/symbol_buffer.h"

#include "runtime/random.h"
#include "support/memory_fixture.h"

#include <cstring>

class SymbolBufferTest : public TrackedHeapTest {};

TEST_F(SymbolBufferTest, BytesAndSymbolsShareTheStream)
{
    symbol_buffer *b = new_symbol_buffer(5, 2);
    symbol_buffer *c = new_symbol_buffer(5, 2);
    ASSERT_TRUE(b && c);
    const uint8_t bytes[] = {0xA5, 0x3C};
    const uint64_t symbols[] = {5, 5, 15, 0};
    symbol_buffer_set_bytes(b, bytes);
    ASSERT_EQ(symbol_buffer_symbol_count(b), 4);
    EXPECT_EQ(std::memcmp(symbol_buffer_symbols(b), symbols, sizeof symbols), 0);
    symbol_buffer_set_symbols(c, symbols);
    EXPECT_TRUE(symbol_buffer_equals(b, c));
    char hex[5];
    symbol_buffer_to_hex(c, hex);
    EXPECT_STREQ(hex, "a53c");
    del_symbol_buffer(c);
    del_symbol_buffer(b);
}

TEST_F(SymbolBufferTest, WideSymbolsKeepOnlyTheirLowBitsInTheStream)
{
    symbol_buffer *b = new_symbol_buffer(5, 6);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(symbol_buffer_symbol_count(b), 10);
    uint64_t values[10] = {0xFF};
    values[9] = 0x1F; // the last symbol carries 3 data bits and 2 padding bits
    symbol_buffer_set_symbols(b, values);
    EXPECT_EQ(b->symbols[0], 0xFFu); // the view keeps what it was given
    EXPECT_EQ(symbol_buffer_bytes(b)[0], 0x1F);
    EXPECT_EQ(symbol_buffer_bytes(b)[5], 0xE0);
    EXPECT_EQ(symbol_buffer_symbols(b)[0], 0x1Fu);
    const uint8_t zeros[6] = {};
    symbol_buffer_set_bytes(b, zeros); // padding bits keep what they held
    EXPECT_EQ(symbol_buffer_symbols(b)[9], 0x18u);
    del_symbol_buffer(b);
}

TEST_F(SymbolBufferTest, CountsThatWouldWrapAreRefused)
{
    const struct {
        uint8_t bits, bytes;
        bool ok;
    } cases[] = {
        {0, 1, false},  {65, 1, false},  {1, 31, true},   {1, 32, false}, // 256 symbols
        {5, 159, true}, {5, 160, false}, {8, 255, true},  {13, 253, true},
        {13, 254, false}, // 157 x 13 = 2041 bits
        {64, 248, true}, {64, 255, false}, {5, 0, true},
    };
    for (const auto &c : cases) {
        symbol_buffer *b = new_symbol_buffer(c.bits, c.bytes);
        EXPECT_EQ(b != nullptr, c.ok) << int(c.bits) << " bits, " << int(c.bytes) << " bytes";
        del_symbol_buffer(b);
    }
    symbol_buffer *empty = new_symbol_buffer(5, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(symbol_buffer_data_if_any(empty), nullptr);
    symbol_buffer_set_symbols(empty, nullptr);
    del_symbol_buffer(empty);
}

TEST_F(SymbolBufferTest, CopiesAndRandomBytes)
{
    symbol_buffer *a = new_symbol_buffer(5, 4);
    symbol_buffer *wide = new_symbol_buffer(8, 4);
    ASSERT_TRUE(a && wide);
    random_set_seed(42);
    uint8_t drawn[4];
    for (uint8_t &d : drawn)
        d = static_cast<uint8_t>(random_range(0, 256));
    random_set_seed(42);
    symbol_buffer_randomise(a); // one draw per byte, byte 0 first
    EXPECT_EQ(std::memcmp(symbol_buffer_bytes(a), drawn, 4), 0);
    symbol_buffer *copy = copy_symbol_buffer(a);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(symbol_buffer_equals(a, copy));
    EXPECT_FALSE(symbol_buffer_copy_from(wide, a));
    symbol_buffer_set_bytes(wide, drawn); // equal bytes at another width are not equal
    EXPECT_FALSE(symbol_buffer_equals(a, wide));
    for (symbol_buffer *b : {a, wide, copy})
        del_symbol_buffer(b);
    sweep_allocation_failures([] {
        symbol_buffer *s = new_symbol_buffer(5, 6);
        symbol_buffer *t = s ? copy_symbol_buffer(s) : nullptr;
        const bool ok = s && t;
        del_symbol_buffer(t);
        del_symbol_buffer(s);
        return ok;
    });
}

TEST(SymbolCountTest, SymbolsAndBytesForBits)
{
    EXPECT_EQ(symbols_for_bytes(255, 5), 408);
    EXPECT_EQ(symbols_for_bytes(7, 0), 0);
    for (uint32_t bytes = 0; bytes < 256; ++bytes)
        for (uint32_t bits = 1; bits <= 64; ++bits) {
            const uint32_t s = symbols_for_bytes(static_cast<uint8_t>(bytes), static_cast<uint8_t>(bits));
            ASSERT_TRUE(s * bits >= 8 * bytes && (s == 0 || (s - 1) * bits < 8 * bytes)) << bytes << "/" << bits;
        }
    EXPECT_EQ(bytes_for_bits(3, 5), 1u);
    EXPECT_EQ(bytes_for_bits(2, 5), 1u);
    EXPECT_EQ(bytes_for_bits(1, 5), 0u);
    EXPECT_EQ(bytes_for_bits(64, 32), 256u); // a whole 256-byte front door, not 0
}
