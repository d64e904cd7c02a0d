// Setters and getters, and the settings' effects on muting and receptions.
#include "modem/receiver/receiver.h"
#include "sdk/handle.h"
#include "sdk/sdk_harness.h"

#include <limits>

namespace {

using namespace sdk_test;

class SettingsTest : public SdkTest {};

const std::vector<uint8_t> kSix{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST_F(SettingsTest, SettersJudgeTheirValues)
{
    sdk_handle *h = new_handle(standard_config(), false);
    sdk_handle *bare = new_tovan_sdk();
    using getter = double (*)(sdk_handle *);
    const getter volume = [](sdk_handle *x) { return double(tovan_sdk_get_volume(x)); };
    const getter input = [](sdk_handle *x) { return double(tovan_sdk_get_input_sample_rate(x)); };
    const getter output = [](sdk_handle *x) { return double(tovan_sdk_get_output_sample_rate(x)); };
    const getter channel = [](sdk_handle *x) { return double(tovan_sdk_get_transmission_channel(x)); };
    const getter correction = [](sdk_handle *x) { return double(receiver_frequency_correction(x->receivers[0])); };
    const struct {
        const char *name;
        sdk_error (*set)(sdk_handle *);
        sdk_error code;
        getter get;
        double after; // what the getter reads once the setter ran
    } cases[] = {
        {"volume 0", [](sdk_handle *x) { return tovan_sdk_set_volume(x, 0.0f); }, TOVAN_SDK_OK, volume, 0.0},
        {"volume 1", [](sdk_handle *x) { return tovan_sdk_set_volume(x, 1.0f); }, TOVAN_SDK_OK, volume, 1.0},
        {"volume 0.25", [](sdk_handle *x) { return tovan_sdk_set_volume(x, 0.25f); }, TOVAN_SDK_OK, volume, 0.25},
        {"volume -0.01", [](sdk_handle *x) { return tovan_sdk_set_volume(x, -0.01f); }, TOVAN_SDK_INVALID_VOLUME,
         volume, 0.25},
        {"volume 1.01", [](sdk_handle *x) { return tovan_sdk_set_volume(x, 1.01f); }, TOVAN_SDK_INVALID_VOLUME, volume,
         0.25},
        {"volume NaN", [](sdk_handle *x) { return tovan_sdk_set_volume(x, kNaN); }, TOVAN_SDK_INVALID_VOLUME, volume,
         0.25},
        {"input rate 0", [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 0); },
         TOVAN_SDK_INVALID_SAMPLE_RATE, input, 44100},
        {"input rate, same", [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 44100); }, TOVAN_SDK_OK,
         input, 44100},
        // The band needs twice its top tone (10548.081 Hz) plus one bin of rate / 2048.
        {"input rate 21106", [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 21106); },
         TOVAN_SDK_INVALID_SAMPLE_RATE, input, 44100},
        {"input rate 21107", [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 21107); }, TOVAN_SDK_OK,
         input, 21107},
        {"input rate 48000", [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 48000); }, TOVAN_SDK_OK,
         input, 48000},
        {"output rate 0", [](sdk_handle *x) { return tovan_sdk_set_output_sample_rate(x, 0); },
         TOVAN_SDK_INVALID_SAMPLE_RATE, output, 44100},
        // Twice the top tone plus one tone step (627 Hz).
        {"output rate 21723", [](sdk_handle *x) { return tovan_sdk_set_output_sample_rate(x, 21723); },
         TOVAN_SDK_INVALID_SAMPLE_RATE, output, 44100},
        {"output rate 21724", [](sdk_handle *x) { return tovan_sdk_set_output_sample_rate(x, 21724); }, TOVAN_SDK_OK,
         output, 21724},
        {"channel 1 of 1", [](sdk_handle *x) { return tovan_sdk_set_transmission_channel(x, 1); },
         TOVAN_SDK_INVALID_CHANNEL, channel, 0},
        {"channel 0", [](sdk_handle *x) { return tovan_sdk_set_transmission_channel(x, 0); }, TOVAN_SDK_OK, channel, 0},
        {"correction 1.02", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, 1.02f); }, TOVAN_SDK_OK,
         correction, 1.02f},
        {"correction 0.5", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, 0.5f); }, TOVAN_SDK_OK,
         correction, 0.5},
        {"correction 1.5", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, 1.5f); }, TOVAN_SDK_OK,
         correction, 1.5},
        {"correction 2.0", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, 2.0f); },
         TOVAN_SDK_INVALID_FREQUENCY_CORRECTION, correction, 1.5},
        {"correction 0.49", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, 0.49f); },
         TOVAN_SDK_INVALID_FREQUENCY_CORRECTION, correction, 1.5},
        {"correction NaN", [](sdk_handle *x) { return tovan_sdk_set_frequency_correction(x, kNaN); },
         TOVAN_SDK_INVALID_FREQUENCY_CORRECTION, correction, 1.5},
        {"a new input rate resets the correction",
         [](sdk_handle *x) { return tovan_sdk_set_input_sample_rate(x, 44100); }, TOVAN_SDK_OK, correction, 1.0},
        {"listen-to-self", [](sdk_handle *x) { return tovan_sdk_set_listen_to_self(x, true); }, TOVAN_SDK_OK,
         [](sdk_handle *x) { return double(tovan_sdk_get_listen_to_self(x)); }, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.set(h), c.code);
        EXPECT_EQ(c.get(h), c.after);
    }
    // The flag needs no configuration, and a configuration keeps it.
    EXPECT_EQ(tovan_sdk_set_listen_to_self(bare, true), TOVAN_SDK_OK);
    const std::string config = standard_config();
    ASSERT_EQ(tovan_sdk_set_config(bare, config.c_str()), TOVAN_SDK_OK);
    EXPECT_TRUE(tovan_sdk_get_listen_to_self(bare));
    EXPECT_EQ(del_tovan_sdk(&bare), TOVAN_SDK_MEMORY_LEAK);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// Every payload callback names the channel of its transmission or
