#include "modem/receiver/receiver.h"

#include "loopback_harness.h"

#include "coding/protocol_frame.h"
#include "support/dsp_backend_ready.h"
#include "support/memory_fixture.h"

#include <vector>

namespace {

const std::vector<uint8_t> kPayload = {1, 2, 3, 4, 5, 6};

// One detector per record without curve or noise filter, all alike.
decoder_settings *plain_settings(uint8_t detectors, int8_t shift = 0, uint32_t rate = 44100)
{
    std::vector<float> smoothing(detectors, 0.95f), subtraction(detectors, 0.0f), threshold(detectors, 0.85f),
        factor(detectors, 1.0f);
    std::vector<int8_t> shifts(detectors, shift);
    return new_decoder_settings("plain", 0, 64, detectors, rate, 2048, smoothing.data(), subtraction.data(),
                                shifts.data(), 0, nullptr, threshold.data(), factor.data());
}

struct Completions {
    loopback::chain *chain;
    std::vector<uint64_t> frames; // frame of every detector completion
};

void on_completion(detector *, const tovan *, void *user)
{
    Completions *c = static_cast<Completions *>(user);
    c->frames.push_back(c->chain->frame_count());
}

class ReceiverTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        prepare_dsp_backend();
        p = new_default_protocol();
        s = new_default_decoder_settings();
        ASSERT_TRUE(p && s);
        signal = loopback::render(p, kPayload);
        loopback::append_silence(signal, 22050);
    }
    void TearDown() override
    {
        del_decoder_settings(s);
        del_protocol(p);
        TrackedHeapTest::TearDown();
    }

    protocol *p = nullptr;
    decoder_settings *s = nullptr;
    std::vector<float> signal;
};

