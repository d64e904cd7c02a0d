#include "dsp/noise_filter.h"
#include "support/memory_fixture.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

class NoiseFilterTest : public TrackedHeapTest {};

TEST_F(NoiseFilterTest, FirstFramePassesAndSeedsTheEstimate)
{
    noise_filter *nf = new_noise_filter(2, 5);
    ASSERT_NE(nf, nullptr);
    EXPECT_EQ(nf->one_minus_smoothing, 1.0f - 0.95f);
    EXPECT_NE(nf->one_minus_smoothing, 0.05f);
    std::vector<float> s = {9, 9, 1, 2, 3, 4, 9, 9};
    const std::vector<float> in = s;
    EXPECT_TRUE(noise_filter_apply(nf, s.data()));
    EXPECT_EQ(s, in);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(nf->noise[i], 0.050000012f * in[2 + i]) << i;
    del_noise_filter(nf);
}

// Bit for bit, but any NaN for a NaN: which of two NaN operands an operation
// passes on is the compiler's choice of operand order.
bool same_value(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// The filter over a spectrum still to be equalised takes each bin times its
// gain in one pass, in blocks where the target has vectors: every bin of
// every block and of the tail must hold what multiplying first and then
// filtering one bin at a time gives, infinities, negative values and both
// zeros included, whether the output is the input or not.
TEST_F(NoiseFilterTest, ScaledFilteringIsMultiplyingFirst)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {nan, inf, -inf, -0.0f, 0.0f, -3.0f, 1e-40f, 3e38f};
    std::mt19937 gen(15);
    std::uniform_real_distribution<float> uniform(0.0f, 4.0f);
    auto draw = [&] {
        const uint32_t r = gen() % 16;
        return r < 8 ? specials[r] : uniform(gen);
    };
    const uint32_t bands[][2] = {{0, 0}, {3, 5}, {1, 16}, {2, 17}, {0, 18}, {5, 44}, {80, 519}};
    for (const auto &band : bands) {
        for (const bool scaled : {true, false}) {
            for (const bool in_place : {true, false}) {
                SCOPED_TRACE(testing::Message() << band[0] << ".." << band[1] << (scaled ? ", scaled" : "")
                                                << (in_place ? ", in place" : ""));
                noise_filter *nf = new_noise_filter(band[0], band[1]);
                ASSERT_NE(nf, nullptr);
                ASSERT_TRUE(noise_filter_set_factor(nf, 0.375f));
                const size_t bins = band[1] + 2;
                std::vector<float> estimate(band[1] - band[0] + 1, 0.0f);
                std::vector<float> gains(bins);
                for (float &g : gains)
                    g = draw();
                for (int frame = 0; frame < 3; ++frame) {
                    std::vector<float> in(bins);
                    for (float &v : in)
                        v = draw();
                    std::vector<float> expected = in;
                    for (uint32_t b = band[0]; b <= band[1]; ++b) {
                        const float x = scaled ? gains[b] * in[b] : in[b];
                        float &e = estimate[b - band[0]];
                        const float sub = nf->factor * e;
                        e = nf->one_minus_smoothing * x + nf->smoothing * e;
                        const float d = x - sub;
                        expected[b] = d < 0.0f ? 0.0f : d;
                    }
                    std::vector<float> out = in_place ? in : std::vector<float>(bins, 7.0f);
                    const float *source = in_place ? out.data() : in.data();
                    noise_filter_apply_scaled(nf, scaled ? gains.data() : nullptr, source, out.data());
                    for (size_t b = 0; b < bins; ++b) {
                        const bool in_band = b >= band[0] && b <= band[1];
                        const float want = in_band ? expected[b] : in_place ? in[b] : 7.0f;
                        ASSERT_TRUE(same_value(out[b], want)) << "frame " << frame << ", bin " << b;
                    }
                    for (size_t i = 0; i < estimate.size(); ++i)
                        ASSERT_TRUE(same_value(nf->noise[i], estimate[i])) << "frame " << frame << ", estimate " << i;
                }
                del_noise_filter(nf);
            }
        }
    }
}