// reception: a handle that hears itself on either band of two. Channel 2
// does not exist.
TEST_F(SettingsTest, CallbacksNameTheChannelOfEachBand)
{
    const std::string config = linear_config(2);
    for (uint8_t channel : {0, 1}) {
        SCOPED_TRACE(int(channel));
        sdk_handle *h = new_handle(config, true);
        EXPECT_EQ(tovan_sdk_set_transmission_channel(h, 2), TOVAN_SDK_INVALID_CHANNEL);
        ASSERT_EQ(tovan_sdk_set_transmission_channel(h, channel), TOVAN_SDK_OK);
        EXPECT_EQ(tovan_sdk_get_transmission_channel(h), channel);
        ASSERT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);
        recorder log;
        log.attach(h);
        ASSERT_EQ(tovan_sdk_send(h, kSix.data(), kSix.size()), TOVAN_SDK_OK);
        // Bounded: 600 blocks are about 7 s, over three transmissions.
        for (int i = 0; i < 600 && log.of(kind::received).empty(); ++i)
            ASSERT_EQ(tovan_sdk_process_playthrough(h, 512), TOVAN_SDK_OK);
        const std::vector<event> received = log.of(kind::received);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].payload, kSix);
        for (kind k : {kind::sending, kind::sent, kind::receiving, kind::received}) {
            ASSERT_EQ(log.of(k).size(), 1u) << int(k);
            EXPECT_EQ(log.of(k)[0].channel, channel) << int(k);
        }
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// The end of a transmission unmutes the receiver its start muted, whatever
// the transmission channel or listen-to-self became meanwhile; on_sent and
// the per-channel state name the channel the transmission went out on.
TEST_F(SettingsTest, EndOfTransmissionUnmutesTheReceiverItMuted)
{
    const struct {
        const char *name;
        void (*meanwhile)(sdk_handle *);
    } cases[] = {
        {"channel changed", [](sdk_handle *h) { EXPECT_EQ(tovan_sdk_set_transmission_channel(h, 1), TOVAN_SDK_OK); }},
        {"listen-to-self set", [](sdk_handle *h) { EXPECT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK); }},
        {"nothing changed", [](sdk_handle *) {}},
    };
    const std::string config = linear_config(2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *h = new_handle(config, true);
        ASSERT_EQ(tovan_sdk_set_transmission_channel(h, 0), TOVAN_SDK_OK);
        recorder log;
        log.attach(h);
        ASSERT_EQ(tovan_sdk_send(h, kSix.data(), kSix.size()), TOVAN_SDK_OK);
        EXPECT_EQ(receiver_state(h->receivers[0]), RECEIVER_STATE_STOPPED);
        std::vector<float> out(10000);
        ASSERT_EQ(tovan_sdk_process_output(h, out.data(), out.size()), TOVAN_SDK_OK);
        c.meanwhile(h);
        EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 0), TOVAN_SDK_STATE_SENDING);
        EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 1), TOVAN_SDK_STATE_RUNNING);
        render_all(h, 4096);
        const std::vector<event> sent = log.of(kind::sent);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].channel, 0u) << "the channel it went out on";
        EXPECT_EQ(receiver_state(h->receivers[0]), RECEIVER_STATE_LISTENING);
        EXPECT_EQ(receiver_state(h->receivers[1]), RECEIVER_STATE_LISTENING);
        // Channel 0 hears again: the offline render goes out on channel 0.
        feed(h, payload_audio(h, kSix), 4096);
        const std::vector<event> received = log.of(kind::received);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].payload, kSix);
        EXPECT_EQ(received[0].channel, 0u);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// A new input rate drops receptions in progress; the state must not stay
// RECEIVING for a reception that can never end.
TEST_F(SettingsTest, NewInputRateEndsReceptions)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    const std::vector<float> audio = payload_audio(h, kSix);
    const size_t fed = feed_until(h, audio, 1024, TOVAN_SDK_STATE_RECEIVING);
    log.events.clear();
    ASSERT_EQ(tovan_sdk_set_input_sample_rate(h, 48000), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RUNNING);
    EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 0), TOVAN_SDK_STATE_RUNNING);
    const std::vector<event> expected{state_event(TOVAN_SDK_STATE_RECEIVING, TOVAN_SDK_STATE_RUNNING,
                                                  TOVAN_SDK_STATE_RECEIVING)};
    EXPECT_EQ(log.events, expected) << "no on_received for the dropped reception";
    // Back at the old rate, a whole transmission is received again.
    ASSERT_EQ(tovan_sdk_set_input_sample_rate(h, 44100), TOVAN_SDK_OK);
    std::vector<float> rest(audio.begin() + static_cast<std::ptrdiff_t>(fed), audio.end());
    feed(h, rest, 4096);
    feed(h, audio, 4096);
    ASSERT_EQ(log.count(kind::received), 1u);
    EXPECT_EQ(log.of(kind::received)[0].payload, kSix);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

} // namespace
