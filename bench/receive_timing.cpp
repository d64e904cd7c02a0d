// The receive path's cost as an application sees it: a handle configured with
// the standard config string, fed 44.1 kHz audio in 1024-sample blocks through
// tovan_sdk_process_input, nothing else of the library called. Two recordings:
// idle noise, and the same noise with a transmission every three seconds
// (rendered beforehand by a second handle, so its cost is not counted).
// Figures: thread CPU milliseconds per second of audio (best of the runs), the
// slowest single call of that run, and the payloads received (which must be
// every one sent).
//
// In the portable build it also times the real FFT against FFTW's
// double-precision real-to-complex transform, side by side, when the program
// was built with FFTW (bench/install-bench-deps.sh installs it): once as FFTW
// plans it for this processor and once without its SIMD code. FFTW serves as
// a yardstick only and is never part of the library.
//
// A plain program, so that it builds against earlier versions of the library
// too: only the public header (and, for the FFT rows, dsp/generic/rdft.h) is
// used.
//
// Usage: tovan_receive_timing [seconds of audio, default 30] [runs, default 3]
//                             [config file, default examples/standard.config]
#include "sdk/tovan_sdk.h"
#if defined(TOVAN_DSP_BACKEND_GENERIC)
#include "dsp/generic/rdft.h"
#endif
#if defined(TOVAN_BENCH_HAVE_FFTW)
#include <fftw3.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kBlock = 1024;
constexpr double kTransmissionEvery = 3.0; // seconds

double thread_cpu_ms()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

std::string read_config(const char *path)
{
    std::string text;
    if (FILE *f = std::fopen(path, "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, got);
        std::fclose(f);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

struct counts {
    uint64_t sent = 0;
    uint64_t received = 0;
};

void count_sent(void *user, const uint8_t *, size_t, uint8_t)
{
    ++static_cast<counts *>(user)->sent;
}

void count_received(void *user, const uint8_t *payload, size_t, uint8_t)
{
    if (payload != nullptr)
        ++static_cast<counts *>(user)->received;
}

sdk_handle *new_running_handle(const std::string &config, counts *c)
{
    sdk_handle *h = new_tovan_sdk();
    if (h == nullptr)
        return nullptr;
    sdk_callbacks cb{};
    cb.on_sent = count_sent;
    cb.on_received = count_received;
    if (tovan_sdk_set_config(h, config.c_str()) != TOVAN_SDK_OK || tovan_sdk_set_callbacks(h, cb) != TOVAN_SDK_OK ||
        tovan_sdk_set_callback_ptr(h, c) != TOVAN_SDK_OK || tovan_sdk_start(h) != TOVAN_SDK_OK) {
        del_tovan_sdk(&h);
        return nullptr;
    }
    tovan_sdk_set_random_seed(h, 7);
    return h;
}

// Low noise, the same samples on every run.
std::vector<float> noise(size_t count)
{
    std::mt19937 gen(2024);
    std::uniform_real_distribution<float> d(-0.02f, 0.02f);
    std::vector<float> x(count);
    for (float &v : x)
        v = d(gen);
    return x;
}

// Adds one transmission of a 6-byte payload every few seconds to `audio`;
// returns the number added, or -1 when the sender failed.
int add_transmissions(const std::string &config, std::vector<float> &audio)
{
    counts c;
    sdk_handle *tx = new_running_handle(config, &c);
    if (tx == nullptr)
        return -1;
    int added = 0;
    std::vector<float> block(kBlock);
    for (double at = 1.0; at + kTransmissionEvery <= static_cast<double>(audio.size()) / kRate;
         at += kTransmissionEvery) {
        const uint8_t payload[6] = {static_cast<uint8_t>(added), 0x11, 0x22, 0x33, 0x44, 0x55};
        if (tovan_sdk_send(tx, payload, sizeof payload) != TOVAN_SDK_OK)
            break;
        size_t pos = static_cast<size_t>(at * kRate);
        // A transmission of the standard protocol lasts about two seconds.
        for (int guard = 0; c.sent == static_cast<uint64_t>(added) && guard < 20 * static_cast<int>(kRate / kBlock);
             ++guard) {
            tovan_sdk_process_output(tx, block.data(), kBlock);
            for (size_t i = 0; i < kBlock && pos < audio.size(); ++i, ++pos)
                audio[pos] += 0.5f * block[i];
        }
        if (c.sent != static_cast<uint64_t>(added) + 1)
            break;
        ++added;
    }
    del_tovan_sdk(&tx);
    return added;
}

struct run_figures {
    double ms_per_second = 0; // CPU per second of audio
    double worst_call_ms = 0;
    uint64_t received = 0;
};

// Feeds `audio` to a fresh receiving handle in 1024-sample blocks.
bool feed(const std::string &config, const std::vector<float> &audio, run_figures &out)
{
    counts c;
    sdk_handle *rx = new_running_handle(config, &c);
    if (rx == nullptr)
        return false;
    double total = 0, worst = 0;
    bool ok = true;
    for (size_t at = 0; at + kBlock <= audio.size(); at += kBlock) {
        const double start = thread_cpu_ms();
        ok = ok && tovan_sdk_process_input(rx, audio.data() + at, kBlock) == TOVAN_SDK_OK;
        const double spent = thread_cpu_ms() - start;
        total += spent;
        worst = std::max(worst, spent);
    }
    out.ms_per_second = total / (static_cast<double>(audio.size()) / kRate);
    out.worst_call_ms = worst;
    out.received = c.received;
    del_tovan_sdk(&rx);
    return ok;
}

bool report_receive(const char *name, const std::string &config, const std::vector<float> &audio, int runs,
                    int expected)
{
    run_figures best;
    for (int r = 0; r < runs; ++r) {
        run_figures f;
        if (!feed(config, audio, f)) {
            std::printf("%s: the handle refused the audio\n", name);
            return false;
        }
        if (r == 0 || f.ms_per_second < best.ms_per_second)
            best = f;
    }
    std::printf("receive %-22s %8.3f ms CPU per second of audio, worst 1024-sample call %.3f ms, "
                "%llu of %d payloads received\n",
                name, best.ms_per_second, best.worst_call_ms, static_cast<unsigned long long>(best.received),
                expected);
    return best.received == static_cast<uint64_t>(expected);
}

#if defined(TOVAN_DSP_BACKEND_GENERIC)
using Clock = std::chrono::steady_clock;

// Microseconds per call of `run`, best of several rounds.
template <typename F>
double best_us(F run, int calls)
{
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < calls; ++i)
            run();
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls);
    }
    return best;
}

