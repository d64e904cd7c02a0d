#include "modem/receiver/detector.h"

#include "loopback_harness.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "modem/receiver/decoder_settings.h"
#include "runtime/float_math.h"
#include "support/dsp_backend_ready.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint64_t kNone = ~uint64_t{0};
constexpr uint64_t kEither = 999;
constexpr uint32_t kRate = 44100;
constexpr int kFft = 2048;
// Samples of one default slot at 44.1 kHz, and the hop.
constexpr uint64_t kSlotSamples = 3845;
constexpr uint64_t kHop = 64;

// One detector without curve, and without noise filter unless a subtraction
// is given.
decoder_settings *one_detector(int8_t shift = 0, float threshold = 0.85f, float window_factor = 1.0f, uint8_t hop = 64,
                               uint16_t fft = 2048, float subtraction = 0.0f, float smoothing = 0.95f)
{
    return new_decoder_settings("one", 0, hop, 1, kRate, fft, &smoothing, &subtraction, &shift, 0, nullptr, &threshold,
                                &window_factor);
}

// The default protocol with another payload range and parity.
protocol *protocol_with_lengths(uint8_t min_length, uint8_t max_length, uint8_t min_parity, uint8_t max_parity)
{
    return new_test_protocol("lengths", new_coding_params(5, 1, min_length, max_length, 0, min_parity, max_parity),
                             new_default_modulation_params());
}

protocol *protocol_with_frontdoor_duration(float seconds)
{
    const uint64_t frontdoor[2] = {17, 19};
    return new_test_protocol("short", new_default_coding_params(),
                             new_modulation_params(1, frontdoor, 2, nullptr, 1760.0f, 0.0f, 0.0f, seconds, 0.0872f,
                                                   0.015f, 0.015f, 0.005f, 0.0f, 0.0f));
}

// Clean decisions at the transmitter's cadence: slot i covers samples
// [3845 i, 3845 (i + 1)) and frame k is taken at sample 64 k, so a slot
// lasts 60 or 61 frames (at 44.1 kHz; slots of 4185 samples at 48 kHz).
// `tail` frames without a symbol follow.
std::vector<frame_decision> clean_stream(const std::vector<uint64_t> &symbols, size_t tail = 100,
                                         uint64_t slot_samples = kSlotSamples)
{
    std::vector<frame_decision> out;
    for (uint64_t k = 0; k * kHop < symbols.size() * slot_samples; ++k)
        out.push_back(frame_decision{symbols[k * kHop / slot_samples], 1.0f});
    out.insert(out.end(), tail, frame_decision{kNone, 0.0f});
    return out;
}

struct Watch {
    int started = 0;
    int finished = 0;
    uint32_t state = 0;
    uint32_t corrected = 0;
    std::vector<uint8_t> payload;
};

void on_started(detector *, const tovan *m, void *user)
{
    EXPECT_EQ(m, nullptr);
    ++static_cast<Watch *>(user)->started;
}

void on_finished(detector *, const tovan *m, void *user)
{
    Watch *w = static_cast<Watch *>(user);
    ++w->finished;
    ASSERT_NE(m, nullptr);
    w->state = tovan_get_state(m);
    w->corrected = tovan_get_corrected(m);
    w->payload.clear();
    if (symbol_buffer *b = tovan_get_payload(m)) {
        const uint8_t *bytes = symbol_buffer_bytes(b);
        w->payload.assign(bytes, bytes + symbol_buffer_byte_count(b));
    }
}

void watch(detector *d, Watch *w)
{
    detector_set_started_callback(d, on_started, w);
    detector_set_finished_callback(d, on_finished, w);
}

void push_all(detector *d, const std::vector<frame_decision> &stream)
{
    for (const frame_decision &f : stream)
        detector_push_decision(d, f);
}

// A spectrum whose dB values form a parabola peaking at hz, so that the peak
// finder's refinement puts the peak exactly there.
std::vector<float> peak_at(float hz)
{
    std::vector<float> x(kFft / 2, 0.0f);
    const double centre = hz * kFft / static_cast<double>(kRate);
    for (int b = 0; b < kFft / 2; ++b) {
        const double off = b - centre;
        if (std::fabs(off) < 8.0)
            x[b] = static_cast<float>(std::pow(10.0, (60.0 - 6.0 * off * off) / 20.0));
    }
    return x;
}

class DetectorTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        prepare_dsp_backend();
    }
};

TEST_F(DetectorTest, StandardGeometryAt441And48Kilohertz)
{
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    decoder_settings *half = one_detector(0, 0.85f, 0.5f);
    decoder_settings *twice = one_detector(0, 0.85f, 2.0f);
    ASSERT_TRUE(p && s && half && twice);
    // A window factor scales the attack skipped at the start and the release
    // skipped at the end of every slot.
    struct Case {
        uint32_t rate;
        const decoder_settings *settings;
        slot_window window;
        int32_t history;
        uint16_t relock;
        float first_due;
    } cases[] = {
        {44100, s, {60, 10, 49, 39}, 240, 60, 60.086f},
        {48000, s, {65, 11, 54, 43}, 260, 65, 65.4f},
        {44100, half, {60, 5, 54, 49}, 240, 60, 60.086f},
        {44100, twice, {60, 20, 39, 19}, 240, 60, 60.086f},
        {48000, half, {65, 5, 59, 54}, 260, 65, 65.4f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, window factor " << c.settings->detectors[0].window_factor);
        for (uint8_t index = 0; index < c.settings->detector_count; ++index) {
            SCOPED_TRACE(static_cast<int>(index));
            detector *d = new_detector(c.settings, p, 0, c.rate, index);
            ASSERT_NE(d, nullptr);
            ASSERT_EQ(d->window_count, 23u);
            for (uint32_t i = 0; i < d->window_count; ++i) {
                EXPECT_EQ(d->windows[i].frames, c.window.frames);
                EXPECT_EQ(d->windows[i].start, c.window.start);
                EXPECT_EQ(d->windows[i].end, c.window.end);
                EXPECT_EQ(d->windows[i].width, c.window.width);
            }
            EXPECT_EQ(d->history_length, c.history);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(d->header_positions[i], (i + 1) * c.window.frames);
            EXPECT_EQ(d->votes->capacity, static_cast<uint32_t>(c.window.width));
            EXPECT_EQ(d->relock_frames, c.relock);
            EXPECT_NEAR(d->due[0], c.first_due, 1e-3f);
            EXPECT_EQ(d->time_shift, c.settings->detectors[index].time_shift);
            EXPECT_EQ(d->curve != nullptr, c.settings == s);
            EXPECT_EQ(d->noise != nullptr, c.settings == s && index != 0);
            detector_reset(d);
            del_detector(d);
        }
    }
    // At 44.1 kHz the front-door windows read entries 70-108 and 130-168, the
    // length window 190-228.
    detector *d = new_detector(s, p, 0, kRate, 0);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(d->header_positions[i] + d->windows[i].start, 70 + 60 * i);
        EXPECT_EQ(d->header_positions[i] + d->windows[i].end - 1, 108 + 60 * i);
    }
    del_detector(d);

    // The peak search covers tone 0 to tone 32 of the channel, the noise
    // filter the protocol's band with a bin to spare at each end, both where
    // the tones are heard when the frequency correction is right.
    d = new_detector(s, p, 0, kRate, 1);
    ASSERT_NE(d, nullptr);
    struct Band {
        float factor;
        bool accepted;
        int32_t peak_lo, peak_hi;
        uint32_t noise_lo, noise_hi;
    } bands[] = {
        {1.0f, true, 81, 518, 80, 519},
        {1.0f / 0.98f, true, 80, 508, 79, 509},
        {1.0f / 1.02f, true, 83, 529, 82, 530},
        {0.5f, true, 163, 1037, 162, 1023}, // the top tones lie beyond the spectrum
        {1.5f, true, 54, 345, 53, 346},
        {1.51f, false, 54, 345, 53, 346},
        {1.0f, true, 81, 518, 80, 519},
    };
    for (const Band &b : bands) {
        SCOPED_TRACE(b.factor);
        EXPECT_EQ(detector_set_frequency_correction(d, b.factor), b.accepted);
        EXPECT_EQ(d->peaks->low_bin, b.peak_lo);
        EXPECT_EQ(d->peaks->high_bin, b.peak_hi);
        EXPECT_EQ(d->noise->lo, b.noise_lo);
        EXPECT_EQ(d->noise->hi, b.noise_hi);
    }
    del_detector(d);
    for (decoder_settings *x : {s, half, twice})
        del_decoder_settings(x);
    del_protocol(p);
}

