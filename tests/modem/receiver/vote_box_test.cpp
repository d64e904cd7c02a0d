#include "modem/receiver/vote_box.h"

#include "support/memory_fixture.h"

#include <limits>
#include <vector>

namespace {

constexpr uint64_t kNone = ~uint64_t{0};

struct Vote {
    uint64_t symbol;
    float weight;
    bool accepted;
};

class VoteBoxTest : public TrackedHeapTest {};

TEST_F(VoteBoxTest, AddsDecidesAndBreaksTiesByFirstArrival)
{
    struct Case {
        const char *what;
        uint32_t capacity;
        std::vector<Vote> votes;
        uint64_t winner;
        float weight;
    } cases[] = {
        {"a known symbol sums, a new one beyond capacity is dropped",
         2,
         {{5, 0.5f, true}, {7, 0.25f, true}, {7, 0.5f, true}, {9, 5.0f, false}},
         7,
         0.75f},
        {"equal weights: the first symbol to arrive wins", 3, {{4, 0.5f, true}, {3, 0.5f, true}}, 4, 0.5f},
        {"a later symbol must be strictly heavier", 3, {{4, 0.5f, true}, {3, 0.25f, true}, {3, 0.5f, true}}, 3, 0.75f},
        {"weightless votes take places but never win",
         2,
         {{0, 0.0f, true}, {0, 0.0f, true}, {8, 0.0f, true}},
         kNone,
         std::numeric_limits<float>::max()},
        {"a weightless entry still fills the box",
         1,
         {{0, 0.0f, true}, {6, 1.0f, false}},
         kNone,
         std::numeric_limits<float>::max()},
        {"capacity 0 refuses everything", 0, {{1, 1.0f, false}}, kNone, std::numeric_limits<float>::max()},
        {"64-bit symbols are kept whole", 2, {{kNone - 1, 1.0f, true}}, kNone - 1, 1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        vote_box *box = new_vote_box(c.capacity);
        ASSERT_NE(box, nullptr);
        for (const Vote &v : c.votes)
            EXPECT_EQ(vote_box_add(box, v.symbol, v.weight), v.accepted);
        vote_box_decide(box);
        EXPECT_EQ(vote_box_winner(box), c.winner);
        EXPECT_EQ(vote_box_winner_weight(box), c.weight);
        vote_box_clear(box);
        EXPECT_EQ(box->count, 0u);
        EXPECT_EQ(vote_box_winner(box), kNone);
        EXPECT_EQ(vote_box_winner_weight(box), std::numeric_limits<float>::max());
        del_vote_box(box);
    }
}

TEST_F(VoteBoxTest, HoldsWindowsWiderThan255Frames)
{
    // A window of 256 frames: an 8-bit capacity would have been 0.
    vote_box *box = new_vote_box(256);
    ASSERT_NE(box, nullptr);
    for (uint64_t s = 0; s < 256; ++s)
        EXPECT_TRUE(vote_box_add(box, s, 1.0f + static_cast<float>(s == 200)));
    EXPECT_FALSE(vote_box_add(box, 256, 9.0f));
    vote_box_decide(box);
    EXPECT_EQ(vote_box_winner(box), 200u);
    del_vote_box(box);
    del_vote_box(nullptr);
    sweep_allocation_failures([] {
        vote_box *b = new_vote_box(39);
        del_vote_box(b);
        return b != nullptr;
    });
}

} // namespace
