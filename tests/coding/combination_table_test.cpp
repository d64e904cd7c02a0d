#include "coding/combination_table.h"

#include "support/memory_fixture.h"

#include <algorithm>
#include <vector>

namespace {

// Independent colex order: k-subsets of n as n-bit masks in increasing
// numeric order (next bit permutation); the i-th mask has rank i.
std::vector<uint64_t> colex_masks(uint32_t n, uint32_t k, uint64_t limit)
{
    std::vector<uint64_t> masks;
    uint64_t m = (k == 64) ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
    while (masks.size() < limit && m < (uint64_t{1} << n)) {
        masks.push_back(m);
        const uint64_t c = m & (~m + 1);
        const uint64_t r = m + c;
        m = (((r ^ m) >> 2) / c) | r;
    }
    return masks;
}

// Pascal's triangle, saturating at 2^64 - 1: exact wherever the value fits.
uint64_t exact_binomial(uint32_t n, uint32_t k)
{
    static std::vector<std::vector<uint64_t>> rows;
    if (rows.empty()) {
        rows.assign(257, std::vector<uint64_t>(258, 0));
        for (uint32_t a = 0; a <= 256; ++a) {
            rows[a][0] = 1;
            for (uint32_t j = 1; j <= a; ++j) {
                const uint64_t x = rows[a - 1][j - 1];
                const uint64_t y = rows[a - 1][j];
                rows[a][j] = x > ~uint64_t{0} - y ? ~uint64_t{0} : x + y;
            }
        }
    }
    return k > n ? 0 : rows[n][k];
}

} // namespace

class CombinationTableTest : public TrackedHeapTest {};

TEST_F(CombinationTableTest, RankAndUnrankFollowColexOrder)
{
    struct Case {
        uint16_t n;
        uint8_t k;
        uint8_t bits;
    };
    const Case cases[] = {{8, 2, 4}, {16, 3, 9}, {32, 2, 8}, {16, 5, 12}, {4, 1, 2}, {32, 1, 5}, {16, 15, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " tones, k " << int(c.k));
        combination_table *t = new_combination_table(c.n, c.k);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(combination_table_bits(t), c.bits);
        const std::vector<uint64_t> masks = colex_masks(c.n, c.k, t->capacity);
        ASSERT_EQ(masks.size(), t->capacity);
        for (uint64_t rank = 0; rank < t->capacity; ++rank) {
            uint8_t tones[64];
            uint32_t j = 0;
            for (uint32_t b = 0; b < c.n; ++b)
                if (masks[rank] >> b & 1)
                    tones[j++] = static_cast<uint8_t>(b);
            uint8_t out[64] = {};
            ASSERT_EQ(combination_unrank(t, rank, out), 0);
            ASSERT_EQ(std::vector<uint8_t>(out, out + c.k), std::vector<uint8_t>(tones, tones + c.k));
            std::reverse(tones, tones + c.k);
            ASSERT_EQ(combination_rank(t, tones), rank);
        }
        del_combination_table(t);
    }
}

TEST_F(CombinationTableTest, InvalidToneSetsAndValues)
{
    combination_table *t = new_combination_table(8, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->capacity, 16u);
    uint8_t set[2] = {3, 1};
    EXPECT_EQ(combination_rank(t, set), 4u);
    EXPECT_EQ(set[0], 1);
    EXPECT_EQ(set[1], 3);
    struct {
        const char *what;
        uint8_t tones[2];
    } const refused[] = {
        {"a repeated tone", {2, 2}},
        {"a tone outside the channel", {1, 8}},
        {"rank 16, the capacity", {1, 6}},
        {"rank 27", {6, 7}},
    };
    for (const auto &c : refused) {
        uint8_t tones[2] = {c.tones[0], c.tones[1]};
        EXPECT_EQ(combination_rank(t, tones), ~uint64_t{0}) << c.what;
    }
    uint8_t out[2] = {0xEE, 0xEE};
    EXPECT_EQ(combination_unrank(t, 16, out), 1);
    EXPECT_EQ(out[0], 0xEE);
    del_combination_table(t);

    // k = 1 is the index itself, unchecked; k = 0 has one value and no tone.
    combination_table *one = new_combination_table(8, 1);
    combination_table *none = new_combination_table(8, 0);
    ASSERT_TRUE(one && none);
    uint8_t big = 9;
    EXPECT_EQ(combination_rank(one, &big), 9u);
    EXPECT_EQ(none->capacity, 1u);
    EXPECT_EQ(combination_table_bits(none), 0);
    EXPECT_EQ(combination_rank(none, nullptr), 0u);
    EXPECT_EQ(combination_unrank(none, 0, nullptr), 0);
    del_combination_table(none);
    del_combination_table(one);
}

