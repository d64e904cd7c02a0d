#include "coding/crc.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

const uint8_t check_input[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
const uint8_t abc[] = {'a', 'b', 'c'};
const uint8_t payload[] = {1, 2, 3, 4, 5, 6};

// Right-shifting reflected engine, independent of the library's left-shifting
// one: it takes the bit-reversed polynomial.
uint32_t reflected_oracle(uint32_t reversed_poly, uint32_t init, uint32_t xorout, const uint8_t *d, size_t n)
{
    uint32_t reg = init;
    for (size_t i = 0; i < n; ++i) {
        reg ^= d[i];
        for (int b = 0; b < 8; ++b)
            reg = (reg & 1) ? (reg >> 1) ^ reversed_poly : reg >> 1;
    }
    return reg ^ xorout;
}

} // namespace

TEST(CrcTest, BuiltInWidthsMatchCatalogueValues)
{
    struct Case {
        int width;
        const uint8_t *data;
        uint8_t length;
        uint32_t expected;
    } cases[] = {
        {8, check_input, 9, 0x25},  {16, check_input, 9, 0xBB3D}, {32, check_input, 9, 0xCBF43926},
        {8, abc, 3, 0x2B},          {16, abc, 3, 0x9738},         {32, abc, 3, 0x352441C2},
        {8, payload, 6, 0xCB},      {16, payload, 6, 0xC6BA},     {32, payload, 6, 0x81F67724},
        {10, check_input, 9, 0x391},
        {8, nullptr, 0, 0},         {16, nullptr, 0, 0},          {32, nullptr, 0, 0},
        // No definition: no CRC, and no shift by a negative amount.
        {0, check_input, 9, 0},     {1, check_input, 9, 0},       {7, check_input, 9, 0},
        {9, check_input, 9, 0},     {24, check_input, 9, 0},      {33, check_input, 9, 0},
        {255, check_input, 9, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << " length " << int(c.length));
        EXPECT_EQ(calculate_crc(static_cast<uint8_t>(c.width), c.data, c.length), c.expected);
    }
}

TEST(CrcTest, AgreesWithReflectedOracleOnLongInputs)
{
    uint8_t data[255];
    for (int i = 0; i < 255; ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (int n = 1; n <= 255; n += 17) {
        SCOPED_TRACE(n);
        const uint8_t len = static_cast<uint8_t>(n);
        EXPECT_EQ(calculate_crc(8, data, len), reflected_oracle(0xD9, 0, 0, data, len));
        EXPECT_EQ(calculate_crc(10, data, len), reflected_oracle(0x331, 0, 0, data, len));
        EXPECT_EQ(calculate_crc(16, data, len), reflected_oracle(0xA001, 0, 0, data, len));
        EXPECT_EQ(calculate_crc(32, data, len), reflected_oracle(0xEDB88320, 0xFFFFFFFF, 0xFFFFFFFF, data, len));
    }
}

TEST(CrcTest, UnreflectedOutputIsMaskedToItsWidth)
{
    // Unmasked, the bits shifted above the width would leak into the result.
    struct Case {
        const char *name;
        crc_row row;
        int width;
        uint32_t expected;
    } cases[] = {
        {"CRC-8/SMBUS", {0x07, 0, 0, 0, 0}, 8, 0xF4},
        {"CRC-10/ATM", {0x233, 0, 0, 0, 0}, 10, 0x199},
        {"CRC-16/XMODEM", {0x1021, 0, 0, 0, 0}, 16, 0x31C3},
        {"CRC-16/CCITT-FALSE", {0x1021, 0xFFFF, 0, 0, 0}, 16, 0x29B1},
        {"CRC-32/BZIP2", {0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, 32, 0xFC891918},
        {"width 7 refused", {0x07, 0, 0, 0, 0}, 7, 0},
        {"width 33 refused", {0x07, 0, 0, 0, 0}, 33, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(crc_row_calculate(&c.row, static_cast<uint8_t>(c.width), check_input, 9), c.expected);
    }
}

TEST(CrcTest, BytesAreLeastSignificantFirstForOneTwoAndFour)
{
    struct Case {
        int m;
        bool written;
        uint8_t expected[4];
    } cases[] = {
        {1, true, {0x25}}, {2, true, {0x3D, 0xBB}}, {4, true, {0x26, 0x39, 0xF4, 0xCB}},
        {0, false, {}},    {3, false, {}},          {5, false, {}}, {8, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.m);
        uint8_t out[9];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(calculate_crc_bytes(check_input, 9, out, static_cast<uint8_t>(c.m)), c.written);
        const int written = c.written ? c.m : 0;
        EXPECT_EQ(std::memcmp(out, c.expected, written), 0);
        for (int i = written; i < 9; ++i)
            EXPECT_EQ(out[i], 0xEE) << i;
    }
}
