// A handle that hears its own loudspeaker, as an application drives it: a
// run of random payloads, the next sent once the last came back, through
// each audio path, at 44.1 and 48 kHz, in block sizes that change from call
// to call.
#include "e2e/e2e_harness.h"

#include <cmath>

namespace {

using namespace e2e;

// How a case reaches its sample rate.
enum class rate_setup {
    standard,      // the shipped config: 44100 Hz
    config_48000,  // a config whose receiver settings say 48000
    setters_48000, // the shipped config, then both sample-rate setters
};

struct loopback_case {
    const char *name;
    rate_setup rate;
    path audio;
    std::vector<size_t> blocks;
};

std::ostream &operator<<(std::ostream &os, const loopback_case &c)
{
    return os << c.name;
}

class LoopbackTest : public ::testing::TestWithParam<loopback_case> {};

uint32_t rate_of(rate_setup r)
{
    return r == rate_setup::standard ? 44100u : 48000u;
}

sdk_handle *handle_for(rate_setup r)
{
    sdk_handle *h = new_handle(r == rate_setup::config_48000 ? config_at_rate(48000) : standard_config());
    if (r == rate_setup::setters_48000) {
        EXPECT_EQ(tovan_sdk_set_input_sample_rate(h, 48000), TOVAN_SDK_OK);
        EXPECT_EQ(tovan_sdk_set_output_sample_rate(h, 48000), TOVAN_SDK_OK);
    }
    return h;
}

TEST_P(LoopbackTest, EveryPayloadComesBack)
{
    const loopback_case &c = GetParam();
    sdk_handle *h = handle_for(c.rate);
    const uint32_t rate = rate_of(c.rate);
    ASSERT_EQ(tovan_sdk_get_input_sample_rate(h), rate);
    ASSERT_EQ(tovan_sdk_get_output_sample_rate(h), rate);
    ASSERT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_set_random_seed(h, static_cast<uint32_t>(c.blocks[0] * 7 + c.blocks.size())), TOVAN_SDK_OK);

    // The shortest and the longest payload, then random lengths.
    const size_t longest = tovan_sdk_get_max_payload_length(h);
    std::vector<bytes> payloads{random_payload(h, 1), random_payload(h, longest)};
    for (int i = 0; i < 3; ++i)
        payloads.push_back(random_payload(h));

    recorder log;
    log.attach(h);
    audio_loop loop(h, c.audio, c.blocks);
    size_t sent = 0;
    size_t last_progress = 0;
    const size_t patience = 4 * rate; // far more than a transmission and its decision
    while (log.count(kind::received) < payloads.size() && loop.played() - last_progress < patience) {
        log.clock = loop.played();
        if (log.count(kind::received) == sent && sent < payloads.size()) {
            ASSERT_EQ(tovan_sdk_send(h, payloads[sent].data(), payloads[sent].size()), TOVAN_SDK_OK);
            ++sent;
            last_progress = loop.played();
        }
        ASSERT_EQ(loop.step(), TOVAN_SDK_OK);
    }
    EXPECT_EQ(log.received(), payloads);
    EXPECT_EQ(log.count(kind::sent), payloads.size());
    for (const event &e : log.events)
        EXPECT_EQ(e.channel, 0u);

    // Each transmission lasted as long as the protocol says at this rate, to
    // within a block: the output really runs at the rate reported.
    const std::vector<event> starts = log.of(kind::sending), ends = log.of(kind::sent);
    const size_t block = *std::max_element(c.blocks.begin(), c.blocks.end());
    for (size_t i = 0; i < std::min(starts.size(), ends.size()); ++i) {
        SCOPED_TRACE(i);
        const double expected =
            static_cast<double>(tovan_sdk_get_duration_for_payload_length(h, starts[i].payload.size())) * rate;
        EXPECT_NEAR(static_cast<double>(ends[i].at - starts[i].at), expected, static_cast<double>(block) + 0.01 * rate);
    }
    EXPECT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// Block cycles mix sizes with no common factor with the hop, the FFT size or
// the slot length; one includes single samples.
INSTANTIATE_TEST_SUITE_P(
    AudioPathsAndRates, LoopbackTest,
    ::testing::Values(
        loopback_case{"process_44100", rate_setup::standard, path::process, {1013}},
        loopback_case{"shorts_44100", rate_setup::standard, path::shorts, {333, 4099, 1, 2048}},
        loopback_case{"playthrough_44100", rate_setup::standard, path::playthrough, {441, 17, 3001}},
        loopback_case{"process_48000_config", rate_setup::config_48000, path::process, {960, 4097, 63}},
        loopback_case{"shorts_48000_config", rate_setup::config_48000, path::shorts, {1201}},
        loopback_case{"playthrough_48000_config", rate_setup::config_48000, path::playthrough, {1, 7, 4099, 500}},
        loopback_case{"process_48000_setters", rate_setup::setters_48000, path::process, {777, 1501}},
        loopback_case{"shorts_48000_setters", rate_setup::setters_48000, path::shorts, {2047, 129}},
        loopback_case{"playthrough_48000_setters", rate_setup::setters_48000, path::playthrough, {1023}}),
    [](const ::testing::TestParamInfo<loopback_case> &info) { return std::string(info.param.name); });

} // namespace
