// Costs of the receive front end: the real FFT, one power spectrum, and a
// second of 44.1 kHz audio through FIFO, analyser and noise filters at the
// default receiver settings (FFT 2048, hop 64).
#include "bench/frontend_common.h"
#include "dsp/backend/dsp_backend.h"
#if defined(TOVAN_DSP_BACKEND_GENERIC)
#include "dsp/generic/rdft.h"
#endif
#include "runtime/memory_manager.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using namespace frontend_bench;

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
BENCHMARK(BM_Rdft)->RangeMultiplier(2)->Range(512, 4096);
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
    FrontEnd fe;
    const bool ok = fe.build();
    const std::vector<float> audio = test_audio(kSampleRate);

    uint64_t allocations = 0;
    if (!ok)
        state.SkipWithError("front end could not be built");
    for (auto _ : state) {
        if (!ok)
            break;
        const uint64_t before = allocations_so_far();
        fe.second_of_audio(audio);
        allocations += allocations_so_far() - before;
        benchmark::DoNotOptimize(fe.copies[3].data());
        benchmark::ClobberMemory();
    }
    state.counters["frames_per_audio_s"] =
        benchmark::Counter(static_cast<double>(fe.frames), benchmark::Counter::kAvgIterations);
    state.counters["allocs_per_audio_s"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    fe.destroy();
    memory_manager_release();
}
BENCHMARK(BM_FrontEndPerSecondOfAudio)->Unit(benchmark::kMillisecond);

} // namespace
