// The offline render against what a handle plays: at every rate, a freshly
// configured handle plays exactly tovan_sdk_process_payload's samples, and
// another handle decodes both the offline render and later live ones.
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

std::vector<float> play_until_sent(sdk_handle *h, const std::vector<size_t> &blocks)
{
    std::vector<float> out;
    for (size_t i = 0; tovan_sdk_get_state(h) == TOVAN_SDK_STATE_SENDING && out.size() < 10 * 48000; ++i) {
        std::vector<float> block(blocks[i % blocks.size()]);
        EXPECT_EQ(tovan_sdk_process_output(h, block.data(), block.size()), TOVAN_SDK_OK);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Feeds the samples and half a second of silence; returns what was received.
std::vector<bytes> listen(sdk_handle *h, recorder &log, std::vector<float> samples, uint32_t rate)
{
    log.events.clear();
    samples.insert(samples.end(), rate / 2, 0.0f);
    for (size_t at = 0; at < samples.size(); at += 1024) {
        const size_t n = std::min<size_t>(1024, samples.size() - at);
        EXPECT_EQ(tovan_sdk_process_input(h, samples.data() + at, n), TOVAN_SDK_OK);
    }
    return log.received();
}

TEST(OfflineRenderTest, FreshHandlePlaysTheOfflineRender)
{
    const struct {
        const char *name;
        bool config_48000; // else the shipped config
        uint32_t output_rate;
    } cases[] = {
        {"44100", false, 44100},
        {"48000 from the config", true, 48000},
        {"48000 from the setter", false, 48000},
    };
    const std::vector<size_t> blocks{1, 4099, 333, 64};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string config = c.config_48000 ? config_at_rate(48000) : standard_config();
        sdk_handle *a = new_handle(config);
        sdk_handle *b = new_handle(config);
        for (sdk_handle *h : {a, b}) {
            ASSERT_EQ(tovan_sdk_set_input_sample_rate(h, c.output_rate), TOVAN_SDK_OK);
            ASSERT_EQ(tovan_sdk_set_output_sample_rate(h, c.output_rate), TOVAN_SDK_OK);
        }
        ASSERT_EQ(tovan_sdk_set_random_seed(a, 99), TOVAN_SDK_OK);
        const bytes first = random_payload(a), second = random_payload(a);
        recorder log;
        log.attach(b);

        const float seconds = tovan_sdk_get_duration_for_payload_length(a, first.size());
        std::vector<float> offline(static_cast<size_t>(seconds * static_cast<float>(c.output_rate)) + 4096);
        ASSERT_EQ(tovan_sdk_process_payload(a, first.data(), first.size(), offline.data(), offline.size()),
                  TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_send(a, first.data(), first.size()), TOVAN_SDK_OK);
        std::vector<float> live = play_until_sent(a, blocks);
        ASSERT_GE(live.size(), offline.size() - 4096);
        live.resize(offline.size(), 0.0f);
        EXPECT_EQ(live, offline);
        EXPECT_EQ(listen(b, log, offline, c.output_rate), std::vector<bytes>{first});

        // The next transmission goes on from where the oscillators were, so
        // it need not match its offline render; it decodes all the same.
        ASSERT_EQ(tovan_sdk_send(a, second.data(), second.size()), TOVAN_SDK_OK);
        EXPECT_EQ(listen(b, log, play_until_sent(a, blocks), c.output_rate), std::vector<bytes>{second});
        EXPECT_EQ(del_tovan_sdk(&b), TOVAN_SDK_MEMORY_LEAK) << "a is still alive";
        EXPECT_EQ(del_tovan_sdk(&a), TOVAN_SDK_OK);
    }
}

} // namespace