TEST_F(DetectorTest, RefusesWhatItCannotRead)
{
    protocol *p = new_default_protocol();
    protocol *short_header = protocol_with_frontdoor_duration(0.001f); // under one 64-sample hop
    protocol *long_header = protocol_with_frontdoor_duration(20.0f);   // 4 x 13781 frames of history
    decoder_settings *s = one_detector();
    decoder_settings *wide = one_detector(0, 0.85f, 10.0f); // skips more than a slot
    decoder_settings *hop0 = one_detector(0, 0.85f, 1.0f, 0);
    decoder_settings *fft1 = one_detector(0, 0.85f, 1.0f, 64, 1);
    const float nan = std::nanf("");
    decoder_settings *noise[] = {
        one_detector(0, 0.85f, 1.0f, 64, 2048, 1.5f),       one_detector(0, 0.85f, 1.0f, 64, 2048, nan),
        one_detector(0, 0.85f, 1.0f, 64, 2048, 0.5f, -0.1f), one_detector(0, 0.85f, 1.0f, 64, 2048, 0.5f, nan),
    };
    ASSERT_TRUE(p && short_header && long_header && s && wide && hop0 && fft1);
    for (decoder_settings *x : noise)
        ASSERT_NE(x, nullptr);
    struct Case {
        const char *what;
        const decoder_settings *settings;
        const ::protocol *p;
        uint8_t channel, index;
        uint32_t rate;
    } cases[] = {
        {"no settings", nullptr, p, 0, 0, kRate},
        {"no protocol", s, nullptr, 0, 0, kRate},
        {"index past the detectors", s, p, 0, 1, kRate},
        {"channel past the protocol", s, p, 1, 0, kRate},
        {"hop 0", hop0, p, 0, 0, kRate},
        {"FFT size 1: no bin", fft1, p, 0, 0, kRate},
        {"header slot shorter than a hop: no history", s, short_header, 0, 0, kRate},
        {"front-door windows of no positive width", wide, p, 0, 0, kRate},
        {"a rate above 384 kHz", s, p, 0, 0, 384001},
        {"a history of more than 2^15 frames", s, long_header, 0, 0, kRate},
        {"noise subtraction above 1", noise[0], p, 0, 0, kRate},
        {"noise subtraction NaN", noise[1], p, 0, 0, kRate},
        {"noise smoothing below 0", noise[2], p, 0, 0, kRate},
        {"noise smoothing NaN", noise[3], p, 0, 0, kRate},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(new_detector(c.settings, c.p, c.channel, c.rate, c.index), nullptr);
    }
    detector *fastest = new_detector(s, p, 0, 384000, 0);
    EXPECT_NE(fastest, nullptr);
    del_detector(fastest);
    del_detector(nullptr);
    decoder_settings *standard = new_default_decoder_settings();
    sweep_allocation_failures([&] {
        detector *d = new_detector(standard, p, 0, kRate, 1); // curve and noise filter
        del_detector(d);
        return d != nullptr;
    });
    for (decoder_settings *x : {s, wide, hop0, fft1, standard})
        del_decoder_settings(x);
    for (decoder_settings *x : noise)
        del_decoder_settings(x);
    del_protocol(long_header);
    del_protocol(short_header);
    del_protocol(p);
}

