// Two handles in one room, each hearing the other's loudspeaker faintly,
// late and with noise: a request and reply protocol where each side answers
// from on_received, as a pairing exchange between two devices would.
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

// The reply to a request: its bytes reversed, each one increased by one.
bytes reply_to(const bytes &request)
{
    bytes out(request.rbegin(), request.rend());
    for (uint8_t &x : out)
        ++x;
    return out;
}

TEST(AcousticLinkTest, RequestsAndRepliesCrossTheRoom)
{
    const struct {
        const char *name;
        bool a_48000, b_48000;   // by the config for A, by the setters for B
        path a_audio, b_audio;
        size_t a_block, b_block;
        float gain, noise, volume; // volume of both senders
    } cases[] = {
        {"44100, float and int16", false, false, path::process, path::shorts, 1024, 441, 0.3f, 0.01f, 1.0f},
        {"48000, config and setters", true, true, path::shorts, path::process, 960, 1500, 0.5f, 0.005f, 0.4f},
    };
    constexpr size_t kRounds = 3;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *a = new_handle(c.a_48000 ? config_at_rate(48000) : standard_config());
        sdk_handle *b = new_handle(standard_config());
        if (c.b_48000) {
            ASSERT_EQ(tovan_sdk_set_input_sample_rate(b, 48000), TOVAN_SDK_OK);
            ASSERT_EQ(tovan_sdk_set_output_sample_rate(b, 48000), TOVAN_SDK_OK);
        }
        const uint32_t rate = tovan_sdk_get_output_sample_rate(a);
        for (sdk_handle *h : {a, b})
            ASSERT_EQ(tovan_sdk_set_volume(h, c.volume), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_set_random_seed(a, 2024), TOVAN_SDK_OK);
        std::vector<bytes> requests;
        for (size_t i = 0; i < kRounds; ++i)
            requests.push_back(random_payload(a));

        recorder log_a, log_b;
        log_a.attach(a);
        log_b.attach(b);
        // B answers every request; A asks the next question once answered.
        log_b.hook = [](recorder &r, const event &e) {
            if (e.what == kind::received && e.has_payload) {
                const bytes answer = reply_to(e.payload);
                EXPECT_EQ(tovan_sdk_send(r.handle, answer.data(), answer.size()), TOVAN_SDK_OK);
            }
        };
        log_a.hook = [&requests](recorder &r, const event &e) {
            const size_t answered = r.count(kind::received);
            if (e.what == kind::received && answered < requests.size()) {
                EXPECT_EQ(tovan_sdk_send(r.handle, requests[answered].data(), requests[answered].size()),
                          TOVAN_SDK_OK);
            }
        };
        room air({a, c.a_audio, c.a_block, &log_a}, {b, c.b_audio, c.b_block, &log_b}, c.gain, c.noise, 2048);
        ASSERT_EQ(tovan_sdk_send(a, requests[0].data(), requests[0].size()), TOVAN_SDK_OK);
        while (log_a.count(kind::received) < kRounds && air.clock() < kRounds * 6 * rate) {
            ASSERT_EQ(air.step().second, TOVAN_SDK_OK);
        }
        std::vector<bytes> replies;
        for (const bytes &q : requests)
            replies.push_back(reply_to(q));
        EXPECT_EQ(log_b.received(), requests);
        EXPECT_EQ(log_a.received(), replies);
        EXPECT_EQ(log_a.count(kind::sent), kRounds);
        EXPECT_EQ(log_b.count(kind::sent), kRounds);
        EXPECT_EQ(del_tovan_sdk(&a), TOVAN_SDK_MEMORY_LEAK) << "b is still alive";
        EXPECT_EQ(del_tovan_sdk(&b), TOVAN_SDK_OK);
    }
}

} // namespace
