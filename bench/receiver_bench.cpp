// Cost of the receive path with the default protocol and settings (44.1 kHz,
// FFT 2048, hop 64, five detectors): 1024-sample input blocks through the
// frame FIFO, every frame through the analyser and one channel's receiver.
// Figures: CPU milliseconds per second of audio, idle (low noise) and while
// receiving transmissions; the slowest single 1024-sample call; the heap one
// receiver holds; and the allocations made while feeding (a completed
// transmission takes one message per detector that read it, nothing else).
// BM_ReceiverFramesOnly times the receiver alone (its five detectors) over
// spectra worked out beforehand, so that its figure does not move with the
// cost of the transform: microseconds per frame and CPU milliseconds per
// second of audio.
//
// Each body is a plain function over a built chain, so a small timing program
// can run the same code where Google Benchmark is not available.
#include "coding/protocol.h"
#include "coding/symbol_buffer.h"
#include "coding/tovan.h"
#include "dsp/frame_buffer.h"
#include "dsp/spectrum_analyser.h"
#include "modem/receiver/decoder_settings.h"
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kBlock = 1024;

struct chain {
    protocol *p = nullptr;
    decoder_settings *s = nullptr;
    frame_buffer *fifo = nullptr;
    spectrum_analyser *analyser = nullptr;
    receiver *rx = nullptr;
    uint32_t receiver_heap = 0; // bytes the receiver took at construction
    uint64_t receptions = 0;    // received callbacks with a decoded message
    uint64_t completions = 0;   // detectors that decoded a transmission
};

void on_completion(detector *, const tovan *, void *user)
{
    ++static_cast<chain *>(user)->completions;
}

void on_received(receiver *, const tovan *m, void *user)
{
    if (m != nullptr && tovan_get_state(m) == TOVAN_STATE_DECODED)
        ++static_cast<chain *>(user)->receptions;
}

bool build(chain &c)
{
    c.p = new_default_protocol();
    c.s = new_default_decoder_settings();
    if (c.p == nullptr || c.s == nullptr)
        return false;
    c.fifo = new_frame_buffer(c.s->fft_size, c.s->hop, 64, sizeof(float));
    c.analyser = new_spectrum_analyser(c.s->fft_size);
    const uint32_t before = memory_manager_get_usage();
    c.rx = new_receiver(c.s, c.p, false, 0);
    c.receiver_heap = memory_manager_get_usage() - before;
    if (c.rx != nullptr) {
        receiver_set_received_callback(c.rx, on_received, &c);
        receiver_set_detector_finished_callback(c.rx, on_completion, &c);
    }
    return c.fifo != nullptr && c.analyser != nullptr && c.rx != nullptr;
}

void teardown(chain &c)
{
    del_receiver(c.rx);
    del_spectrum_analyser(c.analyser);
    del_frame_buffer(c.fifo);
    del_decoder_settings(c.s);
    del_protocol(c.p);
}

struct feed_figures {
    double worst_call_ms = 0.0;     // wall clock: what a real-time caller waits
    double worst_call_cpu_ms = 0.0; // CPU: the same without the machine's other load
    uint64_t allocations = 0;
};

// Feeds audio in kBlock-sample calls, timing each call.
feed_figures feed(chain &c, const std::vector<float> &audio)
{
    feed_figures f;
    const uint64_t before = memory_manager_get_header_bytes() / 8;
    for (size_t at = 0; at < audio.size(); at += kBlock) {
        const size_t n = audio.size() - at < kBlock ? audio.size() - at : kBlock;
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        frame_buffer_push(c.fifo, audio.data() + at, n * sizeof(float));
        while (const void *frame = frame_buffer_pop(c.fifo))
            receiver_process_frame(c.rx, spectrum_analyser_process(c.analyser, static_cast<const float *>(frame)));
        const double cpu = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        f.worst_call_ms = ms > f.worst_call_ms ? ms : f.worst_call_ms;
        f.worst_call_cpu_ms = cpu > f.worst_call_cpu_ms ? cpu : f.worst_call_cpu_ms;
    }
    f.allocations = memory_manager_get_header_bytes() / 8 - before;
    return f;
}

std::vector<float> low_noise(size_t n)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> noise(-0.03f, 0.03f);
    std::vector<float> x(n);
    for (float &v : x)
        v = noise(gen);
    return x;
}

// Back-to-back transmissions of random 6-byte payloads, each followed by a
// quarter second of low noise.
std::vector<float> transmissions(const protocol *p, int count)
{
    std::vector<float> out;
    transmitter *t = new_transmitter(p);
    symbol_buffer *bytes = new_symbol_buffer(protocol_bits_per_symbol(p), 6);
    std::mt19937 gen(99);
    const std::vector<float> gap = low_noise(kRate / 4);
    std::vector<float> block(4096);
    for (int i = 0; i < count && t != nullptr && bytes != nullptr; ++i) {
        uint8_t payload[6];
        for (uint8_t &b : payload)
            b = static_cast<uint8_t>(gen());
        symbol_buffer_set_bytes(bytes, payload);
        tovan *m = new_tovan(p);
        if (m != nullptr && tovan_encode(m, bytes) == 0 && transmitter_send(t, m) == 0) {
            while (transmitter_state(t) == TRANSMITTER_STATE_SENDING) {
                transmitter_render(t, block.data(), block.size());
                out.insert(out.end(), block.begin(), block.end());
            }
        }
        del_tovan(m);
        out.insert(out.end(), gap.begin(), gap.end());
    }
    del_symbol_buffer(bytes);
    del_transmitter(t);
    return out;
}

