// The state machine and the callbacks, driven through the exports only.
#include "sdk/state.h"

#include "sdk/sdk_harness.h"

namespace {

using namespace sdk_test;

class StateTest : public SdkTest {};

constexpr sdk_state kStopped = TOVAN_SDK_STATE_STOPPED;
constexpr sdk_state kRunning = TOVAN_SDK_STATE_RUNNING;
constexpr sdk_state kSending = TOVAN_SDK_STATE_SENDING;
constexpr sdk_state kReceiving = TOVAN_SDK_STATE_RECEIVING;

const std::vector<uint8_t> kFirst{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
const std::vector<uint8_t> kSecond{0xAB, 0xCD};

// Every transition of a handle's life with the callbacks it fires, their
// arguments, and the state each callback sees.
TEST_F(StateTest, EveryTransitionFiresItsCallbacksInOrder)
{
    sdk_handle *h = new_handle(standard_config(), false);
    recorder log;
    log.attach(h);
    const std::vector<float> incoming = payload_audio(h, kSecond);

    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_send(h, kFirst.data(), kFirst.size()), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_get_state(h), kSending) << "on_sending fired inside the send";
    render_all(h, 4096);
    feed(h, incoming, 1000);
    ASSERT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_stop(h), TOVAN_SDK_ALREADY_STOPPED);
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_ALREADY_RUNNING);

    const std::vector<event> expected{
        state_event(kStopped, kRunning, kStopped),
        state_event(kRunning, kSending, kRunning),
        payload_event(kind::sending, 0, kFirst, kSending),
        state_event(kSending, kRunning, kSending),
        payload_event(kind::sent, 0, kFirst, kRunning),
        state_event(kRunning, kReceiving, kRunning),
        empty_event(kind::receiving, 0, kReceiving),
        state_event(kReceiving, kRunning, kReceiving),
        payload_event(kind::received, 0, kSecond, kRunning),
        state_event(kRunning, kStopped, kRunning),
        state_event(kStopped, kRunning, kStopped),
    };
    EXPECT_EQ(log.events, expected);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(StateTest, TriggerRehearsesEveryCallbackWithoutChangingTheState)
{
    sdk_handle *h = new_handle(standard_config(), false);
    recorder log;
    log.attach(h);
    const uint8_t bytes[3] = {7, 8, 9};
    const std::vector<uint8_t> payload(bytes, bytes + 3);
    const struct {
        const char *name;
        const uint8_t *payload;
        size_t length;
        sdk_error code;
    } cases[] = {
        {"NULL payload", nullptr, 3, TOVAN_SDK_NULL_POINTER},
        {"NULL payload, too short", nullptr, 0, TOVAN_SDK_NULL_POINTER},
        {"NULL payload, too long", nullptr, 7, TOVAN_SDK_NULL_POINTER},
        {"too short", bytes, 0, TOVAN_SDK_PAYLOAD_TOO_SHORT},
        {"too long", bytes, 7, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"256 bytes", bytes, 256, TOVAN_SDK_PAYLOAD_TOO_LONG},
        {"fine", bytes, 3, TOVAN_SDK_OK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        log.events.clear();
        EXPECT_EQ(tovan_sdk_trigger_callbacks(h, c.payload, c.length), c.code);
        if (c.code != TOVAN_SDK_OK) {
            EXPECT_TRUE(log.events.empty());
            continue;
        }
        const std::vector<event> expected{
            state_event(kRunning, kStopped, kStopped),      payload_event(kind::sending, 0, payload, kStopped),
            payload_event(kind::sent, 0, payload, kStopped), payload_event(kind::receiving, 0, payload, kStopped),
            payload_event(kind::received, 0, payload, kStopped),
        };
        EXPECT_EQ(log.events, expected);
        EXPECT_EQ(tovan_sdk_get_state(h), kStopped);
    }
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// The next payload sent from on_sent plays to its end, the handle hearing
// its own loudspeaker: without listen-to-self the receiver stays muted for
// both transmissions, and hears again afterwards.
TEST_F(StateTest, SendFromOnSentChainsTransmissions)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    log.hook = [](recorder &r, const event &e) {
        if (e.what == kind::sent && e.payload.size() == 6) {
            EXPECT_EQ(tovan_sdk_send(r.handle, kSecond.data(), kSecond.size()), TOVAN_SDK_OK);
        }
    };
    ASSERT_EQ(tovan_sdk_send(h, kFirst.data(), kFirst.size()), TOVAN_SDK_OK);
    // Both transmissions and half a second more: about 4 s, bounded at 10.
    for (int i = 0; i < 100 && (log.count(kind::sent) < 2 || i < 40); ++i)
        ASSERT_EQ(tovan_sdk_process_playthrough(h, 4410), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_get_state(h), kRunning);
    const std::vector<event> sent = log.of(kind::sent);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, kFirst);
    EXPECT_EQ(sent[1].payload, kSecond);
    EXPECT_EQ(log.count(kind::sending), 2u);
    EXPECT_TRUE(log.of(kind::receiving).empty()) << "muted while sending, without listen-to-self";

    feed(h, payload_audio(h, kFirst), 2048);
    const std::vector<event> received = log.of(kind::received);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].payload, kFirst);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A stop from on_received ends the feeding of the block under way: nothing