TEST_F(DetectorTest, PeaksBecomeSymbolsAndEmptySlotsBecomeNone)
{
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    decoder_settings *plain = one_detector();
    ASSERT_TRUE(p && s && plain);
    struct Case {
        const char *what;
        std::vector<float> spectrum;
        uint64_t symbol; // kEither: tone 17 or 18
        float min_confidence, max_confidence;
    } cases[] = {
        {"silence holds no peak: no symbol, not tone 0", std::vector<float>(kFft / 2, 0.0f), kNone, 0.0f, 0.0f},
        {"a peak on tone 17", peak_at(protocol_tone_frequency(p, 17.0f, 0)), 17, 0.99f, 1.0f},
        {"a peak on tone 0", peak_at(protocol_tone_frequency(p, 0.0f, 0)), 0, 0.99f, 1.0f},
        {"a peak halfway between tones 17 and 18", peak_at(protocol_tone_frequency(p, 17.5f, 0)), kEither, 0.0f, 0.02f},
        {"a peak below the channel's band", peak_at(1000.0f), kNone, 0.0f, 0.0f},
    };
    detector *d = new_detector(plain, p, 0, kRate, 0);
    ASSERT_NE(d, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        detector_process_frame(d, c.spectrum.data());
        const frame_decision f = detector_history_entry(d, d->history_length - 1);
        if (c.symbol == kEither)
            EXPECT_TRUE(f.symbol == 17 || f.symbol == 18) << f.symbol;
        else
            EXPECT_EQ(f.symbol, c.symbol);
        EXPECT_GE(f.confidence, c.min_confidence);
        EXPECT_LE(f.confidence, c.max_confidence);
    }
    del_detector(d);

    // A detector with curve and noise filter makes the same decisions without
    // taking any memory per frame, and never writes the shared spectrum.
    d = new_detector(s, p, 0, kRate, 4);
    ASSERT_NE(d, nullptr);
    const std::vector<float> tone = peak_at(protocol_tone_frequency(p, 17.0f, 0));
    std::vector<float> shared = tone;
    memory_manager_fail_at(0, false);
    for (int i = 0; i < 500; ++i)
        detector_process_frame(d, shared.data());
    EXPECT_EQ(memory_manager_requests_seen(), 0u);
    EXPECT_EQ(shared, tone);
    EXPECT_EQ(detector_history_entry(d, d->history_length - 1).symbol, 17u);
    del_detector(d);
    del_decoder_settings(plain);
    del_decoder_settings(s);
    del_protocol(p);
}

// The working copy covers the bins the peak search reads. The noise filter's
// band may lie inside them (it follows the protocol's band, the search the
// channel's tones): the bins beside it must still be equalised, those in it
// equalised and filtered.
TEST_F(DetectorTest, BinsBesideTheFilterBandAreEqualisedToo)
{
    protocol *p = new_default_protocol();
    decoder_settings *standard = new_default_decoder_settings();
    decoder_settings *flat = one_detector(0, 0.85f, 1.0f, 64, 2048, 0.5f);
    ASSERT_TRUE(p && standard && flat);
    struct Case {
        const char *what;
        const decoder_settings *settings;
        uint8_t index;
        uint32_t below, above; // bins read below and above the filter's band; both 0: no band
    } cases[] = {
        {"curve, bins on both sides", standard, 1, 3, 7},
        {"curve, bins above only", standard, 2, 0, 9},
        {"curve, no band", standard, 3, 0, 0},
        {"no curve, bins on both sides", flat, 0, 5, 1},
        {"no curve, no band", flat, 0, 0, 0},
    };
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> power(0.0f, 100.0f);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        detector *d = new_detector(c.settings, p, 0, kRate, c.index);
        ASSERT_NE(d, nullptr);
        const uint32_t first = d->read_first, last = d->read_last;
        const bool band = c.below != 0 || c.above != 0;
        ASSERT_TRUE(band ? noise_filter_set_band(d->noise, first + c.below, last - c.above)
                         : noise_filter_set_band(d->noise, 1, 0));
        const float factor = d->noise->factor, smoothing = d->noise->smoothing;
        const float one_minus = d->noise->one_minus_smoothing;
        std::vector<float> estimate(kFft / 2, 0.0f);
        std::vector<float> expected(kFft / 2);
        for (int frame = 0; frame < 2; ++frame) {
            std::vector<float> x(kFft / 2);
            for (float &v : x)
                v = power(gen);
            for (uint32_t b = first; b <= last; ++b) {
                const float in = d->curve != nullptr ? d->curve->gains[b] * x[b] : x[b];
                expected[b] = in;
                if (band && b >= first + c.below && b <= last - c.above) {
                    const float sub = factor * estimate[b];
                    estimate[b] = one_minus * in + smoothing * estimate[b];
                    const float diff = in - sub;
                    expected[b] = diff < 0.0f ? 0.0f : diff;
                }
            }
            detector_process_frame(d, x.data());
        }
        EXPECT_EQ(std::memcmp(d->spectrum + first, expected.data() + first, sizeof(float) * (last - first + 1)), 0);
        del_detector(d);
    }
    del_decoder_settings(flat);
    del_decoder_settings(standard);
    del_protocol(p);
}

