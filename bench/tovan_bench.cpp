// Frame coding cost of the default protocol's longest frame (6 payload bytes,
// 6 parity bytes, 23 symbols): encode plus framing on the sending side, and
// decode of the 20 data symbols, clean and with as many bad bytes as the
// parity corrects, on the receiving side.
#include "coding/tovan.h"
#include "runtime/memory_manager.h"

#include <cstdint>

#include <benchmark/benchmark.h>

namespace {

const uint8_t payload_bytes[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

symbol_buffer *default_payload()
{
    symbol_buffer *b = new_symbol_buffer(5, 6);
    symbol_buffer_set_bytes(b, payload_bytes);
    return b;
}

void BM_TovanEncodeDefaultFrame(benchmark::State &state)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    protocol *p = new_default_protocol();
    symbol_buffer *payload = default_payload();
    for (auto _ : state) {
        tovan *m = new_tovan(p);
        tovan_encode(m, payload);
        uint64_t *symbols = tovan_symbols(m);
        benchmark::DoNotOptimize(symbols[22]);
        tracked_free(symbols);
        del_tovan(m);
    }
    del_symbol_buffer(payload);
    del_protocol(p);
    memory_manager_release();
}

// The data symbols with `errors` of their 12 bytes changed, alternating
// between payload and parity.
void BM_TovanDecodeDefaultFrame(benchmark::State &state)
{
    const int errors = static_cast<int>(state.range(0));
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    protocol *p = new_default_protocol();
    symbol_buffer *payload = default_payload();
    tovan *sent = new_tovan(p);
    tovan_encode(sent, payload);
    uint8_t frame[12];
    for (int i = 0; i < 6; ++i) {
        frame[i] = symbol_buffer_bytes(sent->payload)[i];
        frame[6 + i] = symbol_buffer_bytes(sent->parity)[i];
    }
    for (int e = 0; e < errors; ++e)
        frame[(e % 2 == 0 ? 0 : 6) + e / 2] ^= static_cast<uint8_t>(0x5A + e);
    symbol_buffer *data = new_symbol_buffer(5, 12);
    symbol_buffer_set_bytes(data, frame);
    for (auto _ : state) {
        tovan *m = new_tovan(p);
        const uint32_t rc = tovan_decode(m, data->symbols, data->symbol_count, 6);
        if (rc != 0 || tovan_get_corrected(m) != errors) {
            state.SkipWithError("decode did not correct the frame");
            del_tovan(m);
            break;
        }
        benchmark::DoNotOptimize(tovan_get_hex(m)[0]);
        del_tovan(m);
    }
    del_symbol_buffer(data);
    del_tovan(sent);
    del_symbol_buffer(payload);
    del_protocol(p);
    memory_manager_release();
}

} // namespace

BENCHMARK(BM_TovanEncodeDefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TovanDecodeDefaultFrame)->Arg(0)->Arg(3)->ArgName("errors")->Unit(benchmark::kMicrosecond);