// fires after it, and the next reception after a start works.
TEST_F(StateTest, StopFromOnReceivedEndsTheFeed)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    log.hook = [](recorder &r, const event &e) {
        if (e.what == kind::received && r.extra == nullptr) {
            r.extra = &r;
            EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK);
            EXPECT_EQ(tovan_sdk_get_state(r.handle), kStopped);
        }
    };
    // Two transmissions back to back; the second's start shares a block with
    // the first's end.
    std::vector<float> both = payload_audio(h, kSecond, 2000);
    const std::vector<float> again = payload_audio(h, kFirst);
    both.insert(both.end(), again.begin(), again.end());
    for (size_t at = 0; at < both.size(); at += 30000) {
        const size_t n = std::min<size_t>(30000, both.size() - at);
        EXPECT_EQ(tovan_sdk_process_input(h, both.data() + at, n), TOVAN_SDK_OK);
        if (log.extra != nullptr)
            break;
    }
    ASSERT_NE(log.extra, nullptr);
    ASSERT_GE(log.events.size(), 2u);
    EXPECT_EQ(log.events.back(), state_event(kRunning, kStopped, kRunning)) << "nothing after the stop";
    EXPECT_EQ(log.count(kind::receiving), 1u);
    float block[64] = {};
    EXPECT_EQ(tovan_sdk_process_input(h, block, 64), TOVAN_SDK_NOT_RUNNING);

    log.events.clear();
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    feed(h, payload_audio(h, kFirst), 4096);
    const std::vector<event> received = log.of(kind::received);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].payload, kFirst);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A stop during a transmission drops it without on_sent and unmutes the
// transmission channel's receiver.
TEST_F(StateTest, StopDuringTransmissionFiresNoOnSent)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    ASSERT_EQ(tovan_sdk_send(h, kFirst.data(), kFirst.size()), TOVAN_SDK_OK);
    std::vector<float> block(20000);
    ASSERT_EQ(tovan_sdk_process_output(h, block.data(), block.size()), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
    EXPECT_EQ(log.events.back(), state_event(kSending, kStopped, kSending));
    EXPECT_TRUE(log.of(kind::sent).empty());
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_process_output(h, block.data(), block.size()), TOVAN_SDK_OK);
    EXPECT_EQ(block, std::vector<float>(block.size(), 0.0f)) << "the transmission is gone";
    feed(h, payload_audio(h, kSecond), 4096);
    ASSERT_EQ(log.count(kind::received), 1u);
    EXPECT_EQ(log.of(kind::received)[0].payload, kSecond);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A stop runs about a second of silence through the receivers: a reception
// near its end completes inside the stop and is reported once; one that
// needs longer ends without on_received.
TEST_F(StateTest, StopFinishesOnlyReceptionsNearTheirEnd)
{
    const struct {
        const char *name;
        size_t short_of_end; // samples of the transmission not fed before the stop
        bool received;
    } cases[] = {{"near the end", 2000, true}, {"1.5 s to go", 66150, false}};
    const std::string config = standard_config();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *h = new_handle(config, true);
        recorder log;
        log.attach(h);
        log.hook = [](recorder &r, const event &e) {
            if (e.what == kind::received) {
                const uint8_t one = 1;
                EXPECT_EQ(tovan_sdk_send(r.handle, &one, 1), TOVAN_SDK_NOT_RUNNING) << "a stop is under way";
                EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK) << "the stop under way does it";
            }
        };
        const std::vector<float> audio = payload_audio(h, kFirst, 0);
        for (size_t at = 0; at + c.short_of_end < audio.size(); at += 1000) {
            const size_t n = std::min<size_t>(1000, audio.size() - c.short_of_end - at);
            ASSERT_EQ(tovan_sdk_process_input(h, audio.data() + at, n), TOVAN_SDK_OK);
        }
        ASSERT_EQ(tovan_sdk_get_state(h), kReceiving);
        log.events.clear();
        ASSERT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
        std::vector<event> expected;
        if (c.received) {
            expected = {state_event(kReceiving, kRunning, kReceiving),
                        payload_event(kind::received, 0, kFirst, kRunning),
                        state_event(kRunning, kStopped, kRunning)};
        } else {
            expected = {state_event(kReceiving, kStopped, kReceiving)};
        }
        EXPECT_EQ(log.events, expected);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// A reception whose data cannot be corrected still ends with on_received,
// without payload, and the state back at RUNNING.
TEST_F(StateTest, UndecodableReceptionReportsNoPayload)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    const std::vector<uint8_t> zeros(6, 0x00), ones(6, 0xFF);
    std::vector<float> spliced = payload_audio(h, zeros);
    const std::vector<float> other = payload_audio(h, ones);
    // Header and the first half of the data from one payload, the rest from
    // the other: about half the bytes wrong, beyond the parity's reach.
    const size_t slot = 3845, cut = slot * (3 + 10);
    std::copy(other.begin() + cut, other.end(), spliced.begin() + cut);
    feed(h, spliced, 4096);
    const std::vector<event> received = log.of(kind::received);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], empty_event(kind::received, 0, kRunning));
    EXPECT_EQ(tovan_sdk_get_state(h), kRunning);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// From inside any callback, calls that would free, rebuild or feed the
