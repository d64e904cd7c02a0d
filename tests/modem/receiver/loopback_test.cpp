// Transmitter to receiver through the frame FIFO and the spectrum analyser,
// as the interface layer connects them, with the default protocol and
// settings at 44.1 kHz.
#include "loopback_harness.h"

#include "dsp/backend/dsp_backend.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// Past the last sample of a transmission the frames still have to slide over
// its end before the last slot's vote; a tenth of a second covers it.
constexpr size_t kTail = 4410;

class LoopbackTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        p = new_default_protocol();
        s = new_default_decoder_settings();
        ASSERT_TRUE(p && s);
    }
    void TearDown() override
    {
        del_decoder_settings(s);
        del_protocol(p);
        TrackedHeapTest::TearDown();
    }

    // Feeds x through a fresh chain and expects exactly one reception
    // delivering `payload` without corrections.
    void expect_one_reception(const std::vector<float> &x, const std::vector<uint8_t> &payload)
    {
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        c.feed(x);
        ASSERT_EQ(c.events().size(), 2u);
        EXPECT_FALSE(c.events()[0].received);
        EXPECT_TRUE(c.events()[1].has_message);
        EXPECT_EQ(c.events()[1].state, TOVAN_STATE_DECODED);
        EXPECT_EQ(c.events()[1].corrected, 0u);
        EXPECT_EQ(c.events()[1].payload, payload);
    }

    protocol *p = nullptr;
    decoder_settings *s = nullptr;
};

