// The receive front end as the benchmarks drive it: the default receiver's
// sizes and filtering detectors, a fixed test signal, and the chain of FIFO,
// spectrum analyser and noise filters that one channel's receiver runs.
#pragma once

#include "dsp/frame_buffer.h"
#include "dsp/noise_filter.h"
#include "dsp/spectrum_analyser.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace frontend_bench {

constexpr int kFftSize = 2048;
constexpr int kHop = 64;
constexpr int kSampleRate = 44100;
constexpr int kBlock = 441; // 10 ms input blocks
// Default detectors with a noise filter, and their band at 44.1 kHz / 2048.
constexpr float kFactors[] = {0.1875f, 0.375f, 0.5625f, 0.75f};
constexpr uint32_t kLowBin = 80;
constexpr uint32_t kHighBin = 519;

// A tone under light noise, the same samples on every run.
inline std::vector<float> test_audio(size_t count)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = 0.5f * math_sin(0.3f * static_cast<float>(i)) + noise(gen);
    return x;
}

// Tracked allocations made so far: each one costs 8 header bytes.
inline uint64_t allocations_so_far()
{
    return memory_manager_get_header_bytes() / 8;
}

struct FrontEnd {
    frame_buffer *fifo = nullptr;
    spectrum_analyser *analyser = nullptr;
    noise_filter *filters[4] = {};
    std::vector<float> copies[4];
    uint64_t frames = 0;

    // False when a part could not be built; destroy() is needed either way.
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
    // Pushes one second of `audio` in 10 ms blocks; every frame goes through
    // the analyser, and each filtering detector's copy of the spectrum
    // through its noise filter.
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

} // namespace frontend_bench