// pipeline anew are refused and change nothing; the others work.
TEST_F(StateTest, CallbacksCannotPullThePipelineFromUnderTheirCaller)
{
    struct attempt {
        const char *name;
        sdk_error (*call)(sdk_handle *);
        sdk_error code;
    };
    static const attempt attempts[] = {
        {"del_tovan_sdk", [](sdk_handle *h) { sdk_handle *copy = h; return del_tovan_sdk(&copy); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"set_config", [](sdk_handle *h) { return tovan_sdk_set_config(h, "BA=="); }, TOVAN_SDK_PROCESSING_ERROR},
        {"set_input_sample_rate", [](sdk_handle *h) { return tovan_sdk_set_input_sample_rate(h, 48000); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"set_output_sample_rate", [](sdk_handle *h) { return tovan_sdk_set_output_sample_rate(h, 48000); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process", [](sdk_handle *h) { float x[8] = {}; return tovan_sdk_process(h, x, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_input", [](sdk_handle *h) { float x[8] = {}; return tovan_sdk_process_input(h, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_output", [](sdk_handle *h) { float x[8] = {}; return tovan_sdk_process_output(h, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_shorts", [](sdk_handle *h) { int16_t x[8] = {}; return tovan_sdk_process_shorts(h, x, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_shorts_input",
         [](sdk_handle *h) { int16_t x[8] = {}; return tovan_sdk_process_shorts_input(h, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_shorts_output",
         [](sdk_handle *h) { int16_t x[8] = {}; return tovan_sdk_process_shorts_output(h, x, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"process_playthrough", [](sdk_handle *h) { return tovan_sdk_process_playthrough(h, 8); },
         TOVAN_SDK_PROCESSING_ERROR},
        {"set_volume", [](sdk_handle *h) { return tovan_sdk_set_volume(h, 1.0f); }, TOVAN_SDK_OK},
        {"set_frequency_correction", [](sdk_handle *h) { return tovan_sdk_set_frequency_correction(h, 1.0f); },
         TOVAN_SDK_OK},
        {"set_transmission_channel", [](sdk_handle *h) { return tovan_sdk_set_transmission_channel(h, 0); },
         TOVAN_SDK_OK},
        {"process_payload",
         [](sdk_handle *h) { float x[8]; const uint8_t p[1] = {1}; return tovan_sdk_process_payload(h, p, 1, x, 8); },
         TOVAN_SDK_OK},
    };
    // Which callback the attempts run from, and how to raise it.
    const struct {
        const char *name;
        kind from;
    } sources[] = {
        {"on_state_changed", kind::state}, {"on_sending", kind::sending},   {"on_sent", kind::sent},
        {"on_receiving", kind::receiving}, {"on_received", kind::received},
    };
    const std::string config = standard_config();
    for (const auto &source : sources) {
        SCOPED_TRACE(source.name);
        sdk_handle *h = new_handle(config, true);
        recorder log;
        log.attach(h);
        log.extra = const_cast<kind *>(&source.from);
        log.hook = [](recorder &r, const event &e) {
            if (r.extra == nullptr || e.what != *static_cast<kind *>(r.extra))
                return;
            r.extra = nullptr; // once
            for (const attempt &a : attempts) {
                SCOPED_TRACE(a.name);
                EXPECT_EQ(a.call(r.handle), a.code);
            }
            EXPECT_TRUE(sdk_in_callback(r.handle));
        };
        ASSERT_EQ(tovan_sdk_send(h, kSecond.data(), kSecond.size()), TOVAN_SDK_OK);
        render_all(h, 4096);
        feed(h, payload_audio(h, kSecond), 4096);
        EXPECT_EQ(log.extra, nullptr) << "the callback came";
        EXPECT_FALSE(sdk_in_callback(h));
        EXPECT_EQ(tovan_sdk_get_input_sample_rate(h), 44100u) << "nothing changed";
        EXPECT_EQ(tovan_sdk_get_output_sample_rate(h), 44100u);
        EXPECT_EQ(log.count(kind::received), 1u);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// A stop from on_state_changed while a send enters SENDING: the stop stands,
// on_sending does not come, and nothing is played.
TEST_F(StateTest, StopWhileEnteringSendingStands)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    log.hook = [](recorder &r, const event &e) {
        if (e.what == kind::state && e.to == kSending) {
            EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK);
        }
    };
    EXPECT_EQ(tovan_sdk_send(h, kFirst.data(), kFirst.size()), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_get_state(h), kStopped);
    EXPECT_TRUE(log.of(kind::sending).empty());
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    std::vector<float> out(8192, 1.0f);
    ASSERT_EQ(tovan_sdk_process_output(h, out.data(), out.size()), TOVAN_SDK_OK);
    EXPECT_EQ(out, std::vector<float>(out.size(), 0.0f));
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

} // namespace
