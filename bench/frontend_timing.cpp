// Cost of the receive front end per second of 44.1 kHz audio, for whichever
// signal-processing backend the program is built with: 10 ms blocks through
// the frame FIFO, every frame (FFT 2048, hop 64) through the spectrum
// analyser, and each of four filtering detectors' copies of the spectrum
// through its noise filter, as a channel's receiver does.
//
// A plain program rather than a Google Benchmark case, so that it builds for
// every target and runs under qemu and wine too; there its figures compare
// backends with one another, not the emulated hardware with real hardware.
//
// Usage: frontend_timing [seconds of audio per run, default 5] [runs, default 5]
// Prints the backend, the best and the mean wall-clock milliseconds per second
// of audio over the runs, one power spectrum's cost, and the allocations made
// per processed second (which must be 0).
#include "bench/frontend_common.h"
#include "dsp/backend/dsp_backend.h"
#include "runtime/memory_manager.h"

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace frontend_bench;

#if defined(TOVAN_DSP_BACKEND_NE10)
constexpr const char *kBackend = "ne10";
#elif defined(TOVAN_DSP_BACKEND_ACCELERATE)
constexpr const char *kBackend = "accelerate";
#else
constexpr const char *kBackend = "generic";
#endif

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (seconds < 1 || runs < 1) {
        std::fprintf(stderr, "usage: %s [seconds >= 1] [runs >= 1]\n", argv[0]);
        return 2;
    }
    if (!memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW)) {
        std::fprintf(stderr, "memory manager could not start\n");
        return 1;
    }
    FrontEnd fe;
    if (!fe.build()) {
        std::fprintf(stderr, "front end could not be built\n");
        fe.destroy();
        memory_manager_release();
        return 1;
    }
    const std::vector<float> audio = test_audio(kSampleRate);
    fe.second_of_audio(audio); // warm-up: tables built, caches filled

    double best = 0, total = 0;
    uint64_t allocations = 0;
    for (int r = 0; r < runs; ++r) {
        const uint64_t before = allocations_so_far();
        const Clock::time_point start = Clock::now();
        for (int s = 0; s < seconds; ++s)
            fe.second_of_audio(audio);
        const double per_second = ms_since(start) / seconds;
        allocations += allocations_so_far() - before;
        best = (r == 0 || per_second < best) ? per_second : best;
        total += per_second;
    }

    // One power spectrum on its own, averaged over many calls.
    const int spectra = 200 * seconds;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < spectra; ++i)
        spectrum_analyser_process(fe.analyser, audio.data() + (i % 64) * kHop);
    const double per_spectrum_us = ms_since(start) * 1000.0 / spectra;

    const uint64_t frames_per_second = fe.frames / (static_cast<uint64_t>(seconds) * runs + 1);
    std::printf("backend %s: front end %.3f ms per second of audio (best of %d runs, mean %.3f), "
                "%" PRIu64 " frames per second, power spectrum %.2f us, %.2f allocations per second\n",
                kBackend, best, runs, total / runs, frames_per_second, per_spectrum_us,
                static_cast<double>(allocations) / (static_cast<double>(seconds) * runs));
    fe.destroy();
    memory_manager_release();
    return allocations == 0 ? 0 : 1;
}
