// Information getters: protocol identity, durations, the info text and the
// state of each channel.
#include "sdk/sdk_harness.h"

namespace {

using namespace sdk_test;

class InfoTest : public SdkTest {};

TEST_F(InfoTest, InfoTextDescribesTheConfig)
{
    const struct {
        const char *name;
        std::string config;
        const char *text;
    } cases[] = {
        {"standard", standard_config(),
         "Tovan SDK with \"standard\" config v0 [max 6 bytes in 2.01s], supporting 1 channel(s)"},
        {"linear", linear_config(3),
         "Tovan SDK with \"linear\" config v3 [max 6 bytes in 2.01s], supporting 3 channel(s)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *h = new_tovan_sdk();
        EXPECT_EQ(tovan_sdk_get_info(h), nullptr);
        EXPECT_EQ(tovan_sdk_get_info(nullptr), nullptr);
        ASSERT_EQ(tovan_sdk_set_config(h, c.config.c_str()), TOVAN_SDK_OK);
        char *text = tovan_sdk_get_info(h);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
        tovan_sdk_free(text);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK) << "the text was given back";
    }
}

TEST_F(InfoTest, ProtocolFiguresAndDurations)
{
    sdk_handle *h = new_handle(linear_config(3), false);
    EXPECT_STREQ(tovan_sdk_get_protocol_name(h), "linear");
    EXPECT_EQ(tovan_sdk_get_protocol_version(h), 3);
    EXPECT_EQ(tovan_sdk_get_channel_count(h), 3);
    EXPECT_EQ(tovan_sdk_get_max_payload_length(h), 6u);
    const struct {
        size_t length;
        float seconds;
    } durations[] = {{0, -1.0f}, {1, 1.3080001f}, {6, 2.0056005f}, {7, -2.0f}, {256, -2.0f}, {257, -2.0f}};
    for (const auto &d : durations) {
        SCOPED_TRACE(d.length);
        EXPECT_EQ(tovan_sdk_get_duration_for_payload_length(h, d.length), d.seconds);
    }
    sdk_handle *bare = new_tovan_sdk();
    EXPECT_STREQ(tovan_sdk_get_protocol_name(bare), "") << "an empty text, not NULL";
    EXPECT_EQ(tovan_sdk_get_duration_for_payload_length(bare, 6), 0.0f);
    EXPECT_EQ(del_tovan_sdk(&bare), TOVAN_SDK_MEMORY_LEAK);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(InfoTest, StateOfEachChannel)
{
    sdk_handle *h = new_handle(linear_config(3), false);
    ASSERT_EQ(tovan_sdk_set_transmission_channel(h, 1), TOVAN_SDK_OK);
    const auto states = [h] {
        std::vector<sdk_state> all;
        for (int channel = 0; channel < 256; ++channel)
            all.push_back(tovan_sdk_get_state_for_channel(h, static_cast<uint8_t>(channel)));
        return all;
    };
    const auto expected = [](sdk_state c0, sdk_state c1, sdk_state c2, sdk_state beyond) {
        std::vector<sdk_state> all(256, beyond);
        all[0] = c0;
        all[1] = c1;
        all[2] = c2;
        return all;
    };
    EXPECT_EQ(states(), expected(1, 1, 1, 1)) << "STOPPED everywhere, channels beyond the protocol too";
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    EXPECT_EQ(states(), expected(2, 2, 2, 0));
    const uint8_t payload[2] = {1, 2};
    ASSERT_EQ(tovan_sdk_send(h, payload, 2), TOVAN_SDK_OK);
    EXPECT_EQ(states(), expected(2, 3, 2, 0));
    render_all(h, 4096);
    EXPECT_EQ(states(), expected(2, 2, 2, 0));
    // The offline render goes out on channel 0.
    feed_until(h, payload_audio(h, {5, 6}), 512, TOVAN_SDK_STATE_RECEIVING);
    EXPECT_EQ(states(), expected(4, 2, 2, 0));
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

} // namespace
