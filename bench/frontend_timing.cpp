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
#include "dsp/backend/dsp_backend.h"
#include "dsp/frame_buffer.h"
#include "dsp/noise_filter.h"
#include "dsp/spectrum_analyser.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kFftSize = 2048;
constexpr int kHop = 64;
constexpr int kSampleRate = 44100;
constexpr int kBlock = 441; // 10 ms input blocks
// Default detectors with a noise filter, and their band at 44.1 kHz / 2048.
constexpr float kFactors[] = {0.1875f, 0.375f, 0.5625f, 0.75f};
constexpr uint32_t kLowBin = 80;
constexpr uint32_t kHighBin = 519;

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

struct FrontEnd {
    frame_buffer *fifo = nullptr;
    spectrum_analyser *analyser = nullptr;
    noise_filter *filters[4] = {};
    std::vector<float> copies[4];
    uint64_t frames = 0;

    bool build()
    {
        fifo = new_frame_buffer(kFftSize, kHop, 64, sizeof(float));
        analyser = new_spectrum_analyser(kFftSize);
        bool ok = fifo != nullptr && analyser != nullptr;
        for (int d = 0; d < 4 && ok; ++d) {
            filters[d] = new_noise_filter(kLowBin, kHighBin);
            ok = filters[d] != nullptr && noise_filter_set_factor(filters[d], kFactors[d]);
            copies[d].resize(kFftSize / 2);
        }
        return ok;
    }
    void second_of_audio(const std::vector<float> &audio)
    {
        for (int at = 0; at < kSampleRate; at += kBlock) {
            const int count = kSampleRate - at < kBlock ? kSampleRate - at : kBlock;
            frame_buffer_push(fifo, audio.data() + at, static_cast<uint64_t>(count) * sizeof(float));
            while (const void *frame = frame_buffer_pop(fifo)) {
                const float *spectrum = spectrum_analyser_process(analyser, static_cast<const float *>(frame));
                for (int d = 0; d < 4; ++d) {
                    std::memcpy(copies[d].data(), spectrum, kFftSize / 2 * sizeof(float));
                    noise_filter_apply(filters[d], copies[d].data());
                }
                ++frames;
            }
        }
    }
    void destroy()
    {
        for (noise_filter *f : filters)
            del_noise_filter(f);
        del_spectrum_analyser(analyser);
        del_frame_buffer(fifo);
    }
};

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
