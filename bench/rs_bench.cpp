// Reed-Solomon cost per frame at the default protocol's shape: 6 payload
// bytes, no CRC, 6 parity bytes. Each iteration makes and deletes its codec,
// as the frame coder does for every encode and decode.
#include "coding/gf/rs_codec.h"
#include "runtime/memory_manager.h"

#include <cstdint>

#include <benchmark/benchmark.h>

namespace {

constexpr uint64_t kPayload = 6;
constexpr uint64_t kParity = 6;
const uint8_t payload[kPayload] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const uint8_t parity[kParity] = {0x60, 0xBD, 0x3B, 0x24, 0x13, 0x28};

// Tracked allocations per iteration, from the manager's header counter
// (8 bytes per allocation ever made).
void count_allocations(benchmark::State &state, uint32_t header_bytes_before)
{
    const double made = static_cast<double>(memory_manager_get_header_bytes() - header_bytes_before) / 8.0;
    state.counters["allocations"] = benchmark::Counter(made, benchmark::Counter::kAvgIterations);
}

void BM_RsEncodeDefaultFrame(benchmark::State &state)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    const uint32_t before = memory_manager_get_header_bytes();
    for (auto _ : state) {
        rs_codec *codec = new_rs_codec(8, kPayload, kParity);
        rs_codeword *word = rs_codec_encode(codec, payload);
        benchmark::DoNotOptimize(rs_codeword_parity(word)[0]);
        del_rs_codeword(word);
        del_rs_codec(codec);
    }
    count_allocations(state, before);
    memory_manager_release();
}

// Decodes the frame with the first `errors` bytes of message and parity
// changed, alternating between the two halves.
void BM_RsDecodeDefaultFrame(benchmark::State &state)
{
    const int errors = static_cast<int>(state.range(0));
    uint8_t received[kPayload + kParity];
    for (uint64_t i = 0; i < kPayload; ++i)
        received[i] = payload[i];
    for (uint64_t i = 0; i < kParity; ++i)
        received[kPayload + i] = parity[i];
    for (int e = 0; e < errors; ++e)
        received[(e % 2 == 0 ? 0 : kPayload) + e / 2] ^= static_cast<uint8_t>(0x5A + e);
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    const uint32_t before = memory_manager_get_header_bytes();
    for (auto _ : state) {
        rs_codec *codec = new_rs_codec(8, kPayload, kParity);
        rs_codeword *word = rs_codec_decode(codec, received);
        if (word == nullptr || rs_codeword_error_count(word) != errors) {
            state.SkipWithError("decode did not correct the frame");
            del_rs_codeword(word);
            del_rs_codec(codec);
            break;
        }
        benchmark::DoNotOptimize(rs_codeword_message(word)[0]);
        del_rs_codeword(word);
        del_rs_codec(codec);
    }
    count_allocations(state, before);
    memory_manager_release();
}

} // namespace

BENCHMARK(BM_RsEncodeDefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RsDecodeDefaultFrame)->Arg(0)->Arg(kParity / 2)->ArgName("errors")->Unit(benchmark::kMicrosecond);
