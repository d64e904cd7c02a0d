// Sending, random payloads, payload checks and the offline render.
#include "sdk/payload.h"

#include "sdk/handle.h"
#include "sdk/sdk_harness.h"

namespace {

using namespace sdk_test;

class SendTest : public SdkTest {};

const std::vector<uint8_t> kSix{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
const std::vector<uint8_t> kTwo{0xAB, 0xCD};

// Samples of a 6-byte transmission of the standard config: 23 slots of 3845.
constexpr size_t kSixByteSamples = 88435;

// Standard timing and tones with payloads of 3 to 6 bytes.
std::string three_to_six_config()
{
    coding_params *coding = new_coding_params(5, 1, 3, 6, 0, 6, 6);
    protocol *p = new_protocol("three", 1, coding, new_default_modulation_params());
    return config_of(p, new_default_decoder_settings());
}

TEST_F(SendTest, ChecksRunInOrder)
{
    const std::string config = standard_config();
    uint8_t bytes[300] = {};
    const struct {
        const char *name;
        bool configured;
        bool start;
        bool second_send;
        const uint8_t *payload;
        size_t length;
        sdk_error code;
        sdk_error valid; // tovan_sdk_is_valid: the length alone
    } cases[] = {
        {"unconfigured", false, false, false, nullptr, 0, TOVAN_SDK_NOT_INITIALISED, TOVAN_SDK_NOT_INITIALISED},
        {"NULL payload before the length", true, true, false, nullptr, 0, TOVAN_SDK_NULL_POINTER,
         TOVAN_SDK_PAYLOAD_TOO_SHORT},
        {"empty", true, true, false, bytes, 0, TOVAN_SDK_PAYLOAD_TOO_SHORT, TOVAN_SDK_PAYLOAD_TOO_SHORT},
        {"one above the maximum", true, true, false, bytes, 7, TOVAN_SDK_PAYLOAD_TOO_LONG, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"256 is not 0", true, true, false, bytes, 256, TOVAN_SDK_PAYLOAD_TOO_LONG, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"257 is not 1", true, true, false, bytes, 257, TOVAN_SDK_PAYLOAD_TOO_LONG, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"length before state", true, false, false, bytes, 7, TOVAN_SDK_PAYLOAD_TOO_LONG, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"STOPPED", true, false, false, bytes, 3, TOVAN_SDK_NOT_RUNNING, TOVAN_SDK_OK},
        {"SENDING", true, true, true, bytes, 3, TOVAN_SDK_ALREADY_SENDING, TOVAN_SDK_OK},
        {"the minimum", true, true, false, bytes, 1, TOVAN_SDK_OK, TOVAN_SDK_OK},
        {"the maximum", true, true, false, bytes, 6, TOVAN_SDK_OK, TOVAN_SDK_OK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *h = new_tovan_sdk();
        if (c.configured) {
            ASSERT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
        }
        if (c.start) {
            ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
        }
        if (c.second_send) {
            ASSERT_EQ(tovan_sdk_send(h, bytes, 2), TOVAN_SDK_OK);
        }
        EXPECT_EQ(tovan_sdk_send(h, c.payload, c.length), c.code);
        EXPECT_EQ(tovan_sdk_is_valid(h, c.payload, c.length), c.valid)
            << "only the length is judged";
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// The state holds the latest event only: a reception of the handle's own
// transmission turns SENDING into RECEIVING while the transmitter still
// plays. A send then must not cut the transmission short.
TEST_F(SendTest, AlreadySendingWhileTheTransmitterPlays)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    ASSERT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_send(h, kSix.data(), kSix.size()), TOVAN_SDK_OK);
    // Bounded: 400 blocks are over 4 s, twice the transmission.
    for (int i = 0; i < 400 && tovan_sdk_get_state(h) == TOVAN_SDK_STATE_SENDING; ++i) {
        ASSERT_EQ(tovan_sdk_process_playthrough(h, 512), TOVAN_SDK_OK);
    }
    ASSERT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RECEIVING);
    EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 0), TOVAN_SDK_STATE_RECEIVING);
    EXPECT_EQ(tovan_sdk_send(h, kTwo.data(), kTwo.size()), TOVAN_SDK_ALREADY_SENDING);
    for (int i = 0; i < 300 && log.of(kind::received).empty(); ++i) {
        ASSERT_EQ(tovan_sdk_process_playthrough(h, 512), TOVAN_SDK_OK);
    }
    const std::vector<event> sent = log.of(kind::sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, kSix);
    EXPECT_EQ(log.count(kind::sending), 1u);
    const std::vector<event> received = log.of(kind::received);
    ASSERT_EQ(received.size(), 1u) << "heard its own transmission with listen-to-self";
    EXPECT_EQ(received[0].payload, kSix);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// The live render across blocks of any size is the offline render, sample
// for sample, and on_sent fires in the call that reaches the end.
TEST_F(SendTest, OfflineRenderMatchesTheLiveRender)
{
    const std::string config = standard_config();
    sdk_handle *h = new_handle(config, true);
    std::vector<float> offline(kSixByteSamples + 5000, 1.0f);
    ASSERT_EQ(tovan_sdk_process_payload(h, kSix.data(), kSix.size(), offline.data(), offline.size()), TOVAN_SDK_OK);
    EXPECT_EQ(std::vector<float>(offline.begin() + kSixByteSamples, offline.end()), std::vector<float>(5000, 0.0f))
        << "silence after the end";
    recorder log;
    log.attach(h);
    for (size_t block : {size_t{1}, size_t{63}, size_t{441}, size_t{4096}, kSixByteSamples}) {
        SCOPED_TRACE(block);
        // A fresh transmitter: its oscillators run on from one transmission
        // into the next.
        ASSERT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_send(h, kSix.data(), kSix.size()), TOVAN_SDK_OK);
        std::vector<float> live;
        std::vector<float> buffer(block);
        size_t sent_in_block_from = SIZE_MAX;
        while (live.size() < offline.size()) {
            const size_t before = log.count(kind::sent);
            ASSERT_EQ(tovan_sdk_process_output(h, buffer.data(), block), TOVAN_SDK_OK);
            if (log.count(kind::sent) > before)
                sent_in_block_from = live.size();
            live.insert(live.end(), buffer.begin(), buffer.end());
        }
        live.resize(offline.size());
        EXPECT_EQ(live, offline);
        // The sample after the last one ends the transmission.
        EXPECT_LE(sent_in_block_from, kSixByteSamples);
        EXPECT_GT(sent_in_block_from + block, kSixByteSamples);
    }
    // The offline render ignores the handle's volume and channel.
    ASSERT_EQ(tovan_sdk_set_volume(h, 0.2f), TOVAN_SDK_OK);
    std::vector<float> quiet(offline.size());
    ASSERT_EQ(tovan_sdk_process_payload(h, kSix.data(), kSix.size(), quiet.data(), quiet.size()), TOVAN_SDK_OK);
    EXPECT_EQ(quiet, offline);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(SendTest, ProcessPayloadChecksBeforeBuilding)
{
    sdk_handle *h = new_handle(standard_config(), false);
    sdk_handle *bare = new_tovan_sdk();
    recorder log;
    log.attach(h);
    uint8_t bytes[300] = {};
    float out[16];
    const struct {
        const char *name;
        sdk_handle *handle;
        const uint8_t *payload;
        size_t length;
        float *output;
        sdk_error code;
    } cases[] = {
        {"NULL handle", nullptr, bytes, 3, out, TOVAN_SDK_NULL_POINTER},
        {"unconfigured", bare, bytes, 3, out, TOVAN_SDK_NOT_INITIALISED},
        {"NULL payload", h, nullptr, 3, out, TOVAN_SDK_NULL_POINTER},
        {"NULL output", h, bytes, 3, nullptr, TOVAN_SDK_NULL_BUFFER},
        {"empty", h, bytes, 0, out, TOVAN_SDK_PAYLOAD_TOO_SHORT},
        {"one above the maximum", h, bytes, 7, out, TOVAN_SDK_PAYLOAD_INVALID},
        {"256 bytes", h, bytes, 256, out, TOVAN_SDK_PAYLOAD_INVALID},
        {"fine while STOPPED", h, bytes, 3, out, TOVAN_SDK_OK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tovan_sdk_process_payload(c.handle, c.payload, c.length, c.output, 16), c.code);
    }
    EXPECT_TRUE(log.events.empty()) << "no callback";
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_STOPPED);
    EXPECT_EQ(del_tovan_sdk(&bare), TOVAN_SDK_MEMORY_LEAK) << "the other handle is still alive";
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(SendTest, RandomPayloadsFollowTheSharedGenerator)
{
    sdk_handle *h = new_handle(standard_config(), false);
    ASSERT_EQ(tovan_sdk_set_random_seed(h, 5489), TOVAN_SDK_OK);
    size_t length = 0;
    uint8_t *payload = tovan_sdk_random_payload(h, &length);
    ASSERT_NE(payload, nullptr);
    ASSERT_EQ(length, 3u) << "1 + 3499211612 mod 6";
    EXPECT_EQ(std::vector<uint8_t>(payload, payload + 3), (std::vector<uint8_t>{0xF6, 0xEE, 0x79}));
    tovan_sdk_free(payload);

    sdk_handle *three = new_handle(three_to_six_config(), false);
    const struct {
        const char *name;
        sdk_handle *handle;
        size_t length;
        bool made;
    } cases[] = {
        {"the maximum", h, 6, true},        {"above the maximum", h, 7, false}, {"256", h, 256, false},
        {"below the minimum", three, 2, false}, {"the minimum", three, 3, true},  {"any", three, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        size_t n = c.length;
        uint8_t *p = tovan_sdk_random_payload(c.handle, &n);
        EXPECT_EQ(p != nullptr, c.made);
        if (c.made) {
            EXPECT_EQ(tovan_sdk_is_valid(c.handle, p, n), TOVAN_SDK_OK);
            EXPECT_TRUE(c.length == 0 || n == c.length);
        } else {
            EXPECT_EQ(n, c.length) << "left as it was";
        }
        tovan_sdk_free(p);
    }
    EXPECT_EQ(tovan_sdk_random_payload(h, nullptr), nullptr);
    EXPECT_EQ(del_tovan_sdk(&three), TOVAN_SDK_MEMORY_LEAK);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(SendTest, HexHelpersKeepToTheLimits)
{
    sdk_handle *h = new_handle(standard_config(), false);
    const uint8_t bytes[3] = {0x0A, 0xFF, 0x10};
    EXPECT_EQ(take_text(sdk_payload_to_hex(h, bytes, 3)), "0aff10");
    EXPECT_EQ(sdk_payload_to_hex(h, nullptr, 3), nullptr);
    EXPECT_EQ(sdk_payload_to_hex(h, bytes, 7), nullptr);
    const struct {
        const char *text;
        bool made;
    } cases[] = {{"0aff10", true}, {"0AFF10", true}, {"0aff1", false}, {"", false},
                 {"0a0b0c0d0e0f10", false}, {"0x", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t *p = sdk_payload_from_hex(h, c.text);
        EXPECT_EQ(p != nullptr, c.made);
        if (p != nullptr) {
            EXPECT_EQ(std::vector<uint8_t>(p, p + 3), std::vector<uint8_t>(bytes, bytes + 3));
        }
        tovan_sdk_free(p);
    }
    size_t n = 99;
    EXPECT_EQ(sdk_copy_payload_bytes(nullptr, &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(sdk_new_payload(h->protocol, 0), nullptr);
    EXPECT_EQ(sdk_new_payload(h->protocol, 256), nullptr);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// Every allocation of a send failed in turn: 1 with nothing loaded, or a
// transmission that plays to its end; on_sending gets its payload either way.
TEST_F(SendTest, ExhaustedMemoryLoadsNothing)
{
    const std::string config = standard_config();
    sdk_handle *h = new_handle(config, true);
    recorder log;
    log.attach(h);
    uint64_t allocations = 0;
    // A send takes a few dozen allocations: the bound only stops a broken
    // send from failing forever.
    for (uint64_t n = 1; n <= 1000; ++n) {
        SCOPED_TRACE(n);
        log.events.clear();
        memory_manager_fail_at(n, true);
        const sdk_error code = tovan_sdk_send(h, kTwo.data(), kTwo.size());
        const uint64_t seen = memory_manager_requests_seen();
        memory_manager_fail_at(0, false);
        if (code == TOVAN_SDK_OK) {
            ASSERT_EQ(log.count(kind::sending), 1u);
            EXPECT_EQ(log.of(kind::sending)[0].payload, kTwo) << "a short heap costs no payload";
            render_all(h, 8192);
            EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RUNNING);
            if (seen < n) {
                allocations = seen;
                break;
            }
            continue;
        }
        ASSERT_EQ(code, TOVAN_SDK_OUT_OF_MEMORY);
        EXPECT_TRUE(log.events.empty());
        EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RUNNING);
        std::vector<float> out(1024, 1.0f);
        ASSERT_EQ(tovan_sdk_process_output(h, out.data(), out.size()), TOVAN_SDK_OK);
        EXPECT_EQ(out, std::vector<float>(1024, 0.0f)) << "nothing loaded";
    }
    EXPECT_GT(allocations, 3u);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

} // namespace
