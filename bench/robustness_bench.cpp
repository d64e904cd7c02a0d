// Robustness of the standard config through the exported interface, and the
// cost of sending and receiving. One row per condition; the figures are the
// counters (the time columns of the robustness rows only say how long the
// row took):
//
//   BM_DecodedShareAgainstSnr/noise_band:B/snr_db:S
//       random payloads (random lengths, fixed seed) heard in white noise at
//       S dB: the transmission's mean power over the noise's mean power. B 0:
//       noise over the whole band (0 to half the rate); B 1: noise limited to
//       the protocol's band (its tones, half a tone step beyond the outer
//       ones: about 1.7 to 10.9 kHz), so all its power lands where the tones
//       are.
//   BM_DecodedShareAgainstClockOffset/ppm:P/corrected:C
//       the same at 30 dB (full band), the sender's sample clock running
//       P ppm fast (negative: slow): the rendered samples resampled by
//       r = 1 + P / 1e6, which scales every tone and shortens every slot.
//       C 1: the receiver told with tovan_sdk_set_frequency_correction
//       (1 / r), which scales the frequencies it hears. Every payload here
//       uses the lowest and the highest tone, in four or more of its symbols
//       together (random payloads drawn until one does), so the rows show
//       what an offset does to the band's edges beyond what the parity can
//       always repair; tones_covered counts the tones the trials used.
//   Counters: decoded_pct (the payload sent), undecoded_pct (on_received
//       without a payload), missed_pct (no on_received), wrong (payloads
//       that were not the one sent), trials.
//
//   BM_FalsePayloadsInAMinuteOfNoise/noise_band:B/level_dbfs:L
//       one minute of noise alone at L dB below full scale (RMS): starts
//       (on_receiving), undecoded and false payloads (on_received with a
//       payload) in that minute.
//
//   BM_SendOneAudioSecond, BM_ReceiveOneAudioSecond
//       one iteration renders (tovan_sdk_process_output) or hears
//       (tovan_sdk_process_input) one second of 44.1 kHz audio in 1024-sample
//       calls, transmissions back to back: the CPU column is the CPU time per
//       second of audio.
//
// The trials use the same seeds on every run and every machine, so a build
// prints the same shares each time.
#include "coding/protocol.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "coding/symbol_buffer.h"
#include "coding/tovan.h"
#include "runtime/memory_manager.h"
#include "sdk/config.h"
#include "sdk/tovan_sdk.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kBlock = 1024;
constexpr int kTrials = 40;
// The transmission's RMS level: low enough that the noisiest rows stay
// within full scale.
constexpr float kSignalRms = 0.01f;

using bytes = std::vector<uint8_t>;

// The standard config string and the protocol's band in Hz, made once.
struct standard_setup {
    std::string config;
    double band_low = 0.0, band_high = 0.0;
};

const standard_setup &standard()
{
    static const standard_setup setup = [] {
        standard_setup s;
        memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
        char *text = sdk_standard_config_text();
        protocol *p = new_default_protocol();
        if (text != nullptr && p != nullptr) {
            s.config = text;
            const uint8_t last = static_cast<uint8_t>(protocol_channel_count(p) - 1);
            s.band_low = protocol_tone_frequency(p, -0.5f, 0);
            s.band_high = protocol_tone_frequency(p, static_cast<float>(protocol_tone_count(p)) - 0.5f, last);
        }
        tracked_free(text);
        del_protocol(p);
        memory_manager_release();
        return s;
    }();
    return setup;
}

// In-place radix-2 FFT (inverse when `inverse`), unscaled.
void fft(std::vector<std::complex<double>> &x, bool inverse)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = (inverse ? 2.0 : -2.0) * M_PI / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
                w *= step;
            }
        }
    }
}