TEST_F(ReceiverTest, RanksDecodedFewestCorrectionsThenMismatchThenFailure)
{
    struct Result {
        uint32_t state, corrected;
    };
    struct Case {
        const char *what;
        std::vector<Result> results;
        int best;
    } cases[] = {
        {"fewer corrections win among decoded", {{1, 3}, {1, 1}}, 1},
        {"decoded beats a clean mismatch", {{2, 0}, {1, 5}}, 1},
        {"a mismatch beats a Reed-Solomon failure", {{3, 0}, {2, 0}}, 1},
        {"equal results keep the lower index", {{1, 2}, {1, 2}}, 0},
        {"a failure never beats decoded", {{1, 3}, {2, 0}, {3, 0}}, 0},
        {"a message never decoded ranks below a failure", {{0, 0}, {3, 0}}, 1},
        {"and never beats one", {{3, 0}, {0, 0}}, 0},
        {"an unknown state ranks below a failure", {{7, 0}, {3, 0}}, 1},
        {"alone it is still the result", {{0, 0}}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<tovan *> messages;
        const tovan *best = nullptr;
        int best_index = -1;
        for (const Result &r : c.results) {
            tovan *m = new_tovan(p);
            ASSERT_NE(m, nullptr);
            m->state = r.state;
            m->corrected = static_cast<uint8_t>(r.corrected);
            if (receiver_result_beats(m, best)) {
                best = m;
                best_index = static_cast<int>(messages.size());
            }
            messages.push_back(m);
        }
        EXPECT_EQ(best_index, c.best);
        EXPECT_FALSE(receiver_result_beats(nullptr, best));
        for (tovan *m : messages)
            del_tovan(m);
    }
}

TEST_F(ReceiverTest, CreationChecksItsArgumentsAndFreesWhatItBuilt)
{
    decoder_settings *too_far = plain_settings(1, 40); // shift beyond half a slot
    decoder_settings *too_slow = plain_settings(1, 0, 20000);
    ASSERT_TRUE(too_far && too_slow);
    struct Case {
        const char *what;
        const decoder_settings *settings;
        const ::protocol *p;
        uint8_t channel;
    } cases[] = {
        {"no settings", nullptr, p, 0},
        {"no protocol", s, nullptr, 0},
        {"channel the protocol lacks", s, p, 1},
        {"a time shift the slot cannot take", too_far, p, 0},
        {"a rate under the band", too_slow, p, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(new_receiver(c.settings, c.p, false, c.channel), nullptr);
        EXPECT_EQ(new_receiver(c.settings, c.p, true, c.channel), nullptr);
    }
    receiver *r = new_receiver(s, p, false, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(receiver_state(r), RECEIVER_STATE_LISTENING);
    EXPECT_EQ(receiver_sample_rate(r), 44100u);
    EXPECT_EQ(receiver_channel(r), 0u);
    EXPECT_EQ(receiver_protocol(r), p);
    EXPECT_EQ(receiver_settings(r), s);
    EXPECT_EQ(r->detector_count, 5u);
    EXPECT_EQ(receiver_frequency_correction(r), 1.0f);
    del_receiver(r);
    del_receiver(nullptr);
    for (bool own : {false, true}) {
        sweep_allocation_failures([&] {
            receiver *x = new_receiver(s, p, own, 0);
            del_receiver(x);
            return x != nullptr;
        });
    }
    del_decoder_settings(too_far);
    del_decoder_settings(too_slow);
}

TEST_F(ReceiverTest, OneReceptionOneDecisionWhenTheLastDetectorCompletes)
{
    uint64_t first_completion = 0;
    for (int run = 0; run < 2; ++run) {
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        Completions done{&c, {}};
        receiver_set_detector_finished_callback(c.rx(), on_completion, &done);
        if (run == 1) {
            // Nothing per frame: up to the frame before the first completion
            // the whole reception took no memory.
            memory_manager_fail_at(0, false);
            c.feed(signal, 4096, 0, 2048 + (first_completion - 2) * 64);
            EXPECT_EQ(c.frame_count(), first_completion - 1);
            EXPECT_EQ(memory_manager_requests_seen(), 0u);
            EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_RECEIVING);
            c.feed(signal, 4096, 2048 + (first_completion - 2) * 64);
        } else {
            c.feed(signal);
        }
        ASSERT_FALSE(done.frames.empty());
        first_completion = done.frames.front();
        const uint64_t before_idle = memory_manager_requests_seen();
        c.feed(std::vector<float>(44100, 0.0f));
        EXPECT_EQ(memory_manager_requests_seen(), before_idle);

        ASSERT_EQ(c.events().size(), 2u);
        EXPECT_FALSE(c.events()[0].received);
        EXPECT_TRUE(c.events()[1].received);
        EXPECT_EQ(c.events()[1].state, TOVAN_STATE_DECODED);
        EXPECT_EQ(c.events()[1].payload, kPayload);
        EXPECT_EQ(c.events()[1].frame, done.frames.back());
        EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_LISTENING);
        for (uint32_t i = 0; i < c.rx()->detector_count; ++i)
            EXPECT_EQ(detector_state(c.rx()->detectors[i]), DETECTOR_STATE_IDLE);
    }
}

TEST_F(ReceiverTest, MutedReceiverIgnoresFramesAndUnmutesClean)
{
    const size_t half = signal.size() / 2;
    struct Case {
        const char *what;
        bool mute_before;       // mute before anything is fed
        bool unmute_by_reset;   // unmute with receiver_reset instead of set_stopped(0)
        size_t events_expected; // before the silence that follows
    } cases[] = {
        {"muted throughout: nothing", true, false, 0},
        {"muted mid-reception: dropped silently", false, false, 1},
        {"reset unmutes without a callback", false, true, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        if (k.mute_before)
            receiver_set_stopped(c.rx(), 1);
        c.feed(signal, 4096, 0, half);
        receiver_set_stopped(c.rx(), 1);
        EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_STOPPED);
        c.feed(signal, 4096, half);
        if (k.mute_before) {
            for (uint32_t i = 0; i < c.rx()->detector_count; ++i)
                EXPECT_EQ(c.rx()->detectors[i]->history_head, 0);
        }
        if (k.unmute_by_reset)
            receiver_reset(c.rx());
        else
            receiver_set_stopped(c.rx(), 0);
        EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_LISTENING);
        EXPECT_EQ(c.events().size(), k.events_expected);
        // The next transmission is a new reception.
        c.feed(signal);
        ASSERT_EQ(c.events().size(), k.events_expected + 2);
        EXPECT_EQ(c.events().back().payload, kPayload);
    }
}

TEST_F(ReceiverTest, FrequencyCorrectionGoesToAllOrNone)
{
    receiver *r = new_receiver(s, p, false, 0);
    ASSERT_NE(r, nullptr);
    struct Case {
        float factor;
        bool accepted;
        float after;
    } cases[] = {{2.0f, false, 1.0f}, {1.02f, true, 1.02f}, {0.4f, false, 1.02f}, {0.5f, true, 0.5f}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.factor);
        EXPECT_EQ(receiver_set_frequency_correction(r, c.factor), c.accepted);
        for (uint32_t i = 0; i < r->detector_count; ++i)
            EXPECT_EQ(detector_frequency_correction(r->detectors[i]), c.after);
        EXPECT_EQ(receiver_frequency_correction(r), c.after);
    }
    EXPECT_FALSE(receiver_set_frequency_correction(nullptr, 1.0f));
    EXPECT_EQ(receiver_frequency_correction(nullptr), 0.0f);
    receiver_free_detectors(r);
    EXPECT_EQ(r->detector_count, 0u);
    EXPECT_FALSE(receiver_set_frequency_correction(r, 1.0f));
    EXPECT_EQ(receiver_frequency_correction(r), 0.0f);
    std::vector<float> spectrum(1024, 0.0f);
    receiver_process_frame(r, spectrum.data());
    del_receiver(r);
}