// The tracked heap and a built chain; false, with the case skipped and
// nothing left, when the chain cannot be built.
bool start(benchmark::State &state, chain &c)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    if (build(c))
        return true;
    state.SkipWithError("receive chain could not be built");
    teardown(c);
    memory_manager_release();
    return false;
}

void run(benchmark::State &state, bool receiving)
{
    chain c;
    if (!start(state, c))
        return;
    const std::vector<float> audio = receiving ? transmissions(c.p, 4) : low_noise(kRate);
    const double audio_seconds = static_cast<double>(audio.size()) / kRate;
    feed(c, audio); // warm up: caches, noise estimates
    c.receptions = 0;
    c.completions = 0;
    double worst = 0.0;
    double worst_cpu = 0.0;
    uint64_t allocations = 0;
    uint64_t iterations = 0;
    const std::clock_t cpu_start = std::clock();
    for (auto _ : state) {
        const feed_figures f = feed(c, audio);
        worst = f.worst_call_ms > worst ? f.worst_call_ms : worst;
        worst_cpu = f.worst_call_cpu_ms > worst_cpu ? f.worst_call_cpu_ms : worst_cpu;
        allocations += f.allocations;
        ++iterations;
        benchmark::ClobberMemory();
    }
    const double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    const double fed = audio_seconds * static_cast<double>(iterations > 0 ? iterations : 1);
    state.counters["cpu_ms_per_audio_s"] = cpu_ms / fed;
    state.counters["worst_1024_call_ms"] = worst;
    state.counters["worst_1024_call_cpu_ms"] = worst_cpu;
    state.counters["receiver_heap_bytes"] = c.receiver_heap;
    if (receiving) {
        state.counters["decoded_per_iteration"] =
            static_cast<double>(c.receptions) / static_cast<double>(iterations > 0 ? iterations : 1);
        // Every allocation while receiving belongs to a completion's decode.
        state.counters["allocs_per_completion"] =
            static_cast<double>(allocations) / static_cast<double>(c.completions > 0 ? c.completions : 1);
    } else {
        state.counters["allocs_per_audio_s"] = static_cast<double>(allocations) / fed;
    }
    teardown(c);
    memory_manager_release();
}

// One iteration: one second of low noise, nothing to receive.
void BM_ReceivePathIdle(benchmark::State &state)
{
    run(state, false);
}
BENCHMARK(BM_ReceivePathIdle)->Unit(benchmark::kMillisecond);

// One iteration: four transmissions of 6 bytes with gaps, about 9 s of audio.
void BM_ReceivePathReceiving(benchmark::State &state)
{
    run(state, true);
}
BENCHMARK(BM_ReceivePathReceiving)->Unit(benchmark::kMillisecond);

// One iteration: the spectra of two transmissions with gaps (about 4.5 s of
// audio), every one through the receiver.
void BM_ReceiverFramesOnly(benchmark::State &state)
{
    chain c;
    if (!start(state, c))
        return;
    const std::vector<float> audio = transmissions(c.p, 2);
    const size_t bins = c.s->fft_size / 2;
    std::vector<float> spectra;
    for (size_t at = 0; at + kBlock <= audio.size(); at += kBlock) {
        frame_buffer_push(c.fifo, audio.data() + at, kBlock * sizeof(float));
        while (const void *frame = frame_buffer_pop(c.fifo)) {
            const float *spectrum = spectrum_analyser_process(c.analyser, static_cast<const float *>(frame));
            spectra.insert(spectra.end(), spectrum, spectrum + bins);
        }
    }
    const size_t frames = spectra.size() / bins;
    c.receptions = 0;
    uint64_t iterations = 0;
    const std::clock_t cpu_start = std::clock();
    for (auto _ : state) {
        for (size_t k = 0; k < frames; ++k)
            receiver_process_frame(c.rx, spectra.data() + k * bins);
        ++iterations;
        benchmark::ClobberMemory();
    }
    const double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    const double n = static_cast<double>(iterations > 0 ? iterations : 1);
    state.counters["us_per_frame"] = 1000.0 * cpu_ms / (n * static_cast<double>(frames));
    state.counters["cpu_ms_per_audio_s"] = cpu_ms / (n * static_cast<double>(frames * c.s->hop) / kRate);
    state.counters["decoded_per_iteration"] = static_cast<double>(c.receptions) / n;
    teardown(c);
    memory_manager_release();
}
BENCHMARK(BM_ReceiverFramesOnly)->Unit(benchmark::kMillisecond);

} // namespace