// 2^22 samples (95 s) of Gaussian noise of unit RMS, limited to [low, high]
// Hz: random spectrum lines in the band, nothing outside, made once.
const std::vector<float> &band_noise()
{
    static const std::vector<float> noise = [] {
        const size_t n = size_t{1} << 22;
        std::vector<std::complex<double>> spectrum(n);
        std::mt19937 random(31337);
        std::normal_distribution<double> gauss(0.0, 1.0);
        const size_t low = static_cast<size_t>(standard().band_low * static_cast<double>(n) / kRate);
        const size_t high = static_cast<size_t>(standard().band_high * static_cast<double>(n) / kRate);
        for (size_t k = std::max<size_t>(low, 1); k <= high && k < n / 2; ++k) {
            spectrum[k] = {gauss(random), gauss(random)};
            spectrum[n - k] = std::conj(spectrum[k]);
        }
        fft(spectrum, true);
        double power = 0.0;
        for (const auto &v : spectrum)
            power += v.real() * v.real();
        const double scale = 1.0 / std::sqrt(power / static_cast<double>(n));
        std::vector<float> out(n);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(spectrum[i].real() * scale);
        return out;
    }();
    return noise;
}

// Noise of unit RMS: white over the whole band, or a stretch of the band
// noise from a random place.
class noise_source {
public:
    noise_source(bool in_band, uint32_t seed) : in_band_(in_band), random_(seed)
    {
        if (in_band_)
            at_ = random_() % band_noise().size();
    }
    float next()
    {
        if (!in_band_)
            return gauss_(random_);
        const std::vector<float> &b = band_noise();
        at_ = (at_ + 1) % b.size();
        return b[at_];
    }

private:
    bool in_band_;
    std::mt19937 random_;
    std::normal_distribution<float> gauss_{0.0f, 1.0f};
    size_t at_ = 0;
};

// The samples a receiver at the nominal rate takes of `x` played by a clock
// `ratio` times too fast: x read at n x ratio, by Hann-windowed sinc
// interpolation over 32 neighbours (kernel tabulated at 1/1024 sample).
std::vector<float> resample(const std::vector<float> &x, double ratio)
{
    if (ratio == 1.0)
        return x;
    constexpr int kHalf = 16;
    constexpr int kPhases = 1024;
    static const std::vector<float> kernel = [] {
        std::vector<float> k((2 * kHalf) * kPhases + 1);
        for (size_t i = 0; i < k.size(); ++i) {
            const double d = static_cast<double>(i) / kPhases - kHalf; // -kHalf .. kHalf
            const double sinc = d == 0.0 ? 1.0 : std::sin(M_PI * d) / (M_PI * d);
            k[i] = static_cast<float>(sinc * (0.5 + 0.5 * std::cos(M_PI * d / kHalf)));
        }
        return k;
    }();
    std::vector<float> y(static_cast<size_t>(static_cast<double>(x.size()) / ratio));
    for (size_t n = 0; n < y.size(); ++n) {
        const double t = static_cast<double>(n) * ratio;
        const long centre = static_cast<long>(std::floor(t));
        double sum = 0.0;
        for (long k = centre - kHalf + 1; k <= centre + kHalf; ++k) {
            if (k < 0 || k >= static_cast<long>(x.size()))
                continue;
            // Kernel at d = t - k, between table points.
            const double at = (t - static_cast<double>(k) + kHalf) * kPhases;
            const size_t i = std::min(static_cast<size_t>(at), kernel.size() - 2);
            const double w = kernel[i] + (kernel[i + 1] - kernel[i]) * (at - static_cast<double>(i));
            sum += x[static_cast<size_t>(k)] * w;
        }
        y[n] = static_cast<float>(sum);
    }
    return y;
}

// What one handle's callbacks saw.
struct heard {
    int starts = 0;
    std::vector<bytes> payloads; // on_received with a payload
    int undecoded = 0;           // on_received without one
};

void on_receiving(void *user, const uint8_t *, size_t, uint8_t)
{
    ++static_cast<heard *>(user)->starts;
}

void on_received(void *user, const uint8_t *payload, size_t length, uint8_t)
{
    heard *h = static_cast<heard *>(user);
    if (payload != nullptr)
        h->payloads.emplace_back(payload, payload + length);
    else
        ++h->undecoded;
}

