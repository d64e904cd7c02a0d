// The detectors' per-frame stages work only on the bins their peak search
// reads, equalise and filter them in one pass, and skip runs of bins that
// cannot hold a peak. Here every detector of the standard settings, and of
// the same settings without curves, hears a set of recordings twice: through
// those fast stages, and through straightforward ones written below (the
// whole spectrum copied and equalised, the noise filter over the protocol's
// whole band, a peak search testing every bin). Both must give the same
// numbers on the bins read, the same peaks, frame decisions and votes, and
// the same callbacks.
#include "modem/receiver/detector.h"

#include "loopback_harness.h"
#include "reference_peaks.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "support/memory_fixture.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;

// The straightforward stages of one detector, with state of their own.
class reference_stages {
public:
    reference_stages(const decoder_settings *s, const protocol *p, uint8_t index, float factor, const detector *twin)
        : n_(s->fft_size), factor_(factor), low_bin_(twin->peaks->low_bin), high_bin_(twin->peaks->high_bin),
          peaks_(protocol_tones_per_symbol(p))
    {
        const detector_settings &rec = s->detectors[index];
        if (rec.curve_points != 0) {
            response_curve *c = new_response_curve(s->fft_size, kRate, rec.curve, rec.curve_points);
            gains_.assign(c->gains, c->gains + c->bins);
            del_response_curve(c);
        }
        if (rec.noise_subtraction != 0.0f) {
            subtraction_ = rec.noise_subtraction;
            smoothing_ = rec.noise_smoothing;
            // The protocol's band, a bin to spare at each end, where it is
            // heard at this factor.
            const float top = protocol_tone_frequency(p, static_cast<float>(protocol_tone_count(p)),
                                                      static_cast<uint8_t>(protocol_channel_count(p) - 1));
            const float low = static_cast<float>(n_) * ((protocol_tone_frequency(p, 0.0f, 0) / factor) / kRate) - 1.0f;
            const float high = static_cast<float>(n_) * ((top / factor) / kRate) + 1.0f;
            noise_lo_ = low < 0.0f ? 0 : static_cast<uint32_t>(low);
            noise_hi_ = high >= static_cast<float>(n_ / 2) ? n_ / 2 - 1 : static_cast<uint32_t>(high);
            noise_.assign(noise_hi_ - noise_lo_ + 1, 0.0f);
        }
    }

    // The working spectrum of a frame.
    const std::vector<float> &prepare(const float *spectrum)
    {
        work_.assign(spectrum, spectrum + n_ / 2);
        for (size_t b = 0; b < gains_.size(); ++b)
            work_[b] = gains_[b] * work_[b];
        const float one_minus = 1.0f - smoothing_;
        for (uint32_t b = noise_lo_; !noise_.empty() && b <= noise_hi_; ++b) {
            float &estimate = noise_[b - noise_lo_];
            const float in = work_[b];
            const float sub = subtraction_ * estimate;
            estimate = one_minus * in + smoothing_ * estimate;
            const float d = in - sub;
            work_[b] = d < 0.0f ? 0.0f : d;
        }
        return work_;
    }

    const std::vector<spectral_peak> &find_peaks(const std::vector<float> &x)
    {
        reference_find_peaks(x.data(), n_, kRate, factor_, low_bin_, high_bin_, peaks_);
        return peaks_;
    }

private:
    int32_t n_;
    float factor_;
    int32_t low_bin_, high_bin_;
    std::vector<float> gains_;
    float subtraction_ = 0.0f, smoothing_ = 0.0f;
    uint32_t noise_lo_ = 1, noise_hi_ = 0;
    std::vector<float> noise_;
    std::vector<float> work_;
    std::vector<spectral_peak> peaks_;
};

// What a detector reported, frame by frame.
struct report {
    uint64_t frame = 0;
    bool finished = false;
    uint32_t state = 0, corrected = 0;
    std::vector<uint8_t> payload;
    bool operator==(const report &) const = default;
};

struct report_log {
    uint64_t frame = 0;
    std::vector<report> reports;
};