TEST_F(ReceiverTest, RebuildsEndAReceptionInProgress)
{
    struct Case {
        const char *what;
        bool (*change)(receiver *);
        bool accepted;
        uint32_t rate;
        int32_t history;
    } cases[] = {
        {"a rate under the band", [](receiver *r) { return receiver_set_sample_rate(r, 21106); }, false, 44100, 240},
        {"the lowest rate that fits", [](receiver *r) { return receiver_set_sample_rate(r, 21107); }, true, 21107, 112},
        {"48 kHz", [](receiver *r) { return receiver_set_sample_rate(r, 48000); }, true, 48000, 260},
        {"a channel the protocol lacks", [](receiver *r) { return receiver_set_channel(r, 1); }, false, 44100, 240},
        {"the same channel again", [](receiver *r) { return receiver_set_channel(r, 0); }, true, 44100, 240},
        {"back to the settings' rate", receiver_rebuild, true, 44100, 240},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        c.feed(signal, 4096, 0, signal.size() / 2);
        ASSERT_EQ(receiver_state(c.rx()), RECEIVER_STATE_RECEIVING);
        ASSERT_TRUE(receiver_set_frequency_correction(c.rx(), 1.01f));
        detector *first = c.rx()->detectors[0];
        EXPECT_EQ(k.change(c.rx()), k.accepted);
        EXPECT_EQ(receiver_sample_rate(c.rx()), k.rate);
        EXPECT_EQ(c.rx()->detectors[0]->history_length, k.history);
        if (k.accepted) {
            EXPECT_NE(c.rx()->detectors[0], first);
            EXPECT_EQ(receiver_frequency_correction(c.rx()), 1.0f);
            EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_LISTENING);
            ASSERT_EQ(c.events().size(), 2u);
            EXPECT_FALSE(c.events()[1].has_message);
        } else {
            EXPECT_EQ(c.rx()->detectors[0], first);
            EXPECT_EQ(receiver_frequency_correction(c.rx()), 1.01f);
            EXPECT_EQ(receiver_state(c.rx()), RECEIVER_STATE_RECEIVING);
            EXPECT_EQ(c.events().size(), 1u);
        }
    }
}

TEST_F(ReceiverTest, FlushFinishesWhatEndsWithinASecond)
{
    const size_t end = signal.size() - 22050; // the transmission's last sample
    struct Case {
        const char *what;
        size_t cut; // samples fed before the stop
        bool decoded;
    } cases[] = {
        {"half a second left: decided during the flush", end - 22050, true},
        {"a second and a half left: ended without a message", end - 66150, false},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        // An earlier reception's message must not come back.
        c.feed(signal);
        ASSERT_EQ(c.payloads().size(), 1u);
        c.feed(signal, 4096, 0, k.cut);
        receiver_flush(c.rx());
        receiver_reset(c.rx());
        ASSERT_EQ(c.events().size(), 4u);
        EXPECT_TRUE(c.events()[3].received);
        EXPECT_EQ(c.events()[3].has_message, k.decoded);
        EXPECT_EQ(c.payloads().size(), k.decoded ? 2u : 1u);
    }
}

TEST_F(ReceiverTest, FlushPassesOneSecondOfFrames)
{
    struct Case {
        const char *what;
        bool own_ring;
        int32_t frames; // frames the flush passes
    } cases[] = {
        {"689 spectra at 44.1 kHz and hop 64", false, 689},
        // 21 blocks of 2048 samples: the first makes one frame, each later one 32.
        {"21 blocks through an own FIFO", true, 641},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        receiver *r = new_receiver(s, p, k.own_ring, 0);
        ASSERT_NE(r, nullptr);
        receiver_flush(r);
        EXPECT_EQ(r->detectors[0]->history_head, k.frames % r->detectors[0]->history_length);
        del_receiver(r);
    }
    // Settings without detectors fit any hop, 0 included: a flush then has no
    // frame count to form and does nothing (rather than 2^32 frames).
    decoder_settings *none =
        new_decoder_settings("none", 0, 0, 0, 44100, 2048, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr);
    ASSERT_NE(none, nullptr);
    receiver *r = new_receiver(none, p, false, 0);
    ASSERT_NE(r, nullptr);
    receiver_flush(r);
    del_receiver(r);
    del_decoder_settings(none);
}