TEST_F(LoopbackTest, EveryLengthAndRandomPayloadsDecode)
{
    std::vector<std::vector<uint8_t>> payloads;
    for (uint8_t n = 1; n <= 6; ++n) {
        std::vector<uint8_t> b(n);
        for (uint8_t i = 0; i < n; ++i)
            b[i] = static_cast<uint8_t>(0x5a + 37 * i + n);
        payloads.push_back(b);
    }
    payloads.push_back({0, 0, 0, 0, 0, 0});
    payloads.push_back({0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
    std::mt19937 gen(20261208);
    for (int i = 0; i < 24; ++i) {
        std::vector<uint8_t> b(1 + gen() % 6);
        for (uint8_t &v : b)
            v = static_cast<uint8_t>(gen());
        payloads.push_back(b);
    }
    for (const std::vector<uint8_t> &b : payloads) {
        SCOPED_TRACE(testing::Message() << b.size() << " bytes from " << static_cast<int>(b[0]));
        std::vector<float> x = loopback::render(p, b);
        loopback::append_silence(x, kTail);
        expect_one_reception(x, b);
    }
}

TEST_F(LoopbackTest, QuietTransmissionSurvivesSixteenBitSamples)
{
    const std::vector<uint8_t> b = {0x12, 0x34, 0x56};
    std::vector<float> x = loopback::render(p, b, 0.01f);
    loopback::append_silence(x, kTail);
    std::vector<int16_t> pcm(x.size());
    float_to_int16(x.data(), pcm.data(), static_cast<uint32_t>(x.size()));
    int16_to_float(pcm.data(), x.data(), static_cast<uint32_t>(x.size()));
    expect_one_reception(x, b);
}

TEST_F(LoopbackTest, EveryLeadingOffsetWithinTwoHopsDecodes)
{
    const std::vector<uint8_t> b = {0xa7};
    const std::vector<float> sent = loopback::render(p, b);
    for (size_t offset = 0; offset < 128; ++offset) {
        SCOPED_TRACE(offset);
        std::vector<float> x(offset, 0.0f);
        x.insert(x.end(), sent.begin(), sent.end());
        loopback::append_silence(x, kTail);
        expect_one_reception(x, b);
    }
}

// The default protocol with every tone moved by `ratio` and the timing as
// sent: what a receiver hears of a sender whose tones alone are off.
protocol *pitched_protocol(float ratio)
{
    return new_test_protocol("pitched", new_default_coding_params(),
                             new_modulation_params(1, TOVAN_DEFAULT_FRONTDOOR, 2, nullptr, 1760.0f * ratio, 0.0f,
                                                   0.0f, 0.0872f, 0.0872f, 0.015f, 0.015f, 0.005f, 0.0f, 0.0f));
}

// A sender whose clock runs r times the receiver's: heard pitch-only (the
// tones moved, the slots as sent), or resampled (rendered at 44100 / r Hz
// and heard at 44100 Hz: tones and slots both scaled). The correction 1 / r
// must bring back the lowest and the highest tones too.
TEST_F(LoopbackTest, EdgeTonesComeBackWithTheFrequencyCorrection)
{
    // Between them the payloads use tone 0 and tone 31, the band's edges.
    const std::vector<std::vector<uint8_t>> payloads = {{0, 0, 0, 0, 0, 0}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
    std::vector<uint64_t> used;
    for (const std::vector<uint8_t> &b : payloads)
        for (uint64_t symbol : loopback::frame_symbols(p, b))
            used.push_back(symbol);
    EXPECT_NE(std::find(used.begin(), used.end(), 0u), used.end());
    EXPECT_NE(std::find(used.begin(), used.end(), 31u), used.end());

    struct Case {
        float ratio;
        bool resampled;
    } cases[] = {{0.98f, false}, {1.02f, false}, {0.9f, false},  {1.12f, false},
                 {0.98f, true},  {1.02f, true},  {0.97f, true}, {1.03f, true}};
    for (const Case &c : cases) {
        for (const std::vector<uint8_t> &b : payloads) {
            SCOPED_TRACE(testing::Message() << "ratio " << c.ratio << (c.resampled ? " resampled" : " pitch only")
                                            << ", payload of " << static_cast<int>(b[0]));
            std::vector<float> x;
            float correction = 1.0f / c.ratio;
            if (c.resampled) {
                const uint32_t rate = static_cast<uint32_t>(std::lround(44100.0 / c.ratio));
                correction = static_cast<float>(rate) / 44100.0f;
                x = loopback::render(p, b, 1.0f, rate);
            } else {
                protocol *moved = pitched_protocol(c.ratio);
                ASSERT_NE(moved, nullptr);
                x = loopback::render(moved, b);
                del_protocol(moved);
            }
            loopback::append_silence(x, kTail);
            loopback::chain ch(p, s);
            ASSERT_TRUE(ch.ok());
            ASSERT_TRUE(receiver_set_frequency_correction(ch.rx(), correction));
            ch.feed(x);
            EXPECT_EQ(ch.payloads(), std::vector<std::vector<uint8_t>>{b});
        }
    }
}

// A new factor takes effect between two frames without disturbing the
// reception under way: here it changes on every frame, between two values
// that both read the transmission.
TEST_F(LoopbackTest, FactorMayChangeBetweenTheFramesOfAReception)
{
    const std::vector<uint8_t> b = {0, 0, 0, 0, 0, 0};
    std::vector<float> x = loopback::render(p, b);
    loopback::append_silence(x, kTail);
    loopback::chain c(p, s);
    ASSERT_TRUE(c.ok());
    const uint32_t hop = s->hop;
    for (size_t at = 0; at < x.size(); at += hop) {
        ASSERT_TRUE(receiver_set_frequency_correction(c.rx(), (at / hop) % 2 == 0 ? 1.0f : 0.997f));
        c.feed(x, hop, at, at + hop);
    }
    EXPECT_EQ(c.payloads(), std::vector<std::vector<uint8_t>>{b});
}

TEST_F(LoopbackTest, NothingArrivesFromSilenceOrNoise)
{
    struct Case {
        const char *what;
        std::vector<float> x;
    };
    std::vector<Case> cases;
    std::vector<float> muted = loopback::render(p, {1, 2, 3, 4, 5, 6}, 0.0f);
    loopback::append_silence(muted, kTail);
    cases.push_back({"a transmission at volume 0", muted});
    cases.push_back({"digital silence", std::vector<float>(3 * 44100, 0.0f)});
    std::mt19937 gen(7);
    for (float level : {0.01f, 0.3f, 1.0f}) {
        std::uniform_real_distribution<float> noise(-level, level);
        std::vector<float> x(10 * 44100);
        for (float &v : x)
            v = noise(gen);
        cases.push_back({"white noise", x});
    }
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        c.feed(k.x);
        EXPECT_TRUE(c.events().empty());
    }
}

} // namespace
