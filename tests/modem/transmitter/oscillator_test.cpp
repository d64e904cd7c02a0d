#include "modem/transmitter/oscillator.h"

#include "support/memory_fixture.h"

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace {

class OscillatorTest : public TrackedHeapTest {};

using osc_ptr = std::unique_ptr<oscillator, decltype(&del_oscillator)>;

osc_ptr make_oscillator(uint32_t rate) { return osc_ptr(new_oscillator(rate), &del_oscillator); }

TEST_F(OscillatorTest, StartsSilentWithScaledSineTable)
{
    osc_ptr osc = make_oscillator(44100);
    ASSERT_NE(osc, nullptr);
    EXPECT_EQ(osc->table_size, 4096);
    EXPECT_EQ(osc->table[0], 0.0f);
    EXPECT_NEAR(osc->table[1024], 0.99f, 1e-6f);
    EXPECT_NEAR(osc->table[3072], -0.99f, 1e-6f);
    EXPECT_NEAR(osc->table[4096], 0.0f, 2e-7f);
    for (int n = 0; n < 100; ++n)
        EXPECT_EQ(oscillator_next_sample(osc.get()), 0.0f);
    oscillator_set_frequency(osc.get(), 1000.0f);
    EXPECT_EQ(osc->increment, 92.87982f);
}

TEST_F(OscillatorTest, FollowsTheSineFromPhaseZero)
{
    const float frequencies[] = {1000.0f, 1760.0f, 10548.081f, 333.3f, -1000.0f};
    for (float hz : frequencies) {
        SCOPED_TRACE(hz);
        osc_ptr osc = make_oscillator(44100);
        ASSERT_NE(osc, nullptr);
        oscillator_set_frequency(osc.get(), hz);
        EXPECT_EQ(oscillator_next_sample(osc.get()), 0.0f);
        for (int n = 1; n < 1000; ++n) {
            const double want = 0.99 * std::sin(2.0 * std::numbers::pi * hz * n / 44100.0);
            ASSERT_NEAR(oscillator_next_sample(osc.get()), want, 1e-3) << "sample " << n;
        }
    }
}

TEST_F(OscillatorTest, GlideLandsExactlyOnTarget)
{
    osc_ptr osc = make_oscillator(44100);
    ASSERT_NE(osc, nullptr);
    oscillator_set_frequency(osc.get(), 1000.0f);
    oscillator_set_glide_time(osc.get(), 0.1744f);
    oscillator_glide_to(osc.get(), 2000.0f);
    EXPECT_EQ(osc->glide_step, 0.13002142f);
    EXPECT_EQ(osc->frequency, 1000.0f);
    int steps = 0;
    while (osc->glide_target != 0.0f && steps < 20000) {
        oscillator_next_sample(osc.get());
        ++steps;
    }
    EXPECT_GE(steps, 7690);
    EXPECT_LE(steps, 7693);
    EXPECT_EQ(osc->frequency, 2000.0f);
    EXPECT_EQ(osc->glide_step, 0.0f);
    EXPECT_EQ(osc->increment, 4096.0f * 2000.0f / 44100.0f);
    for (int n = 0; n < 1000; ++n)
        oscillator_next_sample(osc.get());
    EXPECT_EQ(osc->frequency, 2000.0f);
}

// Each case starts during a glide towards 700 Hz over 0.1 s (none when silent).
TEST_F(OscillatorTest, GlideToRules)
{
    struct Case {
        const char *name;
        float start, glide_time, target;
        float now, later; // frequency right after the call and 10000 samples on
    };
    const Case cases[] = {
        {"silent oscillator jumps", 0.0f, 0.05f, 1500.0f, 1500.0f, 1500.0f},
        {"glide time 0 jumps and the old glide ends", 1000.0f, 0.0f, 1500.0f, 1500.0f, 1500.0f},
        {"positive glide time glides", 1000.0f, 0.05f, 1500.0f, 1000.0f, 1500.0f},
        {"glide to the sounding frequency holds it", 1000.0f, 0.05f, 1000.0f, 1000.0f, 1000.0f},
        {"negative glide time changes nothing", 1000.0f, -0.05f, 1500.0f, 1000.0f, 700.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        osc_ptr osc = make_oscillator(44100);
        ASSERT_NE(osc, nullptr);
        if (c.start != 0.0f) {
            oscillator_set_frequency(osc.get(), c.start);
            oscillator_set_glide_time(osc.get(), 0.1f);
            oscillator_glide_to(osc.get(), 700.0f);
        }
        oscillator_set_glide_time(osc.get(), c.glide_time);
        oscillator_glide_to(osc.get(), c.target);
        EXPECT_EQ(osc->frequency, c.now);
        for (int n = 0; n < 10000; ++n)
            oscillator_next_sample(osc.get());
        EXPECT_EQ(osc->frequency, c.later);
    }
}

// Whatever the frequency, the phase stays inside the table and the samples in
// [-1, 1]; a frequency with no finite increment gives silence and returns.
TEST_F(OscillatorTest, PhaseStaysInTableForAnyFrequency)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float hz;
        bool silent;
    };
    const Case cases[] = {
        // increment about -1e-4: phase 0 plus it, plus a period, rounds to 4096
        {-0.0001f * 44100.0f / 4096.0f, false},
        {-1000.0f, false},
        {-50000.0f, false},
        {50000.0f, false},
        {1e30f, false},
        {-1e30f, false},
        {inf, true},
        {-inf, true},
        {std::numeric_limits<float>::quiet_NaN(), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hz);
        osc_ptr osc = make_oscillator(44100);
        ASSERT_NE(osc, nullptr);
        oscillator_set_frequency(osc.get(), c.hz);
        for (int n = 0; n < 200000; ++n) {
            const float v = oscillator_next_sample(osc.get());
            ASSERT_TRUE(osc->phase >= 0.0f && osc->phase < 4096.0f) << "sample " << n;
            ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << "sample " << n;
            if (c.silent) {
                ASSERT_EQ(v, 0.0f);
            }
        }
    }
}

TEST_F(OscillatorTest, ConstructorRefusesRateZeroAndFreesOnFailure)
{
    EXPECT_EQ(new_oscillator(0), nullptr);
    del_oscillator(nullptr);
    const uint64_t allocations = sweep_allocation_failures([] {
        oscillator *osc = new_oscillator(44100);
        const bool ok = osc != nullptr;
        del_oscillator(osc);
        return ok;
    });
    EXPECT_EQ(allocations, 2u);
}

} // namespace