void on_started(detector *, const tovan *, void *user)
{
    report_log *l = static_cast<report_log *>(user);
    l->reports.push_back(report{l->frame, false, 0, 0, {}});
}

void on_finished(detector *, const tovan *m, void *user)
{
    report_log *l = static_cast<report_log *>(user);
    report r{l->frame, true, tovan_get_state(m), tovan_get_corrected(m), {}};
    if (symbol_buffer *b = tovan_get_payload(m))
        r.payload.assign(symbol_buffer_bytes(b), symbol_buffer_bytes(b) + symbol_buffer_byte_count(b));
    l->reports.push_back(r);
}

bool same_bits(const void *a, const void *b, size_t bytes)
{
    return std::memcmp(a, b, bytes) == 0;
}

struct recording {
    const char *what;
    std::vector<float> samples;
    float factor;
};

std::vector<float> noise(size_t n, float rms, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> gauss(0.0f, rms);
    std::vector<float> x(n);
    for (float &v : x)
        v = gauss(gen);
    return x;
}

std::vector<uint8_t> random_payload(std::mt19937 &gen)
{
    std::vector<uint8_t> b(1 + gen() % 6);
    for (uint8_t &v : b)
        v = static_cast<uint8_t>(gen());
    return b;
}

// Adds `rms` of noise over the whole recording.
std::vector<float> with_noise(std::vector<float> x, float rms, uint32_t seed)
{
    const std::vector<float> n = noise(x.size(), rms, seed);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += n[i];
    return x;
}

class DetectorReferenceTest : public TrackedHeapTest {};