// A started handle of the standard config whose callbacks fill `log`.
sdk_handle *listener(heard &log)
{
    sdk_handle *h = new_tovan_sdk();
    if (h == nullptr || tovan_sdk_set_config(h, standard().config.c_str()) != TOVAN_SDK_OK ||
        tovan_sdk_set_callback_ptr(h, &log) != TOVAN_SDK_OK ||
        tovan_sdk_set_callbacks(h, {nullptr, nullptr, nullptr, on_receiving, on_received}) != TOVAN_SDK_OK ||
        tovan_sdk_start(h) != TOVAN_SDK_OK) {
        del_tovan_sdk(&h);
        return nullptr;
    }
    return h;
}

bool hear(sdk_handle *h, const std::vector<float> &audio)
{
    for (size_t at = 0; at < audio.size(); at += kBlock)
        if (tovan_sdk_process_input(h, audio.data() + at, std::min(kBlock, audio.size() - at)) != TOVAN_SDK_OK)
            return false;
    return true;
}

// The transmission of a payload at full volume, cut after its last sample.
std::vector<float> render(const sdk_handle *h, const bytes &payload)
{
    std::vector<float> x(
        static_cast<size_t>(tovan_sdk_get_duration_for_payload_length(h, payload.size()) * kRate) + kRate);
    if (tovan_sdk_process_payload(h, payload.data(), payload.size(), x.data(), x.size()) != TOVAN_SDK_OK)
        return {};
    while (!x.empty() && x.back() == 0.0f)
        x.pop_back();
    return x;
}

struct tally {
    int decoded = 0, undecoded = 0, missed = 0, wrong = 0, trials = 0;
    int tones_covered = 0;
};

// Marks the tones the standard protocol's frame of `payload` uses in `seen`
// (one flag per tone) and tells whether they include the lowest and the
// highest, in kEdgeSymbols or more symbols together. Needs the tracked heap,
// so a handle must be alive.
constexpr int kEdgeSymbols = 4;
bool uses_edge_tones(const bytes &payload, std::vector<bool> &seen)
{
    protocol *p = new_default_protocol();
    tovan *m = p != nullptr ? new_tovan(p) : nullptr;
    symbol_buffer *b = p != nullptr ? new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(payload.size())) : nullptr;
    bool low = false, high = false;
    int edge_symbols = 0;
    if (m != nullptr && b != nullptr) {
        const uint16_t tones = protocol_tone_count(p);
        seen.resize(tones, false);
        symbol_buffer_set_bytes(b, payload.data());
        uint64_t *symbols = tovan_encode(m, b) == 0 ? tovan_symbols(m) : nullptr;
        std::vector<uint8_t> set(protocol_tones_per_symbol(p));
        for (uint32_t i = 0; symbols != nullptr && i < tovan_symbol_count(m); ++i) {
            if (protocol_tones_from_symbol(p, symbols[i], set.data()) != 0)
                continue;
            bool edge = false;
            for (uint8_t t : set) {
                seen[t] = true;
                low = low || t == 0;
                high = high || t + 1 == tones;
                edge = edge || t == 0 || t + 1 == tones;
            }
            edge_symbols += edge;
        }
        tracked_free(symbols);
    }
    del_symbol_buffer(b);
    del_tovan(m);
    del_protocol(p);
    return low && high && edge_symbols >= kEdgeSymbols;
}

