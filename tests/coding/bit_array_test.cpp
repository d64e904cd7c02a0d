#include "coding/bit_array.h"

#include "support/memory_fixture.h"

class BitArrayTest : public TrackedHeapTest {};

TEST_F(BitArrayTest, StreamRunsLeastSignificantBitFirst)
{
    bit_array *a = new_bit_array(140);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(bit_array_write(a, 4, 0x5), 0);
    ASSERT_EQ(bit_array_write(a, 8, 0xA3), 0);
    ASSERT_EQ(bit_array_write(a, 64, 0x8000000000000001u), 0);
    EXPECT_EQ(bit_array_bytes(a)[0], 0x35);
    EXPECT_EQ(bit_array_bytes(a)[1], 0x1A);
    EXPECT_EQ(bit_array_get(a, 12), 1);
    bit_array_rewind(a);
    EXPECT_EQ(bit_array_read(a, 12), 0xA35u);
    EXPECT_EQ(bit_array_read(a, 64), 0x8000000000000001u);
    del_bit_array(a);
}

TEST_F(BitArrayTest, RefusalsChangeNothing)
{
    bit_array *a = new_bit_array(10);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(bit_array_write(a, 8, 0xFF), 0); // cursor 2 bits before the end
    EXPECT_EQ(bit_array_write(a, 3, 0x7), -1);
    EXPECT_EQ(a->cursor, 8);
    EXPECT_EQ(bit_array_get(a, 8), 0);
    EXPECT_EQ(bit_array_write(a, 0, 1), 0);
    bit_array_rewind(a);
    EXPECT_EQ(bit_array_read(a, 65), ~uint64_t{0});
    EXPECT_EQ(bit_array_read(a, 11), ~uint64_t{0});
    EXPECT_EQ(a->cursor, 0);
    EXPECT_EQ(bit_array_set(a, 10, 1), -1);
    EXPECT_EQ(bit_array_get(a, 10), -1);
    del_bit_array(a);
}

TEST_F(BitArrayTest, SizeIsLimitedToTwoHundredFiftyFiveBytes)
{
    EXPECT_EQ(new_bit_array(2041), nullptr); // 256 bytes would wrap the byte count
    sweep_allocation_failures([] {
        bit_array *a = new_bit_array(2040);
        bit_array *b = a ? copy_bit_array(a) : nullptr;
        const bool ok = a && b && a->n_bytes == 255 && bit_array_equal(a, b);
        if (b != nullptr)
            bit_array_set(b, 2039, 1);
        const bool differs = ok && !bit_array_equal(a, b);
        del_bit_array(b);
        del_bit_array(a);
        return differs;
    });
}
