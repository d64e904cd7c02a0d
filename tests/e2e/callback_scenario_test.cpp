// Applications that act from their callbacks: a sender that queues its next
// payload from on_sent, a listener that stops once it has what it waited
// for, and the states on_state_changed reports over whole cycles.
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

constexpr sdk_state kStopped = TOVAN_SDK_STATE_STOPPED;
constexpr sdk_state kRunning = TOVAN_SDK_STATE_RUNNING;
constexpr sdk_state kSending = TOVAN_SDK_STATE_SENDING;
constexpr sdk_state kReceiving = TOVAN_SDK_STATE_RECEIVING;

using transitions = std::vector<std::pair<uint32_t, uint32_t>>;

// Sends `queue[0]` now and each next payload from on_sent of the one before.
void chain_from_on_sent(recorder &log, const std::vector<bytes> &queue)
{
    log.hook = [&queue](recorder &r, const event &e) {
        const size_t done = r.count(kind::sent);
        if (e.what == kind::sent && done < queue.size()) {
            EXPECT_EQ(tovan_sdk_send(r.handle, queue[done].data(), queue[done].size()), TOVAN_SDK_OK);
        }
    };
    ASSERT_EQ(tovan_sdk_send(log.handle, queue[0].data(), queue[0].size()), TOVAN_SDK_OK);
}

// A sends four payloads back to back, each from on_sent of the one before;
// B, across the room, receives all four in order. A's own receiver, muted
// for the whole chain, then hears B's answer.
TEST(CallbackChainTest, PayloadsSentFromOnSentReachAnotherHandle)
{
    const std::string config = standard_config();
    sdk_handle *a = new_handle(config);
    sdk_handle *b = new_handle(config);
    ASSERT_EQ(tovan_sdk_set_random_seed(a, 4), TOVAN_SDK_OK);
    const std::vector<bytes> queue{random_payload(a), random_payload(a, 1), random_payload(a, 6), random_payload(a)};
    recorder log_a, log_b;
    log_a.attach(a);
    log_b.attach(b);
    room air({a, path::process, 1024, &log_a}, {b, path::shorts, 441, &log_b}, 0.4f, 0.002f, 2048);
    chain_from_on_sent(log_a, queue);
    while (log_b.count(kind::received) < queue.size() && air.clock() < 12 * 44100) {
        ASSERT_EQ(air.step().second, TOVAN_SDK_OK);
    }
    EXPECT_EQ(log_b.received(), queue);
    EXPECT_EQ(tovan_sdk_get_state(a), kRunning);

    // Back to back: each on_sending came in the call of the on_sent before it.
    std::vector<event> order;
    for (const event &e : log_a.events)
        if (e.what == kind::sending || e.what == kind::sent)
            order.push_back(e);
    ASSERT_EQ(order.size(), 2 * queue.size());
    for (size_t i = 0; i < queue.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(order[2 * i].what, kind::sending);
        EXPECT_EQ(order[2 * i].payload, queue[i]);
        EXPECT_EQ(order[2 * i + 1].what, kind::sent);
        EXPECT_EQ(order[2 * i + 1].payload, queue[i]);
        if (i > 0) {
            EXPECT_EQ(order[2 * i].at, order[2 * i - 1].at);
        }
    }
    EXPECT_EQ(log_a.count(kind::receiving), 0u) << "muted while sending, without listen-to-self";

    const bytes answer{0xA5, 0x5A};
    ASSERT_EQ(tovan_sdk_send(b, answer.data(), answer.size()), TOVAN_SDK_OK);
    const size_t until = air.clock() + 3 * 44100;
    while (log_a.count(kind::received) == 0 && air.clock() < until) {
        ASSERT_EQ(air.step().second, TOVAN_SDK_OK);
    }
    EXPECT_EQ(log_a.received(), std::vector<bytes>{answer});
    EXPECT_EQ(del_tovan_sdk(&a), TOVAN_SDK_MEMORY_LEAK) << "b is still alive";
    EXPECT_EQ(del_tovan_sdk(&b), TOVAN_SDK_OK);
}

