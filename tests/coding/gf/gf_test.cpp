#include "coding/gf/gf.h"

#include "support/byte_field_fixture.h"

#include <gtest/gtest.h>

namespace {

class GfTest : public ByteFieldTest {};

} // namespace

TEST_F(GfTest, TablesOfTheByteField)
{
    EXPECT_EQ(field->primitive, 0x11Du);
    EXPECT_EQ(field->size, 255u);
    const uint8_t head[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1D, 0x3A, 0x74, 0xE8};
    for (size_t i = 0; i < sizeof head; ++i)
        EXPECT_EQ(field->exp[i], head[i]) << i;
    EXPECT_EQ(field->exp[254], 0x8E);
    EXPECT_EQ(field->exp[255], 1);
    EXPECT_EQ(field->exp[509], field->exp[254]);
    EXPECT_EQ(field->log[1], 0);
    EXPECT_EQ(field->log[2], 1);
    EXPECT_EQ(field->log[0x1D], 8);
    EXPECT_EQ(field->log[0], 0);
}

TEST_F(GfTest, EverySizeEnumeratesItsElementsAndOthersAreRefused)
{
    for (int m = 0; m <= 16; ++m) {
        SCOPED_TRACE(m);
        gf *f = new_gf(static_cast<uint8_t>(m));
        ASSERT_EQ(f != nullptr, m >= 2 && m <= 8);
        if (f == nullptr)
            continue;
        bool seen[256] = {};
        for (uint32_t i = 0; i < f->size; ++i) {
            const uint8_t x = f->exp[i];
            ASSERT_TRUE(x != 0 && x <= f->size && !seen[x]) << "exp[" << i << "] = " << int(x);
            seen[x] = true;
            EXPECT_EQ(f->log[x], i);
            EXPECT_EQ(f->exp[i + f->size], x);
        }
        del_gf(f);
    }
}

TEST_F(GfTest, TableFreeProductsAgreeWithTables)
{
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const uint8_t x = static_cast<uint8_t>(a), y = static_cast<uint8_t>(b);
            const uint8_t expected = (a == 0 || b == 0) ? 0 : field->exp[field->log[a] + field->log[b]];
            ASSERT_EQ(gf_mul(field, x, y), expected) << a << " x " << b;
            ASSERT_EQ(gf_mul_noLUT(field, x, y), expected) << a << " x " << b;
            if (b != 0) {
                ASSERT_EQ(gf_mul(field, gf_div2(field, x, y), y), x) << a << " / " << b;
            }
        }
    }
    // The same for a field small enough to need the generic reduction.
    gf *f4 = new_gf(4);
    ASSERT_NE(f4, nullptr);
    for (int a = 1; a < 16; ++a) {
        for (int b = 1; b < 16; ++b)
            ASSERT_EQ(gf_mul(f4, static_cast<uint8_t>(a), static_cast<uint8_t>(b)),
                      f4->exp[f4->log[a] + f4->log[b]]);
    }
    del_gf(f4);
}

TEST_F(GfTest, ElementOperationVectors)
{
    struct Case {
        const char *name;
        int got, expected;
    } cases[] = {
        {"add", gf_add(0x53, 0xCA), 0x99},
        {"mul 80 02", gf_mul(field, 0x80, 0x02), 0x1D},
        {"mul 53 CA", gf_mul(field, 0x53, 0xCA), 0x8F}, // 0x01 in the 0x11B field
        {"pow 2^8", gf_pow(field, 2, 8), 0x1D},
        {"pow 0^0", gf_pow(field, 0, 0), 1},
        {"pow x^0", gf_pow(field, 0x37, 0), 1},
        {"inverse 2", gf_inverse(field, 2), 0x8E},
        {"div2 1/2", gf_div2(field, 1, 2), 0x8E},
        {"pow2 2^-1", gf_pow2(field, 2, -1), 0x8E},
        {"pow2 2^-255", gf_pow2(field, 2, -255), 1},
        {"pow2 x^7", gf_pow2(field, 0x37, 7), gf_pow(field, 0x37, 7)},
        {"pow2 x^-7", gf_mul(field, gf_pow2(field, 0x37, -7), gf_pow(field, 0x37, 7)), 1},
        {"inverse 0", gf_inverse(field, 0), 1},
        {"div2 0/b", gf_div2(field, 0, 7), 0},
        {"div2 a/0", gf_div2(field, 7, 0), 0},
        {"overflow", gf_mul_overflow(field, 0x80, 0x02), 0x100},
        {"overflow FF", gf_mul_overflow(field, 0xFF, 0xFF), 0x5555},
        {"div below top bit", gf_div(field, 0xFF, 0x11D), 0xFF},
        {"div x^8", gf_div(field, 0x100, 0x11D), 0x1D},
        {"div x^9", gf_div(field, 0x200, 0x11D), 0x3A},
        {"div by 0", gf_div(field, 0x55, 0), 0x55},
        {"msb 1", gf_msb_index(field, 1), 0},
        {"msb 11D", gf_msb_index(field, 0x11D), 8},
        {"msb 0", gf_msb_index(field, 0), -1},
        {"msb negative", gf_msb_index(field, -5), -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.got, c.expected) << c.name;
}

TEST_F(GfTest, ConstructorsFreeWhatTheyBuiltWhenMemoryRunsOut)
{
    sweep_allocation_failures([] {
        gf *f = new_gf(8);
        gf *c = copy_gf(f);
        const bool ok = c != nullptr && c->exp != f->exp && c->exp[254] == 0x8E && c->log[0x1D] == 8;
        del_gf(c);
        del_gf(f);
        return ok;
    });
}