TEST_F(ReceiverTest, FftAndHopChangesNeedAnOwnRingAndPrivateSettings)
{
    receiver *shared = new_receiver(s, p, false, 0);
    receiver *own = new_receiver(s, p, true, 0);
    ASSERT_TRUE(shared && own);
    EXPECT_FALSE(receiver_set_fft_size(shared, 1024));
    EXPECT_FALSE(receiver_set_hop_size(shared, 32));
    EXPECT_FALSE(receiver_set_fft_size(own, 1000)); // no analyser for it
    EXPECT_FALSE(receiver_set_hop_size(own, 0));    // fits no detector
    EXPECT_EQ(receiver_settings(own), s);
    EXPECT_TRUE(receiver_set_fft_size(own, 1024));
    EXPECT_TRUE(receiver_set_hop_size(own, 32));
    const decoder_settings *now = receiver_settings(own);
    EXPECT_NE(now, s);
    EXPECT_EQ(now->fft_size, 1024u);
    EXPECT_EQ(now->hop, 32u);
    EXPECT_EQ(s->fft_size, 2048u);
    EXPECT_EQ(s->hop, 64u);
    EXPECT_EQ(own->own_frames->frame_length, 1024u);
    EXPECT_EQ(own->own_frames->hop, 32u);
    EXPECT_EQ(own->own_analyser->n, 1024u);
    EXPECT_EQ(own->detectors[0]->bins, 512u);
    EXPECT_EQ(own->detectors[0]->history_length, 480);
    EXPECT_EQ(shared->detectors[0]->bins, 1024u);
    EXPECT_TRUE(receiver_set_fft_size(own, 2048));
    EXPECT_TRUE(receiver_set_hop_size(own, 64));
    receiver_reset_transform(own);
    for (size_t at = 0; at < signal.size(); at += 4096)
        EXPECT_TRUE(receiver_push_samples(own, signal.data() + at, std::min<size_t>(4096, signal.size() - at)));
    EXPECT_FALSE(receiver_push_samples(own, signal.data(), 0));
    EXPECT_FALSE(receiver_push_samples(shared, signal.data(), 64));
    EXPECT_EQ(receiver_state(own), RECEIVER_STATE_LISTENING);
    ASSERT_NE(own->detectors[0]->message, nullptr);
    EXPECT_EQ(tovan_get_state(own->detectors[0]->message), TOVAN_STATE_DECODED);
    del_receiver(own);
    del_receiver(shared);
}

struct Reentry {
    int receiving = 0;
    int received = 0;
    bool mute_on_receiving = false;
    bool rebuild_answer = true;
    bool rebuild_on_received = false;
};

void reentry_receiving(receiver *r, const tovan *, void *user)
{
    Reentry *e = static_cast<Reentry *>(user);
    ++e->receiving;
    // Inside the detector loop: no rebuild may pull the detectors away.
    e->rebuild_answer = receiver_set_sample_rate(r, 48000);
    if (e->mute_on_receiving)
        receiver_set_stopped(r, 1);
}

void reentry_received(receiver *r, const tovan *m, void *user)
{
    Reentry *e = static_cast<Reentry *>(user);
    ++e->received;
    EXPECT_NE(m, nullptr);
    if (e->rebuild_on_received) {
        EXPECT_TRUE(receiver_set_sample_rate(r, 48000));
    }
}

TEST_F(ReceiverTest, CallbacksMayChangeTheReceiverSafely)
{
    for (bool mute : {false, true}) {
        SCOPED_TRACE(mute);
        loopback::chain c(p, s);
        ASSERT_TRUE(c.ok());
        Reentry e;
        e.mute_on_receiving = mute;
        e.rebuild_on_received = true;
        receiver_set_receiving_callback(c.rx(), reentry_receiving, &e);
        receiver_set_received_callback(c.rx(), reentry_received, &e);
        c.feed(signal);
        EXPECT_EQ(e.receiving, 1);
        EXPECT_FALSE(e.rebuild_answer);
        EXPECT_EQ(e.received, mute ? 0 : 1);
        EXPECT_EQ(receiver_sample_rate(c.rx()), mute ? 44100u : 48000u);
        EXPECT_EQ(receiver_state(c.rx()), mute ? RECEIVER_STATE_STOPPED : RECEIVER_STATE_LISTENING);
    }
}

} // namespace