TEST_F(DetectorTest, CleanStreamLocksOnceVotesEverySymbolAndDecodes)
{
    protocol *p = new_default_protocol();
    decoder_settings *s = new_default_decoder_settings();
    ASSERT_TRUE(p && s);
    const std::vector<uint8_t> payload = {1, 2, 3, 4, 5, 6};
    const std::vector<uint64_t> symbols = loopback::frame_symbols(p, payload);
    ASSERT_EQ(symbols.size(), 23u);
    EXPECT_EQ(symbols[0], 17u);
    EXPECT_EQ(symbols[1], 19u);
    EXPECT_EQ(symbols[2], 6u);
    // Data symbol j is voted on the first frame whose count since the last
    // lock exceeds its due count strictly: at 48 kHz the tenth is due after
    // exactly 654 frames and comes on the 655th.
    struct Rate {
        uint32_t rate;
        uint64_t slot_samples;
        std::vector<size_t> vote_frames; // after the last lock, one per data symbol
    } rates[] = {
        {44100, kSlotSamples, {61, 121, 181, 241, 301, 361, 421, 481, 541, 601,
                               661, 722, 782, 842, 902, 962, 1022, 1082, 1142, 1202}},
        {48000, 4185, {66, 131, 197, 262, 327, 393, 458, 524, 589, 655,
                       720, 785, 851, 916, 982, 1047, 1112, 1178, 1243, 1309}},
    };
    // Data symbols lying inside one payload byte each: 0 in byte 0, 5 in
    // byte 3, 8 in byte 5.
    struct Case {
        std::vector<int> corrupted;
        uint32_t corrected;
    } cases[] = {{{}, 0}, {{0}, 1}, {{0, 5}, 2}, {{0, 5, 8}, 3}};
    for (const Rate &r : rates) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << r.rate << " Hz, " << c.corrected << " corrected");
            std::vector<uint64_t> sent = symbols;
            for (int j : c.corrupted)
                sent[3 + j] ^= 0x1f;
            const std::vector<frame_decision> stream = clean_stream(sent, 100, r.slot_samples);
            detector *d = new_detector(s, p, 0, r.rate, 0);
            ASSERT_NE(d, nullptr);
            Watch w;
            watch(d, &w);
            std::vector<size_t> locks, votes;
            std::vector<float> scores;
            memory_manager_fail_at(0, false);
            uint64_t before_completion = 0;
            for (size_t k = 0; k < stream.size(); ++k) {
                const uint32_t collected = d->collected;
                detector_push_decision(d, stream[k]);
                if (d->state == DETECTOR_STATE_COLLECTING && d->frames_since_lock == 1) {
                    locks.push_back(k);
                    scores.push_back(d->lock_score);
                }
                if (d->collected != collected || d->state == DETECTOR_STATE_COMPLETE) {
                    votes.push_back(k);
                    EXPECT_EQ(d->results[votes.size() - 1], sent[2 + votes.size()]);
                }
                if (w.finished == 0)
                    before_completion = memory_manager_requests_seen();
                if (d->state == DETECTOR_STATE_COMPLETE)
                    break;
            }
            EXPECT_EQ(before_completion, 0u) << "frames before the completion took memory";
            EXPECT_EQ(w.started, 1);
            ASSERT_FALSE(locks.empty());
            for (size_t i = 1; i < scores.size(); ++i)
                EXPECT_GT(scores[i], scores[i - 1]);
            EXPECT_EQ(scores.back(), 1.0f);
            EXPECT_EQ(d->length, 6u);
            ASSERT_EQ(votes.size(), 20u);
            for (size_t j = 0; j < votes.size(); ++j)
                EXPECT_EQ(votes[j] - locks.back(), r.vote_frames[j]) << "data symbol " << j;
            EXPECT_EQ(w.finished, 1);
            EXPECT_EQ(w.state, TOVAN_STATE_DECODED);
            EXPECT_EQ(w.corrected, c.corrected);
            EXPECT_EQ(w.payload, payload);
            EXPECT_EQ(detector_result(d), d->message);
            del_detector(d);
        }
    }
    del_decoder_settings(s);
    del_protocol(p);
}