// kTrials random payloads (with `edge_tones`, only ones that use the lowest
// and the highest tone), each heard by a fresh pipeline with the frequency
// correction `correction`: half a second of noise, the transmission
// (resampled by `ratio`) in noise `snr_db` below it, then 0.7 s of noise.
tally trials(bool in_band, double snr_db, double ratio, float correction, uint32_t seed, bool edge_tones = false)
{
    tally t;
    heard log;
    sdk_handle *h = listener(log);
    if (h == nullptr)
        return t;
    tovan_sdk_set_random_seed(h, seed);
    noise_source noise(in_band, seed + 1);
    const float noise_rms = kSignalRms / static_cast<float>(std::pow(10.0, snr_db / 20.0));
    std::vector<bool> seen;
    for (int i = 0; i < kTrials; ++i) {
        bytes payload;
        for (int draw = 0; draw < 10000; ++draw) {
            size_t length = 0;
            uint8_t *p = tovan_sdk_random_payload(h, &length);
            payload.assign(p, p + length);
            tovan_sdk_free(p);
            if (!edge_tones || uses_edge_tones(payload, seen))
                break;
        }
        std::vector<float> signal = resample(render(h, payload), ratio);
        double power = 0.0;
        for (float v : signal)
            power += static_cast<double>(v) * v;
        const float gain = kSignalRms / static_cast<float>(std::sqrt(power / static_cast<double>(signal.size())));
        std::vector<float> audio(kRate / 2, 0.0f);
        for (float v : signal)
            audio.push_back(v * gain);
        audio.resize(audio.size() + kRate * 7 / 10, 0.0f);
        for (float &v : audio)
            v += noise_rms * noise.next();

        log = heard{};
        if (tovan_sdk_set_config(h, standard().config.c_str()) != TOVAN_SDK_OK ||
            tovan_sdk_set_frequency_correction(h, correction) != TOVAN_SDK_OK || tovan_sdk_start(h) != TOVAN_SDK_OK ||
            !hear(h, audio))
            break;
        ++t.trials;
        for (const bytes &got : log.payloads)
            t.wrong += got != payload;
        if (std::find(log.payloads.begin(), log.payloads.end(), payload) != log.payloads.end())
            ++t.decoded;
        else if (log.undecoded > 0)
            ++t.undecoded;
        else
            ++t.missed;
    }
    del_tovan_sdk(&h);
    t.tones_covered = static_cast<int>(std::count(seen.begin(), seen.end(), true));
    return t;
}

void report(benchmark::State &state, const tally &t)
{
    const double n = t.trials > 0 ? t.trials : 1;
    state.counters["decoded_pct"] = 100.0 * t.decoded / n;
    state.counters["undecoded_pct"] = 100.0 * t.undecoded / n;
    state.counters["missed_pct"] = 100.0 * t.missed / n;
    state.counters["wrong"] = t.wrong;
    state.counters["trials"] = t.trials;
    if (t.tones_covered > 0)
        state.counters["tones_covered"] = t.tones_covered;
    if (t.trials < kTrials)
        state.SkipWithError("the handle refused a trial");
}

