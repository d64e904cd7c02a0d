#include "coding/param_body.h"

#include <cstdint>

#include <gtest/gtest.h>

TEST(ParamBodyTest, ReadsWhatWasWrittenAtUnalignedPositions)
{
    uint8_t out[32] = {};
    uint64_t pos = 1; // every multi-byte field lands at an odd address
    body_write_u16(out, &pos, 0x1234);
    body_write_u32(out, &pos, 0xdeadbeef);
    body_write_f32(out, &pos, 1760.0f);
    body_write_u64(out, &pos, 0x0102030405060708u);
    EXPECT_EQ(pos, 19u);
    EXPECT_EQ(out[1], 0x34); // little-endian
    EXPECT_EQ(out[10], 0x44);
    uint64_t r = 1;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    float f = 0;
    uint64_t u64 = 0;
    ASSERT_TRUE(body_read_u16(out, pos, &r, &u16) && body_read_u32(out, pos, &r, &u32) &&
                body_read_f32(out, pos, &r, &f) && body_read_u64(out, pos, &r, &u64));
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(u32, 0xdeadbeefu);
    EXPECT_EQ(f, 1760.0f);
    EXPECT_EQ(u64, 0x0102030405060708u);
    EXPECT_EQ(r, pos);
}

TEST(ParamBodyTest, FieldEndingPastTheBodyIsNotRead)
{
    const uint8_t body[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        uint64_t length, position;
        bool ok;
    } cases[] = {
        {8, 4, true}, {8, 5, false}, {3, 0, false}, {8, 8, false}, {8, 9, false}, {8, UINT64_MAX - 2, false},
        {0, 0, false},
    };
    for (const auto &c : cases) {
        uint64_t pos = c.position;
        uint32_t value = 0xAAAA;
        EXPECT_EQ(body_read_u32(body, c.length, &pos, &value), c.ok) << c.length << " " << c.position;
        EXPECT_EQ(pos, c.ok ? c.position + 4 : c.position);
        EXPECT_EQ(value, c.ok ? 0x08070605u : 0xAAAAu);
    }
    for (uint32_t f = 0; f < 256; ++f)
        EXPECT_EQ(body_format_supported(static_cast<uint8_t>(f)), f == 5 || f == 6) << f;
}
