#include "modem/transmitter/sweep.h"

#include "support/memory_fixture.h"

#include <memory>
#include <vector>

namespace {

class SweepTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        osc_ = new_oscillator(44100);
        ASSERT_NE(osc_, nullptr);
        sw_ = new_sweep(44100, osc_);
        ASSERT_NE(sw_, nullptr);
    }
    void TearDown() override
    {
        del_sweep(sw_);
        del_oscillator(osc_);
        TrackedHeapTest::TearDown();
    }
    // Holds the oscillator on the crest of its table (frequency 0, phase at a
    // quarter period), so each sweep sample is 0.99 times the envelope.
    void hold_crest()
    {
        sweep_set_start_frequency(sw_, 0.0f);
        sweep_set_end_frequency(sw_, 0.0f);
        sweep_start(sw_);
        osc_->phase = 1024.0f;
    }
    float envelope() { return sweep_next_sample(sw_) / 0.99f; }

    oscillator *osc_ = nullptr;
    sweep *sw_ = nullptr;
};

TEST_F(SweepTest, EnvelopeSampleCountsTruncate)
{
    struct Case {
        uint32_t rate;
        float attack, decay;
        uint32_t attack_samples, decay_samples;
    };
    const Case cases[] = {
        {44100, 0.01f, 0.01f, 441, 441},
        {44100, 0.02f, 0.01f, 882, 441},
        {48000, 0.01f, 0.02f, 480, 960},
        {44100, -0.01f, 0.0f, 0, 0},
        {44100, 1e30f, 0.0f, 0xFFFFFFFFu, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        SCOPED_TRACE(c.attack);
        sweep_set_attack(sw_, c.attack);
        sweep_set_decay(sw_, c.decay);
        sweep_set_sample_rate(sw_, c.rate);
        EXPECT_EQ(sw_->attack_samples, c.attack_samples);
        EXPECT_EQ(sw_->decay_samples, c.decay_samples);
        EXPECT_EQ(osc_->sample_rate, c.rate);
    }
}

TEST_F(SweepTest, EnvelopeShapes)
{
    // At 10 Hz, 0.3 s is 3 samples and 0.2 s is 2 (products truncated).
    struct Case {
        const char *name;
        float attack, decay;
        std::vector<float> envelope;
    };
    const Case cases[] = {
        {"triangle", 0.3f, 0.2f, {0.0f, 1.0f / 3, 2.0f / 3, 1.0f, 0.5f, 0.0f, 1.0f / 3}},
        {"falling sawtooth", 0.0f, 0.2f, {1.0f, 0.5f, 1.0f, 0.5f}},
        {"rising sawtooth", 0.3f, 0.0f, {0.0f, 1.0f / 3, 2.0f / 3, 0.0f}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sweep_set_sample_rate(sw_, 10);
        sweep_set_attack(sw_, c.attack);
        sweep_set_decay(sw_, c.decay);
        hold_crest();
        for (size_t n = 0; n < c.envelope.size(); ++n)
            EXPECT_NEAR(envelope(), c.envelope[n], 1e-6f) << "sample " << n;
    }
}

TEST_F(SweepTest, WithoutEnvelopeIsTheOscillatorUnchanged)
{
    oscillator *twin = new_oscillator(44100);
    ASSERT_NE(twin, nullptr);
    sweep_set_start_frequency(sw_, 1500.0f);
    sweep_start(sw_);
    oscillator_set_frequency(twin, 1500.0f);
    for (int n = 0; n < 2000; ++n)
        ASSERT_EQ(sweep_next_sample(sw_), oscillator_next_sample(twin)) << "sample " << n;
    EXPECT_EQ(sw_->counter, 0u);
    del_oscillator(twin);
}

TEST_F(SweepTest, StartGlidesOnlyWithAnEndFrequency)
{
    sweep_set_start_frequency(sw_, 3000.0f);
    sweep_set_end_frequency(sw_, 0.0f);
    sweep_set_glide_time(sw_, 0.1744f);
    sweep_start(sw_);
    EXPECT_EQ(osc_->frequency, 3000.0f);
    EXPECT_EQ(osc_->glide_target, 0.0f);

    sweep_set_start_frequency(sw_, 1000.0f);
    sweep_set_end_frequency(sw_, 2000.0f);
    sweep_start(sw_);
    EXPECT_EQ(osc_->frequency, 1000.0f);
    EXPECT_EQ(osc_->glide_time, 0.1744f);
    EXPECT_EQ(osc_->glide_step, 0.13002142f);
    for (int n = 0; n < 7693; ++n)
        sweep_next_sample(sw_);
    EXPECT_EQ(osc_->frequency, 2000.0f);
    EXPECT_EQ(osc_->glide_target, 0.0f);
}

// A shorter period must not leave the counter past its end: the falling part
// would go below 0 and the samples outside [-1, 1].
TEST_F(SweepTest, CounterStaysInsideAShorterPeriod)
{
    struct Case {
        const char *name;
        void (*shorten)(sweep *);
    };
    const Case cases[] = {
        {"lower sample rate", [](sweep *sw) { sweep_set_sample_rate(sw, 8000); }},
        {"shorter attack", [](sweep *sw) { sweep_set_attack(sw, 0.001f); }},
        {"shorter decay", [](sweep *sw) { sweep_set_decay(sw, 0.001f); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sweep_set_sample_rate(sw_, 48000);
        sweep_set_attack(sw_, 0.02f);
        sweep_set_decay(sw_, 0.01f);
        hold_crest();
        for (int n = 0; n < 1400; ++n)
            envelope();
        c.shorten(sw_);
        const uint64_t period = uint64_t{sw_->attack_samples} + sw_->decay_samples;
        EXPECT_LT(sw_->counter, period);
        for (int n = 0; n < 2000; ++n) {
            const float e = envelope();
            ASSERT_TRUE(e >= 0.0f && e <= 1.0f) << "sample " << n << ": " << e;
        }
    }
}

TEST_F(SweepTest, ConstructorRefusesBadArgumentsAndFreesOnFailure)
{
    EXPECT_EQ(new_sweep(0, osc_), nullptr);
    EXPECT_EQ(new_sweep(44100, nullptr), nullptr);
    del_sweep(nullptr);
    oscillator *osc = osc_;
    const uint64_t allocations = sweep_allocation_failures([osc] {
        sweep *sw = new_sweep(44100, osc);
        const bool ok = sw != nullptr && sw->oscillator == osc && sw->counter == 0;
        del_sweep(sw);
        return ok;
    });
    EXPECT_EQ(allocations, 1u);
}

} // namespace