TEST_F(NoiseFilterTest, SettersRefuseOutOfRange)
{
    noise_filter *nf = new_noise_filter(0, 1);
    ASSERT_NE(nf, nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float x;
        bool accepted;
    } cases[] = {{1.5f, false}, {-0.1f, false}, {0.0f, true}, {1.0f, true}, {0.25f, true}, {nan, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.x);
        const noise_filter before = *nf;
        EXPECT_EQ(noise_filter_set_factor(nf, c.x), c.accepted);
        EXPECT_EQ(noise_filter_set_smoothing(nf, c.x), c.accepted);
        const float factor = c.accepted ? c.x : before.factor;
        const float smoothing = c.accepted ? c.x : before.smoothing;
        EXPECT_EQ(nf->factor, factor);
        EXPECT_EQ(nf->smoothing, smoothing);
        EXPECT_EQ(nf->one_minus_smoothing, 1.0f - smoothing);
    }
    del_noise_filter(nf);
    del_noise_filter(nullptr);
}

TEST_F(NoiseFilterTest, BandMovesWithinItsEstimatesAndNewBinsStartAfresh)
{
    noise_filter *nf = new_noise_filter(10, 20);
    ASSERT_NE(nf, nullptr);
    ASSERT_TRUE(noise_filter_set_smoothing(nf, 0.0f)); // estimate = last value seen
    ASSERT_TRUE(noise_filter_set_factor(nf, 1.0f));
    struct Step {
        const char *what;
        uint32_t lo, hi;
        bool accepted;
        uint32_t filtered_lo, filtered_hi; // bins expected changed by the next frame; lo > hi: none
    } steps[] = {
        {"the whole band, first frame", 10, 20, true, 1, 0},
        {"below the estimates", 9, 15, false, 10, 20},
        {"above the estimates", 15, 21, false, 10, 20},
        {"a part of it", 12, 15, true, 12, 15},
        {"moved up: 16 to 18 join", 14, 18, true, 14, 15},
        {"empty", 5, 3, true, 1, 0},
        {"back: every bin joins again", 10, 20, true, 1, 0},
        {"the same band keeps its estimates", 10, 20, true, 10, 20},
    };
    for (const Step &st : steps) {
        SCOPED_TRACE(st.what);
        EXPECT_EQ(noise_filter_set_band(nf, st.lo, st.hi), st.accepted);
        // Every frame is 8 everywhere: a bin with an estimate comes out 0,
        // one that starts afresh passes unchanged, one outside stays 8.
        std::vector<float> s(24, 8.0f);
        noise_filter_apply(nf, s.data());
        for (uint32_t b = 0; b < s.size(); ++b) {
            const bool cleared = b >= st.filtered_lo && b <= st.filtered_hi;
            EXPECT_EQ(s[b], cleared ? 0.0f : 8.0f) << b;
        }
    }
    del_noise_filter(nf);
}

TEST_F(NoiseFilterTest, InvertedBandIsAnEmptyFilter)
{
    memory_manager_fail_at(2, true); // only the record may be allocated
    noise_filter *nf = new_noise_filter(519, 80);
    memory_manager_fail_at(0, false);
    ASSERT_NE(nf, nullptr);
    EXPECT_EQ(nf->noise, nullptr);
    std::vector<float> s(600, 3.0f);
    EXPECT_TRUE(noise_filter_apply(nf, s.data()));
    EXPECT_EQ(s, std::vector<float>(600, 3.0f));
    EXPECT_FALSE(noise_filter_set_band(nf, 80, 80));
    del_noise_filter(nf);

    // The widest band asks for 2^32 estimates, which the heap refuses.
    EXPECT_EQ(new_noise_filter(0, UINT32_MAX), nullptr);
}

TEST_F(NoiseFilterTest, AllocationFailuresLeaveNothing)
{
    const uint64_t allocations = sweep_allocation_failures([] {
        noise_filter *nf = new_noise_filter(80, 519);
        if (nf == nullptr)
            return false;
        std::vector<float> s(1024, 1.0f);
        noise_filter_apply(nf, s.data());
        del_noise_filter(nf);
        return true;
    });
    EXPECT_EQ(allocations, 2u);
}

} // namespace
