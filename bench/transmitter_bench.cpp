// Rendering cost of the transmitter: CPU time for one second of audio at
// 44100 Hz, in output blocks of 512 samples, for the default protocol (one
// tone per symbol) and for a three-tone protocol with effect and silent slots.
// The transmission restarts whenever it ends, outside the timed region.
#include "coding/protocol_frame.h"
#include "coding/tovan.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"

#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kBlock = 512;

protocol *make_protocol(int which)
{
    if (which == 0)
        return new_default_protocol();
    const uint64_t fd[2] = {17, 19};
    coding_params *coding = new_coding_params(5, 3, 1, 6, 0, 6, 6);
    modulation_params *modulation = new_modulation_params(1, fd, 2, "1*2 ", 1760.0f, 0.0f, 0.0f, 0.0872f, 0.0872f,
                                                          0.015f, 0.015f, 0.005f, 0.0f, 0.0f);
    return new_protocol("three tones", 0, coding, modulation);
}

void BM_TransmitterRenderOneSecond(benchmark::State &state)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    protocol *p = make_protocol(static_cast<int>(state.range(0)));
    tovan *m = new_tovan(p);
    uint8_t length = protocol_max_payload_length(p);
    tovan_random(m, &length);
    transmitter *t = new_transmitter(p);
    transmitter_send(t, m);
    std::vector<float> out(kBlock);
    uint64_t allocations = 0;
    for (auto _ : state) {
        memory_manager_fail_at(0, false); // restarts the request count
        for (size_t done = 0; done < kRate; done += kBlock) {
            if (transmitter_render(t, out.data(), kBlock) == TRANSMITTER_STATE_IDLE) {
                allocations += memory_manager_requests_seen();
                state.PauseTiming();
                transmitter_send(t, m);
                state.ResumeTiming();
                memory_manager_fail_at(0, false);
            }
            benchmark::DoNotOptimize(out.data());
        }
        allocations += memory_manager_requests_seen();
        benchmark::ClobberMemory();
    }
    state.counters["allocations"] = benchmark::Counter(static_cast<double>(allocations),
                                                       benchmark::Counter::kAvgIterations);
    del_transmitter(t);
    del_tovan(m);
    del_protocol(p);
    memory_manager_release();
}

} // namespace

BENCHMARK(BM_TransmitterRenderOneSecond)->Arg(0)->Arg(1)->ArgName("protocol")->Unit(benchmark::kMillisecond);
