#include "sdk/config.h"

#include "modem/receiver/decoder_settings.h"
#include "runtime/random.h"
#include "sdk/config_text.h"
#include "sdk/handle.h"
#include "sdk/sdk_harness.h"
#include "support/hex_vector.h"
#include "support/memory_fixture.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using namespace sdk_test;

class ConfigTest : public SdkTest {};

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<uint8_t> decode(const std::string &text)
{
    uint8_t *bytes = nullptr;
    uint64_t length = 0;
    EXPECT_EQ(config_text_decode(text.c_str(), &bytes, &length), CONFIG_TEXT_OK);
    std::vector<uint8_t> out(bytes, bytes + length);
    tracked_free(bytes);
    return out;
}

std::string encode(const std::vector<uint8_t> &bytes)
{
    return take_text(config_text_encode(bytes.data(), bytes.size()));
}

// The standard settings with one field changed, as a whole config string.
std::string settings_variant(void (*change)(decoder_settings *))
{
    decoder_settings *s = new_default_decoder_settings();
    change(s);
    return config_of(new_default_protocol(), s);
}

// The standard protocol with one modulation field changed behind the
// constructor's back, as a whole config string.
std::string modulation_variant(void (*change)(modulation_params *))
{
    protocol *p = new_default_protocol();
    change(p->modulation);
    return config_of(p, new_default_decoder_settings());
}