TEST_F(DetectorTest, DataWindowsMoveWithTheTimeShiftAndStayInTheHistory)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    std::vector<uint64_t> header = {17, 19, 6};
    struct Case {
        int8_t shift;
        int32_t lo, hi; // entries read, hi excluded
    } cases[] = {{0, 190, 229}, {-10, 180, 219}, {20, 210, 240}};
    for (const Case &c : cases) {
        for (bool rising : {true, false}) {
            SCOPED_TRACE(testing::Message() << "shift " << static_cast<int>(c.shift) << (rising ? " last" : " first"));
            decoder_settings *s = one_detector(c.shift);
            detector *d = new_detector(s, p, 0, kRate, 0);
            ASSERT_NE(d, nullptr);
            // Every frame after the header carries its own marker symbol, with a
            // weight rising or falling with the frame and above any 9 header
            // frames together, so the winner names the last or the first
            // entry the vote read.
            // Markers start at frame 160, past every frame the length votes
            // read up to the final lock (frame 170).
            std::vector<frame_decision> stream = clean_stream(header, 0);
            const size_t first_marker = 160;
            stream.resize(first_marker);
            for (size_t k = first_marker; k < first_marker + 300; ++k)
                stream.push_back(frame_decision{1000 + k, rising ? 20.0f + 0.01f * k : 20.0f - 0.01f * k});
            size_t k = 0;
            while (d->collected == 0 && k < stream.size())
                detector_push_decision(d, stream[k++]);
            ASSERT_EQ(d->collected, 1u);
            const int64_t newest = static_cast<int64_t>(k) - 1;
            const int64_t entry = static_cast<int64_t>(d->results[0] - 1000) - newest + (d->history_length - 1);
            EXPECT_EQ(entry, rising ? c.hi - 1 : c.lo);
            del_detector(d);
            del_decoder_settings(s);
        }
    }
    del_protocol(p);
}

// A history laid out for the newest of its 240 frames: front-door frames at
// entries 80 and 90 (window 70-108) and 150 (window 130-168) of the given
// confidence, the length 6 over its whole window (190-228), nothing
// elsewhere; 100 empty frames follow.
std::vector<frame_decision> three_heavy_frames(float confidence)
{
    std::vector<frame_decision> out(240, frame_decision{kNone, 0.0f});
    out[80] = out[90] = frame_decision{17, confidence};
    out[150] = frame_decision{19, confidence};
    for (size_t e = 190; e <= 228; ++e)
        out[e] = frame_decision{6, 1.0f};
    out.insert(out.end(), 100, frame_decision{kNone, 0.0f});
    return out;
}

TEST_F(DetectorTest, ScoreMustExceedTheThreshold)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    // The first front-door window matches fully, the second not at all: 39 of
    // the 78 frames, a score of exactly 0.5 at best.
    const std::vector<frame_decision> half = clean_stream({17, 5, 6, 1, 1, 1});
    // Decisions handed in from outside may weigh more than 1: three frames
    // can then outscore a full front door.
    const std::vector<frame_decision> heavy = three_heavy_frames(30.0f);
    const std::vector<frame_decision> light = three_heavy_frames(1.0f);
    struct Case {
        const char *what;
        const std::vector<frame_decision> &stream;
        float threshold;
        int started;
        float score;
    } cases[] = {
        {"half the front door, threshold 0.5", half, 0.5f, 0, 0.0f},
        {"half the front door, threshold 0.49", half, 0.49f, 1, 0.5f},
        {"three frames weighing 30", heavy, 0.85f, 1, 90.0f / 78.0f},
        {"three frames weighing 1", light, 0.85f, 0, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        decoder_settings *s = one_detector(0, c.threshold);
        detector *d = new_detector(s, p, 0, kRate, 0);
        ASSERT_NE(d, nullptr);
        Watch w;
        watch(d, &w);
        push_all(d, c.stream);
        EXPECT_EQ(w.started, c.started);
        if (c.started != 0) {
            EXPECT_EQ(d->lock_score, c.score);
        }
        del_detector(d);
        del_decoder_settings(s);
    }
    del_protocol(p);
}

