#include "coding/protocol_tones.h"

#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <limits>

namespace {

// 16 tones, one per symbol, on the linear scale.
protocol *linear(float base, float spacing, uint8_t channels, float gap)
{
    const uint64_t fd[2] = {1, 2};
    coding_params *coding = new_coding_params(4, 1, 1, 6, 0, 6, 6);
    modulation_params *modulation = new_modulation_params(channels, fd, 2, nullptr, base, spacing, gap, 0.1f, 0.1f,
                                                          0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    return new_test_protocol("linear", coding, modulation);
}

} // namespace

class ProtocolTonesTest : public TrackedHeapTest {};

TEST_F(ProtocolTonesTest, SemitoneScale)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(protocol_tone_frequency(p, 0.0f, 0), 1760.0f);
    EXPECT_EQ(protocol_tone_frequency(p, 12.0f, 5), 3520.0f); // the channel is not used
    // Single precision throughout: a double computation gives 10548.082.
    EXPECT_EQ(bits_of(protocol_tone_frequency(p, 31.0f, 0)), 0x4624d053u); // 10548.081
    EXPECT_EQ(bits_of(protocol_tone_frequency(p, 32.0f, 0)), 0x462e9d37u); // 11175.304
    EXPECT_FLOAT_EQ(protocol_tone_index(p, protocol_tone_frequency(p, 31.0f, 0), 0), 30.999996f);
    EXPECT_EQ(protocol_tone_index(p, 9.9f, 0), 0.0f);
    EXPECT_EQ(protocol_channel_width(p), 0.0f);
    uint8_t tone = 31;
    EXPECT_EQ(protocol_symbol_from_tones(p, &tone), 31u); // one tone per symbol: the index itself
    EXPECT_EQ(protocol_tones_from_symbol(p, 32, &tone), 1);
    del_protocol(p);
}

TEST_F(ProtocolTonesTest, LinearScaleChannels)
{
    protocol *p = linear(1000.0f, 50.0f, 2, 100.0f);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(protocol_tone_frequency(p, 0.0f, 1), 1900.0f);
    EXPECT_EQ(protocol_tone_frequency(p, 3.0f, 0), 1150.0f);
    EXPECT_EQ(protocol_tone_index(p, 1925.0f, 1), 0.5f);
    EXPECT_EQ(protocol_tone_index(p, 5.0f, 1), 0.0f);
    EXPECT_EQ(protocol_channel_width(p), 800.0f);
    EXPECT_EQ(tone_index(1100.0f, 1000.0f, 50.0f), 2.0f);
    del_protocol(p);
}

TEST_F(ProtocolTonesTest, SampleRateAndBins)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    struct Case {
        uint32_t rate;
        uint32_t fft;
        uint32_t low;
        uint32_t high;
    };
    const Case cases[] = {{44100, 2048, 80, 519}, {44100, 1024, 39, 260}, {48000, 2048, 74, 477},
                          {8000, 256, 55, 127}, {44100, 1, 0, 0},       {44100, 0, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.fft);
        EXPECT_EQ(protocol_low_bin(p, c.rate, c.fft), c.low);
        EXPECT_EQ(protocol_high_bin(p, c.rate, c.fft), c.high);
    }
    EXPECT_TRUE(protocol_sample_rate_ok(p, 21097, 0));
    EXPECT_FALSE(protocol_sample_rate_ok(p, 21096, 0));
    del_protocol(p);

    // Exact threshold on a linear scale: the top tone is 1750 Hz.
    p = linear(1000.0f, 50.0f, 1, 0.0f);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(protocol_sample_rate_ok(p, 3600, 100));
    EXPECT_FALSE(protocol_sample_rate_ok(p, 3599, 100));
    // One tone past the top, 1800 Hz, puts the high bin at exactly N/2 for
    // N = 8 at 4800 Hz (8 x 0.375 + 1): the last bin is N/2 - 1.
    EXPECT_EQ(protocol_high_bin(p, 4800, 8), 3u);
    del_protocol(p);
}

TEST_F(ProtocolTonesTest, BinsOfDegenerateBandsAreDefined)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float spacing;
        float gap;
        uint32_t low;
        uint32_t high;
    };
    // A falling band, a NaN spacing and an infinite gap must not convert
    // out-of-range floats to integers. The constructor refuses a NaN spacing,
    // so it is put in afterwards.
    const Case cases[] = {{-50.0f, 0.0f, 45, 0}, {nan, 0.0f, 0, 0}, {50.0f, inf, 0, 511}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.spacing << " " << c.gap);
        protocol *p = linear(1000.0f, c.spacing == c.spacing ? c.spacing : 50.0f, 2, c.gap);
        ASSERT_NE(p, nullptr);
        p->modulation->tone_spacing = c.spacing;
        EXPECT_EQ(protocol_low_bin(p, 22050, 1024), c.low);
        EXPECT_EQ(protocol_high_bin(p, 22050, 1024), c.high);
        del_protocol(p);
    }
}