TEST_F(ConfigTest, StandardFileIsWhatTheWritersProduce)
{
    const std::string file = read_file(TOVAN_SOURCE_DIR "/examples/standard.config");
    const std::string written = standard_config();
    EXPECT_EQ(file, written) << "regenerate examples/standard.config from sdk_standard_config_text";
    // Format 6: the 77-byte protocol part and the 1464-byte settings part
    // behind the format byte make 1542 bytes, 2056 characters without padding.
    EXPECT_EQ(written.size(), 2056u);
    EXPECT_EQ(written.rfind("BghzdGFuZGFyZAAFAQEGAAYGAADcRAAAAAABAAAA", 0), 0u);
    const std::vector<uint8_t> bytes = decode(written);
    ASSERT_EQ(bytes.size(), 1542u);
    EXPECT_EQ(bytes[0], 6);

    sdk_handle *h = new_handle(file, false);
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_STOPPED);
    EXPECT_STREQ(tovan_sdk_get_protocol_name(h), "standard");
    EXPECT_EQ(tovan_sdk_get_output_sample_rate(h), 44100u);
    EXPECT_EQ(tovan_sdk_get_input_sample_rate(h), 44100u);
    EXPECT_EQ(tovan_sdk_get_transmission_channel(h), 0);
    EXPECT_EQ(tovan_sdk_get_volume(h), 1.0f);
    // Parsing gives back records equal to the defaults.
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    EXPECT_TRUE(protocol_equals(h->protocol, p));
    EXPECT_TRUE(decoder_settings_equals(h->decoder_settings, s));
    del_protocol(p);
    del_decoder_settings(s);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(ConfigTest, TextsGiveTheirCodesInCheckOrder)
{
    const std::string standard = standard_config();
    std::vector<uint8_t> bytes = decode(standard);
    const auto with_format = [&](uint8_t format) {
        std::vector<uint8_t> b = bytes;
        b[0] = format;
        return encode(b);
    };
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - 1);
    std::vector<uint8_t> inside_protocol(bytes.begin(), bytes.begin() + 40);
    // Format 5: the protocol part of that format, then the same settings part.
    std::vector<uint8_t> five{5};
    const std::vector<uint8_t> protocol5 = load_hex_vector("protocol/standard_format5.hex");
    ASSERT_EQ(protocol5.size(), 69u);
    five.insert(five.end(), protocol5.begin(), protocol5.end());
    five.insert(five.end(), bytes.begin() + 1 + 77, bytes.end());

    const struct {
        const char *name;
        std::string text;
        sdk_error code;
    } cases[] = {
        {"standard", standard, TOVAN_SDK_OK},
        {"format 5", encode(five), TOVAN_SDK_OK},
        {"space", standard + " ", TOVAN_SDK_INVALID_CONFIG_CHARACTER},
        {"minus", "-" + standard, TOVAN_SDK_INVALID_CONFIG_CHARACTER},
        {"underscore", standard.substr(0, 8) + "_" + standard.substr(9), TOVAN_SDK_INVALID_CONFIG_CHARACTER},
        {"byte above 127", "\xC3" + standard, TOVAN_SDK_INVALID_CONFIG_CHARACTER},
        {"newline", standard + "\n", TOVAN_SDK_INVALID_CONFIG_CHARACTER},
        {"empty", "", TOVAN_SDK_INVALID_CONFIG},
        {"one character", "A", TOVAN_SDK_INVALID_CONFIG},
        {"padding only", "====", TOVAN_SDK_INVALID_CONFIG},
        {"unused bits set", "Bh==", TOVAN_SDK_INVALID_CONFIG},
        {"padding inside", "Bg==" + standard, TOVAN_SDK_INVALID_CONFIG},
        {"length not a multiple of 4", standard.substr(1), TOVAN_SDK_INVALID_CONFIG},
        {"format 0", "AA==", TOVAN_SDK_INVALID_CONFIG_VERSION},
        {"format 4", with_format(4), TOVAN_SDK_INVALID_CONFIG_VERSION},
        {"format 7", with_format(7), TOVAN_SDK_INVALID_CONFIG_VERSION},
        {"format 6, empty body", "Bg==", TOVAN_SDK_INTERNAL_ERROR},
        {"cut inside the protocol part", encode(inside_protocol), TOVAN_SDK_INTERNAL_ERROR},
        {"cut by one byte", encode(shorter), TOVAN_SDK_INTERNAL_ERROR},
        {"one byte left over", encode(longer), TOVAN_SDK_INVALID_CONFIG},
        {"FFT size 1000", settings_variant([](decoder_settings *s) { s->fft_size = 1000; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"hop above the FFT size", settings_variant([](decoder_settings *s) { s->fft_size = 128; s->hop = 200; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"time shift too wide", settings_variant([](decoder_settings *s) { s->detectors[0].time_shift = 100; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"rate too low for the tones", settings_variant([](decoder_settings *s) { s->sample_rate = 16000; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"NaN noise smoothing", settings_variant([](decoder_settings *s) { s->detectors[1].noise_smoothing = NAN; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"NaN noise subtraction",
         settings_variant([](decoder_settings *s) { s->detectors[2].noise_subtraction = NAN; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"noise subtraction above 1",
         settings_variant([](decoder_settings *s) { s->detectors[4].noise_subtraction = 1.25f; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"NaN channel gap", modulation_variant([](modulation_params *m) { m->channel_gap = NAN; }),
         TOVAN_SDK_INTERNAL_ERROR},
        {"NaN tone spacing", modulation_variant([](modulation_params *m) { m->tone_spacing = NAN; }),
         TOVAN_SDK_INTERNAL_ERROR},
    };
    sdk_handle *h = new_tovan_sdk();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(tovan_sdk_set_config(nullptr, standard.c_str()), TOVAN_SDK_NULL_POINTER);
    EXPECT_EQ(tovan_sdk_set_config(h, nullptr), TOVAN_SDK_NULL_POINTER);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tovan_sdk_set_config(h, c.text.c_str()), c.code);
        EXPECT_EQ(sdk_is_initialised(h), c.code == TOVAN_SDK_OK);
        EXPECT_EQ(h->protocol == nullptr, c.code != TOVAN_SDK_OK) << "nothing half built";
        EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_STOPPED) << "set by the first case, then kept";
    }
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(ConfigTest, EncoderRoundTripsEveryPart)
{
    sdk_handle *h = new_tovan_sdk(); // first, so the records below are counted
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    s->detectors[1].time_shift = -7;
    s->hop = 32;
    const std::string text = take_text(sdk_config_to_text(p, s));
    ASSERT_EQ(tovan_sdk_set_config(h, text.c_str()), TOVAN_SDK_OK);
    EXPECT_TRUE(decoder_settings_equals(h->decoder_settings, s));
    EXPECT_TRUE(protocol_equals(h->protocol, p));
    EXPECT_EQ(sdk_config_to_text(nullptr, s), nullptr);
    EXPECT_EQ(sdk_config_to_text(p, nullptr), nullptr);
    del_protocol(p);
    del_decoder_settings(s);
    EXPECT_FALSE(config_has_valid_charset(nullptr));
    EXPECT_TRUE(config_has_valid_charset(""));
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A failed re-configuration leaves the handle without a pipeline while its
// state value stays; the next good one reports that old state.
TEST_F(ConfigTest, FailedReconfigurationUnconfiguresButKeepsTheState)
{
    const std::string standard = standard_config();
    sdk_handle *h = new_handle(standard, true);
    recorder log;
    log.attach(h);
    ASSERT_EQ(tovan_sdk_set_config(h, "BA=="), TOVAN_SDK_INVALID_CONFIG_VERSION);
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RUNNING);
    float out[4];
    const uint8_t payload[3] = {1, 2, 3};
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_NOT_INITIALISED);
    EXPECT_EQ(tovan_sdk_send(h, payload, 3), TOVAN_SDK_NOT_INITIALISED);
    EXPECT_EQ(tovan_sdk_process_output(h, out, 4), TOVAN_SDK_NOT_INITIALISED);
    EXPECT_EQ(tovan_sdk_get_volume(h), -1.0f);
    EXPECT_TRUE(log.events.empty());
    ASSERT_EQ(tovan_sdk_set_config(h, standard.c_str()), TOVAN_SDK_OK);
    ASSERT_EQ(log.events.size(), 1u) << "the callbacks survived";
    EXPECT_EQ(log.events[0], state_event(TOVAN_SDK_STATE_RUNNING, TOVAN_SDK_STATE_STOPPED, TOVAN_SDK_STATE_RUNNING));
    // Configured again while STOPPED: reported with equal old and new states.
    ASSERT_EQ(tovan_sdk_set_config(h, standard.c_str()), TOVAN_SDK_OK);
    const sdk_state stopped = TOVAN_SDK_STATE_STOPPED;
    EXPECT_EQ(log.events.back(), state_event(stopped, stopped, stopped));
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(ConfigTest, ChannelIsDrawnFromTheSharedGenerator)
{
    const struct {
        uint8_t channels;
        int8_t channel; // first MT19937 output after seeding 5489 is 3499211612
    } cases[] = {{1, 0}, {2, 0}, {3, 2}, {8, 4}};
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.channels));
        const std::string config = linear_config(c.channels);
        sdk_handle *h = new_tovan_sdk();
        ASSERT_EQ(tovan_sdk_set_random_seed(h, 5489), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
        EXPECT_EQ(tovan_sdk_get_channel_count(h), c.channels);
        EXPECT_EQ(tovan_sdk_get_transmission_channel(h), c.channel);
        EXPECT_EQ(random_next_u32(), c.channels >= 2 ? 581869302u : 3499211612u) << "one draw, or none";
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// Every allocation of a configuration failed in turn: the result is 1 or 3,
// the handle is left unconfigured, and nothing leaks.
TEST(ConfigSweepTest, AllocationFailuresLeaveTheHandleUnconfigured)
{
    const std::string standard = standard_config();
    const std::string twin = linear_config(2);
    for (const std::string *config : {&standard, &twin}) {
        const uint64_t allocations = sweep_allocation_failures([config] {
            sdk_handle *h = new_tovan_sdk();
            if (h == nullptr)
                return false;
            const sdk_error code = tovan_sdk_set_config(h, config->c_str());
            EXPECT_TRUE(code == TOVAN_SDK_OK || code == TOVAN_SDK_OUT_OF_MEMORY ||
                        code == TOVAN_SDK_INTERNAL_ERROR)
                << code;
            EXPECT_EQ(sdk_is_initialised(h), code == TOVAN_SDK_OK);
            EXPECT_EQ(h->initialised, code == TOVAN_SDK_OK);
            EXPECT_EQ(tovan_sdk_get_state(h), code == TOVAN_SDK_OK ? TOVAN_SDK_STATE_STOPPED
                                                                    : TOVAN_SDK_STATE_NOT_CONFIGURED);
            const sdk_error deleted = del_tovan_sdk(&h);
            EXPECT_EQ(deleted, TOVAN_SDK_OK);
            return code == TOVAN_SDK_OK && deleted == TOVAN_SDK_OK;
        });
        EXPECT_GT(allocations, 20u);
    }
}

} // namespace