TEST_F(CombinationTableTest, RefusesExactlyTheAlphabetsWhoseBinomialLoopOverflows)
{
    auto refused = [](uint16_t n, uint32_t k) {
        if (n == 64)
            return k == 28 || k == 30 || k == 31 || k == 32 || k == 34 || k == 36 || k == 38;
        if (n == 128)
            return k == 14 || (k >= 16 && k <= 114);
        if (n == 256)
            return k >= 12 && k <= 246;
        return false;
    };
    for (uint16_t n = 4; n <= 256; n *= 2)
        for (uint32_t k = 0; k < n; ++k) {
            combination_table *t = new_combination_table(n, static_cast<uint8_t>(k));
            ASSERT_EQ(t == nullptr, refused(n, k)) << n << " tones, k " << k;
            if (t != nullptr) {
                const uint64_t c = exact_binomial(n, k);
                ASSERT_LT(c, ~uint64_t{0});
                ASSERT_LE(t->capacity, c);
                ASSERT_GT(t->capacity, c / 2);
            }
            del_combination_table(t);
        }
    EXPECT_EQ(new_combination_table(8, 9), nullptr);
    EXPECT_EQ(new_combination_table(257, 1), nullptr);
}

TEST_F(CombinationTableTest, BinomialsNearTheLimitAreExact)
{
    // Alphabets whose own C(n, k) fits but whose rank terms would wrap in a
    // plain 64-bit multiply-then-divide loop.
    struct Case {
        uint16_t n;
        uint8_t k;
        uint16_t t;
        uint16_t j;
    };
    const Case cases[] = {{64, 33, 63, 33}, {128, 15, 126, 14}, {128, 15, 127, 15}, {256, 11, 253, 11}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " tones, k " << int(c.k));
        combination_table *t = new_combination_table(c.n, c.k);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(combination_table_choose(t, c.t, c.j), exact_binomial(c.t, c.j));
        EXPECT_EQ(n_choose_k(c.t, c.j), exact_binomial(c.t, c.j));
        // The largest symbol maps to a valid set and back.
        uint8_t out[64] = {};
        ASSERT_EQ(combination_unrank(t, t->capacity - 1, out), 0);
        for (uint32_t i = 0; i + 1 < c.k; ++i)
            ASSERT_LT(out[i], out[i + 1]);
        ASSERT_LT(out[c.k - 1], c.n);
        EXPECT_EQ(combination_rank(t, out), t->capacity - 1);
        del_combination_table(t);
    }
    for (uint32_t n = 0; n <= 256; ++n)
        for (uint32_t k = 0; k <= n + 1; ++k)
            ASSERT_EQ(n_choose_k(static_cast<uint16_t>(n), static_cast<uint16_t>(k)), exact_binomial(n, k))
                << n << " choose " << k;
    EXPECT_EQ(n_choose_k(256, 128), ~uint64_t{0});
    EXPECT_EQ(n_choose_k(8, 9), 0u);
    EXPECT_EQ(n_choose_k(8, 0), 1u);
}

TEST_F(CombinationTableTest, CopyKeepsTheTable)
{
    sweep_allocation_failures([] {
        combination_table *a = new_combination_table(16, 3);
        combination_table *b = a ? copy_combination_table(a) : nullptr;
        uint8_t set[3] = {15, 0, 7};
        const bool ok = a && b && b->capacity == 512 && combination_rank(b, set) == combination_rank(a, set);
        del_combination_table(b);
        del_combination_table(a);
        return ok;
    });
}
