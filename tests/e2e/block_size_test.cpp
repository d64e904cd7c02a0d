// One recording heard in blocks of any size, from single samples to the
// most the input takes at once, gives the same callbacks in the same order.
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

// Three transmissions in steady noise: a clean one, one whose middle is
// another payload's, and a quiet one.
std::vector<float> recording(const std::string &config, const std::vector<bytes> &payloads)
{
    sdk_handle *h = new_handle(config, false);
    std::mt19937 random(77);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> out(22050, 0.0f);
    const float volume[3] = {0.5f, 0.5f, 0.05f};
    for (size_t i = 0; i < 3; ++i) {
        std::vector<float> x(static_cast<size_t>(tovan_sdk_get_duration_for_payload_length(h, payloads[i].size()) *
                                                 44100.0f));
        EXPECT_EQ(tovan_sdk_process_payload(h, payloads[i].data(), payloads[i].size(), x.data(), x.size()),
                  TOVAN_SDK_OK);
        for (float &s : x)
            s *= volume[i];
        if (i == 1) {
            // A third of the symbols from another payload of the same
            // length: more damage than the parity repairs.
            bytes other = payloads[i];
            for (uint8_t &b : other)
                b = static_cast<uint8_t>(~b);
            std::vector<float> y(x.size());
            EXPECT_EQ(tovan_sdk_process_payload(h, other.data(), other.size(), y.data(), y.size()), TOVAN_SDK_OK);
            const auto from = static_cast<std::ptrdiff_t>(x.size() * 45 / 100);
            const auto to = static_cast<std::ptrdiff_t>(x.size() * 75 / 100);
            std::transform(y.begin() + from, y.begin() + to, x.begin() + from, [](float v) { return 0.5f * v; });
        }
        out.insert(out.end(), x.begin(), x.end());
        out.insert(out.end(), 15000 + 1000 * i, 0.0f);
    }
    for (float &s : out)
        s = std::clamp(s + 0.01f * noise(random), -1.0f, 1.0f);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    return out;
}

// Every callback heard, without the application's clock.
std::vector<event> hear(const std::string &config, const std::vector<float> &audio, size_t block, bool shorts)
{
    sdk_handle *h = new_handle(config);
    recorder log;
    log.attach(h);
    std::vector<int16_t> audio16(audio.size());
    for (size_t i = 0; i < audio.size(); ++i)
        audio16[i] = static_cast<int16_t>(std::clamp(audio[i] * 32768.0f, -32768.0f, 32767.0f));
    for (size_t at = 0; at < audio.size(); at += block) {
        const size_t n = std::min(block, audio.size() - at);
        if (shorts) {
            EXPECT_EQ(tovan_sdk_process_shorts_input(h, audio16.data() + at, n), TOVAN_SDK_OK);
        } else {
            EXPECT_EQ(tovan_sdk_process_input(h, audio.data() + at, n), TOVAN_SDK_OK);
        }
    }
    EXPECT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    for (event &e : log.events)
        e.at = 0;
    return log.events;
}

TEST(BlockSizeTest, AnyBlocksGiveTheSameCallbacks)
{
    const std::string config = standard_config();
    const std::vector<bytes> payloads{{0xCD, 0xEF}, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}, {0x42}};
    const std::vector<float> audio = recording(config, payloads);
    // The most the input FIFO (64 frames of 2048) takes in one call once a
    // frame has been consumed.
    const size_t most = 64512;
    const struct {
        bool shorts;
        std::vector<size_t> blocks;
    } cases[] = {{false, {1, 4096, most}}, {true, {63, 1000}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shorts ? "int16" : "float");
        const std::vector<event> reference = hear(config, audio, 2048, c.shorts);
        std::vector<event> received;
        for (const event &e : reference)
            if (e.what == kind::received)
                received.push_back(e);
        ASSERT_EQ(received.size(), 3u);
        EXPECT_EQ(received[0].payload, payloads[0]);
        EXPECT_FALSE(received[1].has_payload) << "damaged beyond repair";
        EXPECT_EQ(received[2].payload, payloads[2]);
        for (size_t block : c.blocks) {
            SCOPED_TRACE(block);
            EXPECT_EQ(hear(config, audio, block, c.shorts), reference);
        }
    }
}

} // namespace