// The real FFT of n points, input copied in each time so that it stays fixed
// (FFTW's row does the same copy).
void report_rdft()
{
    for (int n = 512; n <= 4096; n *= 2) {
        std::vector<double> input(n), a(n), w(n);
        std::vector<int> ip(n);
        std::mt19937 gen(static_cast<uint32_t>(n));
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        for (double &v : input)
            v = d(gen);
        rdft(n, 1, a.data(), ip.data(), w.data()); // tables
        const int calls = 4000000 / n;
        const double ours = best_us(
            [&] {
                std::memcpy(a.data(), input.data(), n * sizeof(double));
                rdft(n, 1, a.data(), ip.data(), w.data());
                asm volatile("" : : "r"(a.data()) : "memory");
            },
            calls);
#if defined(TOVAN_BENCH_HAVE_FFTW)
        // Two yardsticks: FFTW as planned for this processor (its vector code
        // may use instructions our baseline build may not), and restricted
        // to its scalar code.
        double *in = fftw_alloc_real(n);
        fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
        double theirs[2];
        const unsigned flags[2] = {FFTW_MEASURE, FFTW_MEASURE | FFTW_NO_SIMD};
        for (int f = 0; f < 2; ++f) {
            fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, flags[f]);
            theirs[f] = best_us(
                [&] {
                    std::memcpy(in, input.data(), n * sizeof(double));
                    fftw_execute(plan);
                    asm volatile("" : : "r"(out) : "memory");
                },
                calls);
            fftw_destroy_plan(plan);
        }
        fftw_free(in);
        fftw_free(out);
        std::printf("rdft n %4d: %7.3f us, FFTW r2c %7.3f us (ratio %.2f), FFTW r2c without SIMD %7.3f us "
                    "(ratio %.2f)\n",
                    n, ours, theirs[0], ours / theirs[0], theirs[1], ours / theirs[1]);
#else
        std::printf("rdft n %4d: %7.3f us (built without FFTW: no ratio)\n", n, ours);
#endif
    }
}
#endif

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string path = argc > 3 ? argv[3] : TOVAN_SOURCE_DIR "/examples/standard.config";
    if (seconds < 4 || runs < 1) {
        std::fprintf(stderr, "usage: %s [seconds >= 4] [runs >= 1] [config file]\n", argv[0]);
        return 2;
    }
    const std::string config = read_config(path.c_str());
    if (config.empty()) {
        std::fprintf(stderr, "cannot read the config string from %s\n", path.c_str());
        return 1;
    }
    const std::vector<float> idle = noise(static_cast<size_t>(seconds) * kRate);
    std::vector<float> busy = idle;
    const int transmissions = add_transmissions(config, busy);
    if (transmissions <= 0) {
        std::fprintf(stderr, "the sending handle could not render transmissions\n");
        return 1;
    }
    bool ok = report_receive("idle noise", config, idle, runs, 0);
    ok = report_receive("transmission every 3 s", config, busy, runs, transmissions) && ok;
#if defined(TOVAN_DSP_BACKEND_GENERIC)
    report_rdft();
#endif
    return ok ? 0 : 1;
}