// B listens for one payload and stops itself from on_received when it comes:
// the call under way reports the stop with silence in its output, nothing
// fires after the stop, and the payload that follows is missed. Started
// again, B hears the next transmission.
TEST(CallbackChainTest, StopFromOnReceivedEndsTheListening)
{
    const std::string config = standard_config();
    sdk_handle *a = new_handle(config);
    sdk_handle *b = new_handle(config);
    const std::vector<bytes> queue{{0x01, 0x02}, {0x7E, 0x57}, {0x03, 0x04, 0x05}};
    const bytes wanted = queue[1];
    recorder log_a, log_b;
    log_a.attach(a);
    log_b.attach(b);
    log_b.hook = [&wanted](recorder &r, const event &e) {
        if (e.what == kind::received && e.payload == wanted) {
            EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK);
        }
    };
    room air({a, path::process, 1024, &log_a}, {b, path::shorts, 777, &log_b}, 0.5f, 0.0f, 1024);
    chain_from_on_sent(log_a, queue);
    std::vector<sdk_error> b_codes;
    while (log_a.count(kind::sent) < queue.size() && air.clock() < 10 * 44100) {
        const auto [who, code] = air.step();
        if (who == 'A') {
            ASSERT_EQ(code, TOVAN_SDK_OK);
        } else if (code != TOVAN_SDK_OK || !b_codes.empty()) {
            b_codes.push_back(code);
        }
    }
    // The call that stopped, then every later call, answer NOT_RUNNING.
    ASSERT_FALSE(b_codes.empty());
    EXPECT_EQ(b_codes, std::vector<sdk_error>(b_codes.size(), TOVAN_SDK_NOT_RUNNING));
    EXPECT_EQ(log_b.received(), (std::vector<bytes>{queue[0], queue[1]}));
    ASSERT_FALSE(log_b.events.empty());
    const event &last = log_b.events.back();
    EXPECT_EQ(last.what, kind::state);
    EXPECT_EQ(std::make_pair(last.from, last.to), std::make_pair(kRunning, kStopped)) << "nothing after the stop";
    EXPECT_EQ(tovan_sdk_get_state(b), kStopped);

    ASSERT_EQ(tovan_sdk_start(b), TOVAN_SDK_OK);
    const bytes later{0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(tovan_sdk_send(a, later.data(), later.size()), TOVAN_SDK_OK);
    const size_t until = air.clock() + 3 * 44100;
    while (log_b.count(kind::received) < 3 && air.clock() < until) {
        ASSERT_EQ(air.step().second, TOVAN_SDK_OK);
    }
    EXPECT_EQ(log_b.received(), (std::vector<bytes>{queue[0], queue[1], later}));
    EXPECT_EQ(del_tovan_sdk(&b), TOVAN_SDK_MEMORY_LEAK) << "a is still alive";
    EXPECT_EQ(del_tovan_sdk(&a), TOVAN_SDK_OK);
}

// Whole cycles of one handle looping its own output back, as on_state_changed
// reports them, with the state of channel 0 after every block. Hearing
// itself, the handle detects its transmission while still sending, so
// RECEIVING overwrites SENDING and the end of the transmission returns to
// RUNNING before the reception does.
TEST(StateCycleTest, OnStateChangedFollowsWholeCycles)
{
    const struct {
        const char *name;
        bool listen;
        bool stop_first; // stop, then configure again; else configure while running
        transitions expected;
        std::vector<sdk_state> channel_states; // channel 0 after each block, repeats merged
    } cases[] = {
        {"hearing itself, stopped",
         true,
         true,
         {{kStopped, kRunning}, {kRunning, kSending}, {kSending, kReceiving}, {kReceiving, kRunning},
          {kRunning, kRunning}, {kRunning, kStopped}, {kStopped, kStopped}},
         {kSending, kReceiving, kRunning}},
        {"hearing itself, configured while running",
         true,
         false,
         {{kStopped, kRunning}, {kRunning, kSending}, {kSending, kReceiving}, {kReceiving, kRunning},
          {kRunning, kRunning}, {kRunning, kStopped}},
         {kSending, kReceiving, kRunning}},
        {"muted, stopped",
         false,
         true,
         {{kStopped, kRunning}, {kRunning, kSending}, {kSending, kRunning}, {kRunning, kStopped},
          {kStopped, kStopped}},
         {kSending, kRunning}},
    };
    const std::string config = standard_config();
    const bytes payload{0xC0, 0xFF, 0xEE};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *h = new_handle(config, false);
        ASSERT_EQ(tovan_sdk_set_listen_to_self(h, c.listen), TOVAN_SDK_OK);
        recorder log;
        log.attach(h);
        ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
        ASSERT_EQ(tovan_sdk_send(h, payload.data(), payload.size()), TOVAN_SDK_OK);
        audio_loop loop(h, path::playthrough, {1500});
        std::vector<sdk_state> seen;
        // Until the transmission is over and, when heard, received; then one
        // second more in which nothing may happen.
        size_t quiet = 0;
        while (quiet < 44100 && loop.played() < 5 * 44100) {
            log.clock = loop.played();
            ASSERT_EQ(loop.step(), TOVAN_SDK_OK);
            const sdk_state now = tovan_sdk_get_state_for_channel(h, 0);
            if (seen.empty() || seen.back() != now)
                seen.push_back(now);
            const bool done = log.count(kind::sent) == 1 && log.count(kind::received) == (c.listen ? 1u : 0u);
            quiet = done ? quiet + 1500 : 0;
        }
        EXPECT_EQ(seen, c.channel_states);
        EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 1), TOVAN_SDK_STATE_NOT_CONFIGURED) << "one channel only";
        if (c.stop_first) {
            ASSERT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
            EXPECT_EQ(tovan_sdk_get_state_for_channel(h, 1), kStopped);
        }
        ASSERT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
        EXPECT_EQ(log.transitions(), c.expected);

        // The state each payload callback saw, and what it carried.
        for (const event &e : log.events) {
            switch (e.what) {
            case kind::state:
                EXPECT_EQ(e.inside, e.from) << "reported before the store";
                break;
            case kind::sending:
                EXPECT_EQ(e.inside, kSending);
                EXPECT_EQ(e.payload, payload);
                break;
            case kind::sent:
            case kind::received:
                EXPECT_EQ(e.inside, kRunning);
                EXPECT_EQ(e.payload, payload);
                break;
            case kind::receiving:
                EXPECT_EQ(e.inside, kReceiving);
                EXPECT_FALSE(e.has_payload);
                break;
            }
        }
        EXPECT_EQ(tovan_sdk_get_state(h), kStopped);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

} // namespace