TEST_F(DetectorReferenceTest, FastStagesDecideAsTheStraightforwardOnes)
{
    protocol *p = new_default_protocol();
    decoder_settings *standard = new_default_decoder_settings();
    ASSERT_TRUE(p && standard);
    // The same detectors without their curves: the noise filter then takes
    // the shared spectrum as it is.
    float smoothing[8], subtraction[8], threshold[8], window_factor[8];
    int8_t shift[8];
    ASSERT_LE(standard->detector_count, 8u);
    for (uint8_t i = 0; i < standard->detector_count; ++i) {
        const detector_settings &rec = standard->detectors[i];
        smoothing[i] = rec.noise_smoothing;
        subtraction[i] = rec.noise_subtraction;
        shift[i] = rec.time_shift;
        threshold[i] = rec.frontdoor_threshold;
        window_factor[i] = rec.window_factor;
    }
    decoder_settings *flat =
        new_decoder_settings("flat", 0, standard->hop, standard->detector_count, standard->sample_rate,
                             standard->fft_size, smoothing, subtraction, shift, 0, nullptr, threshold, window_factor);
    ASSERT_NE(flat, nullptr);
    std::mt19937 gen(20261209);
    std::vector<recording> recordings;
    recordings.push_back({"noise", noise(2 * kRate, 0.05f, 1), 1.0f});
    std::vector<float> clean(kRate / 4, 0.0f);
    const std::vector<float> sent = loopback::render(p, random_payload(gen), 0.5f);
    clean.insert(clean.end(), sent.begin(), sent.end());
    loopback::append_silence(clean, kRate / 4);
    recordings.push_back({"a clean transmission", clean, 1.0f});
    // Loud enough noise that the detectors, which subtract different shares
    // of it, read different frames.
    recordings.push_back({"a noisy transmission", with_noise(clean, 0.12f, 2), 1.0f});
    std::vector<float> two = clean;
    const std::vector<float> second = loopback::render(p, random_payload(gen), 0.5f);
    two.insert(two.end(), second.begin(), second.end());
    loopback::append_silence(two, kRate / 4);
    recordings.push_back({"two in a row in noise", with_noise(two, 0.05f, 3), 1.0f});
    // Rendered 2 % slow and heard with the correction: bands moved.
    std::vector<float> slow = loopback::render(p, random_payload(gen), 0.5f, 45000);
    loopback::append_silence(slow, kRate / 4);
    recordings.push_back({"a slow clock, corrected", with_noise(slow, 0.02f, 4), 45000.0f / kRate});

    for (const decoder_settings *s : {standard, flat}) {
        SCOPED_TRACE(s->name);
        int finished = 0;
        for (const recording &r : recordings) {
            SCOPED_TRACE(r.what);
            frame_buffer *frames = new_frame_buffer(s->fft_size, s->hop, 64, sizeof(float));
            spectrum_analyser *analyser = new_spectrum_analyser(s->fft_size);
            ASSERT_TRUE(frames && analyser);
            std::vector<detector *> fast, straight;
            std::vector<reference_stages> stages;
            std::vector<report_log> fast_log(s->detector_count), straight_log(s->detector_count);
            for (uint8_t i = 0; i < s->detector_count; ++i) {
                fast.push_back(new_detector(s, p, 0, kRate, i));
                straight.push_back(new_detector(s, p, 0, kRate, i));
                ASSERT_TRUE(fast[i] && straight[i]);
                ASSERT_TRUE(detector_set_frequency_correction(fast[i], r.factor));
                ASSERT_TRUE(detector_set_frequency_correction(straight[i], r.factor));
                stages.emplace_back(s, p, i, r.factor, fast[i]);
                detector_set_started_callback(fast[i], on_started, &fast_log[i]);
                detector_set_finished_callback(fast[i], on_finished, &fast_log[i]);
                detector_set_started_callback(straight[i], on_started, &straight_log[i]);
                detector_set_finished_callback(straight[i], on_finished, &straight_log[i]);
            }
            uint64_t frame = 0;
            uint64_t mismatches = 0;
            for (size_t at = 0; at < r.samples.size() && mismatches == 0; at += 1024) {
                const size_t count = std::min<size_t>(1024, r.samples.size() - at);
                ASSERT_TRUE(frame_buffer_push(frames, r.samples.data() + at, count * sizeof(float)));
                while (const void *f = frame_buffer_pop(frames)) {
                    const float *spectrum = spectrum_analyser_process(analyser, static_cast<const float *>(f));
                    ++frame;
                    for (uint8_t i = 0; i < s->detector_count; ++i) {
                        detector *a = fast[i], *b = straight[i];
                        fast_log[i].frame = straight_log[i].frame = frame;
                        detector_process_frame(a, spectrum);
                        const std::vector<float> &work = stages[i].prepare(spectrum);
                        const std::vector<spectral_peak> &peaks = stages[i].find_peaks(work);
                        detector_push_peaks(b, peaks.data());
                        const frame_decision da = detector_history_entry(a, a->history_length - 1);
                        const frame_decision db = detector_history_entry(b, b->history_length - 1);
                        const bool worked = a->curve != nullptr || a->noise != nullptr;
                        const bool same =
                            (!worked || same_bits(a->spectrum + a->read_first, work.data() + a->read_first,
                                                  sizeof(float) * (a->read_last - a->read_first + 1))) &&
                            same_bits(a->peaks->peaks, peaks.data(), sizeof(spectral_peak) * peaks.size()) &&
                            da.symbol == db.symbol && same_bits(&da.confidence, &db.confidence, sizeof(float)) &&
                            a->state == b->state && a->collected == b->collected && a->length == b->length &&
                            same_bits(a->results, b->results, sizeof(uint64_t) * a->data_count);
                        if (!same) {
                            ADD_FAILURE() << "detector " << static_cast<int>(i) << " differs at frame " << frame;
                            ++mismatches;
                        }
                    }
                }
            }
            for (uint8_t i = 0; i < s->detector_count; ++i) {
                EXPECT_EQ(fast_log[i].reports, straight_log[i].reports) << "detector " << static_cast<int>(i);
                for (const report &rp : fast_log[i].reports)
                    finished += rp.finished && rp.state == TOVAN_STATE_DECODED;
                del_detector(fast[i]);
                del_detector(straight[i]);
            }
            del_spectrum_analyser(analyser);
            del_frame_buffer(frames);
        }
        // The recordings hold four transmissions that most detectors decode.
        EXPECT_GE(finished, 10);
    }
    del_decoder_settings(flat);
    del_decoder_settings(standard);
    del_protocol(p);
}

} // namespace