// Every push keeps a count of the front-door frames that hold their window's
// symbol, by the frame that enters each window and the one that leaves it; a
// reset counts afresh. After any stream it must be the count of the history.
TEST_F(DetectorTest, FrontDoorMatchesFollowTheHistory)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    const uint64_t *expected = protocol_frontdoor_symbols(p);
    const uint64_t symbols[] = {17, 19, 6, 0, 3, kNone};
    std::mt19937 gen(1215);
    // Window factors that move the windows' ends.
    for (const float window_factor : {1.0f, 0.5f, 2.0f}) {
        SCOPED_TRACE(window_factor);
        decoder_settings *s = one_detector(0, 0.85f, window_factor);
        detector *d = s != nullptr ? new_detector(s, p, 0, kRate, 0) : nullptr;
        ASSERT_NE(d, nullptr);
        for (int k = 0; k < 2000; ++k) {
            if (gen() % 500 == 0)
                detector_reset(d);
            else
                detector_push_decision(d, frame_decision{symbols[gen() % 6], 1.0f});
            int32_t matches = 0;
            for (uint32_t i = 0; i < protocol_frontdoor_length(p); ++i) {
                const int32_t from = d->header_positions[i];
                const int32_t lo = std::clamp(from + d->windows[i].start, 0, d->history_length);
                const int32_t hi = std::clamp(from + d->windows[i].end, 0, d->history_length);
                for (int32_t e = lo; e < hi; ++e)
                    matches += detector_history_entry(d, e).symbol == expected[i];
            }
            ASSERT_EQ(d->frontdoor_matches, matches) << "frame " << k;
        }
        del_detector(d);
        del_decoder_settings(s);
    }
    del_protocol(p);
}

