// Costs of the receive front end: the real FFT, one power spectrum, and a
// second of 44.1 kHz audio through FIFO, analyser and noise filters at the
// default receiver settings (FFT 2048, hop 64).
#include "dsp/backend/dsp_backend.h"
#include "dsp/frame_buffer.h"
#include "dsp/noise_filter.h"
#include "dsp/spectrum_analyser.h"
#if defined(TOVAN_DSP_BACKEND_GENERIC)
#include "dsp/generic/rdft.h"
#endif
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr int kFftSize = 2048;
constexpr int kHop = 64;
constexpr int kSampleRate = 44100;
constexpr int kBlock = 441; // 10 ms input blocks
// Default detectors with a noise filter, and their band at 44.1 kHz / 2048.
constexpr float kFactors[] = {0.1875f, 0.375f, 0.5625f, 0.75f};
constexpr uint32_t kLowBin = 80;
constexpr uint32_t kHighBin = 519;

std::vector<float> test_audio(size_t count)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = 0.5f * math_sin(0.3f * static_cast<float>(i)) + noise(gen);
    return x;
}

uint64_t allocations_so_far()
{
    return memory_manager_get_header_bytes() / 8;
}

// The real FFT exists in the portable build only.
#if defined(TOVAN_DSP_BACKEND_GENERIC)
void BM_Rdft(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<double> input(n);
    const std::vector<float> audio = test_audio(n);
    for (int i = 0; i < n; ++i)
        input[i] = audio[i];
    std::vector<double> a(n), w(n);
    std::vector<int> ip(n);
    rdft(n, 1, input.data(), ip.data(), w.data()); // build the tables
    for (auto _ : state) {
        // The copy (n doubles) is part of the figure; it keeps the input fixed.
        std::memcpy(a.data(), input.data(), n * sizeof(double));
        rdft(n, 1, a.data(), ip.data(), w.data());
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Rdft)->Arg(kFftSize);
#endif

void BM_PowerSpectrum(benchmark::State &state)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    fft_backend fb{};
    if (!fft_backend_init(&fb, kFftSize)) {
        state.SkipWithError("fft_backend_init failed");
        memory_manager_release();
        return;
    }
    const std::vector<float> frame = test_audio(kFftSize);
    fft_backend_power_spectrum(&fb, kFftSize, frame.data());
    for (auto _ : state) {
        fft_backend_power_spectrum(&fb, kFftSize, frame.data());
        benchmark::DoNotOptimize(fb.power);
        benchmark::ClobberMemory();
    }
    fft_backend_free(&fb);
    memory_manager_release();
}
BENCHMARK(BM_PowerSpectrum);

// One iteration is one second of audio: pushes of 10 ms blocks, every frame
// through the analyser, and each filtering detector's copy of the spectrum
// through its noise filter, as a channel's receiver does. Time per iteration
// is the CPU cost per second of audio.
void BM_FrontEndPerSecondOfAudio(benchmark::State &state)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    frame_buffer *fifo = new_frame_buffer(kFftSize, kHop, 64, sizeof(float));
    spectrum_analyser *sa = new_spectrum_analyser(kFftSize);
    noise_filter *filters[4] = {};
    bool ok = fifo != nullptr && sa != nullptr;
    for (int d = 0; d < 4 && ok; ++d) {
        filters[d] = new_noise_filter(kLowBin, kHighBin);
        ok = filters[d] != nullptr && noise_filter_set_factor(filters[d], kFactors[d]);
    }
    std::vector<float> copies[4];
    for (auto &c : copies)
        c.resize(kFftSize / 2);
    const std::vector<float> audio = test_audio(kSampleRate);

    uint64_t frames = 0;
    uint64_t allocations = 0;
    if (!ok)
        state.SkipWithError("front end could not be built");
    for (auto _ : state) {
        if (!ok)
            break;
        const uint64_t before = allocations_so_far();
        for (int at = 0; at < kSampleRate; at += kBlock) {
            const int count = kSampleRate - at < kBlock ? kSampleRate - at : kBlock;
            frame_buffer_push(fifo, audio.data() + at, count * sizeof(float));
            while (const void *frame = frame_buffer_pop(fifo)) {
                const float *spectrum = spectrum_analyser_process(sa, static_cast<const float *>(frame));
                for (int d = 0; d < 4; ++d) {
                    std::memcpy(copies[d].data(), spectrum, kFftSize / 2 * sizeof(float));
                    noise_filter_apply(filters[d], copies[d].data());
                }
                ++frames;
            }
        }
        allocations += allocations_so_far() - before;
        benchmark::DoNotOptimize(copies[3].data());
        benchmark::ClobberMemory();
    }
    state.counters["frames_per_audio_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
    state.counters["allocs_per_audio_s"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    for (noise_filter *f : filters)
        del_noise_filter(f);
    del_spectrum_analyser(sa);
    del_frame_buffer(fifo);
    memory_manager_release();
}
BENCHMARK(BM_FrontEndPerSecondOfAudio)->Unit(benchmark::kMillisecond);

} // namespace