void BM_DecodedShareAgainstSnr(benchmark::State &state)
{
    tally t;
    for (auto _ : state)
        t = trials(state.range(0) != 0, static_cast<double>(state.range(1)), 1.0, 1.0f, 1000);
    report(state, t);
}
BENCHMARK(BM_DecodedShareAgainstSnr)
    ->ArgNames({"noise_band", "snr_db"})
    ->ArgsProduct({{0, 1}, {-18, -15, -14, -13, -12, -11, -10, -9, -8, -6, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_DecodedShareAgainstClockOffset(benchmark::State &state)
{
    const double ratio = 1.0 + static_cast<double>(state.range(0)) * 1e-6;
    // The correction multiplies the frequencies heard, so it undoes the
    // offset at 1 / ratio.
    const float correction = state.range(1) != 0 ? static_cast<float>(1.0 / ratio) : 1.0f;
    tally t;
    for (auto _ : state)
        t = trials(false, 30.0, ratio, correction, 2000, true);
    report(state, t);
}
BENCHMARK(BM_DecodedShareAgainstClockOffset)
    ->ArgNames({"ppm", "corrected"})
    ->ArgsProduct({{-10000, -5000, -4000, -3000, -2000, -1000, -100, 0, 100, 1000, 2000, 3000, 4000, 5000, 10000}, {0}})
    ->ArgsProduct({{-30000, -20000, -10000, -5000, 5000, 10000, 20000, 30000}, {1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_FalsePayloadsInAMinuteOfNoise(benchmark::State &state)
{
    heard log;
    for (auto _ : state) {
        log = heard{};
        sdk_handle *h = listener(log);
        noise_source noise(state.range(0) != 0, 3000);
        const float rms = static_cast<float>(std::pow(10.0, static_cast<double>(state.range(1)) / 20.0));
        std::vector<float> second(kRate);
        for (int s = 0; h != nullptr && s < 60; ++s) {
            for (float &v : second)
                v = std::clamp(rms * noise.next(), -1.0f, 1.0f);
            if (!hear(h, second))
                state.SkipWithError("the handle refused the noise");
        }
        if (h == nullptr || del_tovan_sdk(&h) != TOVAN_SDK_OK)
            state.SkipWithError("no clean handle");
    }
    state.counters["starts"] = log.starts;
    state.counters["undecoded"] = log.undecoded;
    state.counters["false_payloads"] = static_cast<double>(log.payloads.size());
}
BENCHMARK(BM_FalsePayloadsInAMinuteOfNoise)
    ->ArgNames({"noise_band", "level_dbfs"})
    ->ArgsProduct({{0, 1}, {-60, -40, -20, -10}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Random 6-byte payloads back to back, each sent as soon as the last ended.
void BM_SendOneAudioSecond(benchmark::State &state)
{
    sdk_handle *h = new_tovan_sdk();
    if (h == nullptr || tovan_sdk_set_config(h, standard().config.c_str()) != TOVAN_SDK_OK ||
        tovan_sdk_start(h) != TOVAN_SDK_OK) {
        state.SkipWithError("no handle");
        del_tovan_sdk(&h);
        return;
    }
    tovan_sdk_set_random_seed(h, 4000);
    std::vector<float> out(kBlock);
    for (auto _ : state) {
        for (size_t done = 0; done < kRate; done += kBlock) {
            if (tovan_sdk_get_state(h) != TOVAN_SDK_STATE_SENDING) {
                size_t length = 6;
                uint8_t *p = tovan_sdk_random_payload(h, &length);
                tovan_sdk_send(h, p, length);
                tovan_sdk_free(p);
            }
            tovan_sdk_process_output(h, out.data(), kBlock);
            benchmark::DoNotOptimize(out.data());
        }
    }
    del_tovan_sdk(&h);
}
BENCHMARK(BM_SendOneAudioSecond)->Unit(benchmark::kMillisecond);

// Ten seconds of transmissions with short gaps in low noise, heard again and
// again by one handle.
void BM_ReceiveOneAudioSecond(benchmark::State &state)
{
    heard log;
    sdk_handle *h = listener(log);
    if (h == nullptr) {
        state.SkipWithError("no handle");
        return;
    }
    tovan_sdk_set_random_seed(h, 5000);
    noise_source noise(false, 5001);
    std::vector<float> audio;
    while (audio.size() < 10 * kRate) {
        size_t length = 0;
        uint8_t *p = tovan_sdk_random_payload(h, &length);
        const std::vector<float> x = render(h, bytes(p, p + length));
        tovan_sdk_free(p);
        audio.insert(audio.end(), x.begin(), x.end());
        audio.resize(audio.size() + kRate / 4, 0.0f);
    }
    audio.resize(10 * kRate);
    for (float &v : audio)
        v = 0.3f * v + 0.003f * noise.next();
    size_t at = 0;
    for (auto _ : state) {
        for (size_t done = 0; done < kRate; done += kBlock, at = (at + kBlock) % (audio.size() - kBlock))
            tovan_sdk_process_input(h, audio.data() + at, kBlock);
    }
    state.counters["decoded_per_audio_s"] =
        benchmark::Counter(static_cast<double>(log.payloads.size()), benchmark::Counter::kAvgIterations);
    del_tovan_sdk(&h);
}
BENCHMARK(BM_ReceiveOneAudioSecond)->Unit(benchmark::kMillisecond);

} // namespace