TEST_F(DetectorTest, LengthOutsideTheProtocolNeverLocks)
{
    protocol *standard = new_default_protocol();
    // Lengths 3 to 6 with parity growing from 0 to 6: a length of 1 would
    // give 252 parity bytes and 149 data symbols for 20 results.
    protocol *from3 = protocol_with_lengths(3, 6, 0, 6);
    decoder_settings *s = one_detector();
    ASSERT_TRUE(standard && from3 && s);
    struct Case {
        const char *what;
        const protocol *p;
        std::vector<uint64_t> lengths; // one header each, the detector set idle in between
        bool reset_before_last;
        uint32_t length; // after the last header; 0: no lock
    } cases[] = {
        {"length 0", standard, {0}, false, 0},
        {"length 7 above the maximum", standard, {7}, false, 0},
        {"length 6", standard, {6}, false, 6},
        {"length 1 below the minimum", from3, {1}, false, 0},
        {"length 2 below the minimum", from3, {2}, false, 0},
        {"length 3", from3, {3}, false, 3},
        {"a bad length keeps the last good one", standard, {4, 7}, false, 4},
        {"until a reset", standard, {4, 7}, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        detector *d = new_detector(s, c.p, 0, kRate, 0);
        ASSERT_NE(d, nullptr);
        Watch w;
        watch(d, &w);
        for (size_t i = 0; i < c.lengths.size(); ++i) {
            if (i + 1 == c.lengths.size() && c.reset_before_last)
                detector_reset(d);
            detector_set_state(d, DETECTOR_STATE_IDLE);
            w.started = 0;
            // The header and the data slots that fit the results.
            std::vector<uint64_t> frame = {17, 19, c.lengths[i]};
            for (int j = 0; j < 3; ++j)
                frame.push_back(1);
            for (const frame_decision &f : clean_stream(frame, 0)) {
                detector_push_decision(d, f);
                ASSERT_LE(d->collected, d->data_count);
            }
        }
        EXPECT_EQ(w.started, c.length != 0 ? 1 : 0);
        if (c.length != 0) {
            EXPECT_EQ(d->length, c.length);
            EXPECT_EQ(d->symbols_needed + 3u, protocol_symbol_count_for_length(c.p, static_cast<uint8_t>(c.length)));
        }
        del_detector(d);
    }
    del_decoder_settings(s);
    del_protocol(from3);
    del_protocol(standard);
}

TEST_F(DetectorTest, BetterFrontDoorTakesOverOnlyWithinOneHeaderSlot)
{
    protocol *p = new_default_protocol();
    decoder_settings *s = one_detector();
    ASSERT_TRUE(p && s);
    detector *d = new_detector(s, p, 0, kRate, 0);
    ASSERT_NE(d, nullptr);
    // Stop on the frame with the perfect alignment: the history then holds a
    // front door of score 1.
    for (const frame_decision &f : clean_stream({17, 19, 6, 1}, 0)) {
        detector_push_decision(d, f);
        if (d->lock_score == 1.0f)
            break;
    }
    ASSERT_EQ(d->lock_score, 1.0f);
    struct Case {
        uint32_t state;
        int32_t frames_since_lock;
        float lock_score;
        bool accepted;
    } cases[] = {
        {DETECTOR_STATE_IDLE, 500, 1.0f, true},       {DETECTOR_STATE_COLLECTING, 59, 0.9f, true},
        {DETECTOR_STATE_COLLECTING, 60, 0.9f, false}, {DETECTOR_STATE_COLLECTING, 0, 1.0f, false},
        {DETECTOR_STATE_COMPLETE, 10, 0.9f, true},    {DETECTOR_STATE_WAITING, 60, 0.9f, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << " " << c.frames_since_lock << " " << c.lock_score);
        d->state = c.state;
        d->frames_since_lock = c.frames_since_lock;
        d->lock_score = c.lock_score;
        EXPECT_EQ(detector_find_frontdoor(d), c.accepted);
        EXPECT_EQ(d->lock_score, c.accepted ? 1.0f : c.lock_score);
    }
    del_detector(d);
    del_decoder_settings(s);
    del_protocol(p);
}

TEST_F(DetectorTest, StateChangesAndResetKeepTheRightThings)
{
    protocol *p = new_default_protocol();
    decoder_settings *s = one_detector();
    ASSERT_TRUE(p && s);
    detector *d = new_detector(s, p, 0, kRate, 0);
    ASSERT_NE(d, nullptr);
    Watch w;
    watch(d, &w);

    // Collecting on request: counters cleared, one start, none when already collecting.
    d->collected = 3;
    d->frames_since_lock = 7;
    detector_set_state(d, DETECTOR_STATE_COLLECTING);
    EXPECT_EQ(w.started, 1);
    d->collected = 3;
    d->frames_since_lock = 7;
    detector_set_state(d, DETECTOR_STATE_COLLECTING);
    EXPECT_EQ(w.started, 1);
    EXPECT_EQ(d->collected, 0u);
    EXPECT_EQ(d->frames_since_lock, 0);
    detector_set_state(d, 9);
    EXPECT_EQ(d->state, DETECTOR_STATE_COLLECTING);

    // A forced collection without a length completes at its first vote with
    // a failed message instead of running past the results.
    for (int k = 0; k < 200 && w.finished == 0; ++k)
        detector_push_decision(d, frame_decision{kNone, 0.0f});
    EXPECT_EQ(w.finished, 1);
    EXPECT_EQ(d->collected, 1u);
    EXPECT_EQ(d->state, DETECTOR_STATE_COMPLETE);
    EXPECT_EQ(w.state, TOVAN_STATE_UNCORRECTABLE);

    const tovan *m = detector_result(d);
    ASSERT_NE(m, nullptr);
    detector_reset(d);
    EXPECT_EQ(detector_result(d), m);
    EXPECT_EQ(d->state, DETECTOR_STATE_IDLE);
    EXPECT_EQ(d->length, 0u);
    EXPECT_EQ(d->lock_score, 0.0f);
    EXPECT_EQ(detector_history_entry(d, d->history_length - 1).symbol, 0u);
    del_detector(d);
    del_decoder_settings(s);
    del_protocol(p);
}

} // namespace
