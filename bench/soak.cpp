// Soak run: hours of simulated 44.1 kHz audio between two handles, as fast as
// the machine goes. A sender plays a random payload every few seconds; the
// receiver hears it scaled by a random gain under white noise of a random
// level (both drawn anew for every transmission), in blocks of random size
// through the float and int16 paths. Every few simulated minutes a line
// reports what was sent and decoded, what went wrong, and the tracked heap.
//
// A false payload is one the receiver reports that was not the payload in
// flight: the one figure that must stay 0 whatever the noise. The tracked
// bytes in use are read between transmissions, when both handles are idle;
// they move within a small range there, because each detector keeps the last
// message it decoded, whose size follows its payload. The figure that must
// not move is the one after configuring both handles afresh, at the start
// (once the grow-only int16 buffer has reached the largest block) and at the
// end: any tracked block leaked on the way shows there.
//
// Usage: tovan_soak [hours of audio, default 1] [seed, default 1] [minutes between reports, default 5]
#include "runtime/memory_manager.h"
#include "sdk/config.h"
#include "sdk/tovan_sdk.h"

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;

struct counts {
    uint64_t sent = 0;         // on_sent on the sender
    uint64_t decoded = 0;      // on_received with the payload in flight
    uint64_t undecodable = 0;  // on_received without a payload
    uint64_t missed = 0;       // no on_received before the next send was due
    uint64_t false_payload = 0; // on_received with bytes that were not in flight
    uint64_t false_starts = 0; // on_receiving with nothing in flight
};

struct soak {
    sdk_handle *tx = nullptr;
    sdk_handle *rx = nullptr;
    counts c;
    std::vector<uint8_t> in_flight; // the payload being sent or awaited; empty: none
    bool answered = false;          // the receiver reported on the payload in flight
    bool sent_done = false;         // the sender finished rendering it
};

soak *g_soak = nullptr;

void on_sent(void *, const uint8_t *, size_t, uint8_t)
{
    g_soak->c.sent += 1;
    g_soak->sent_done = true;
}

void on_receiving(void *, const uint8_t *, size_t, uint8_t)
{
    if (g_soak->in_flight.empty())
        g_soak->c.false_starts += 1;
}

void on_received(void *, const uint8_t *payload, size_t length, uint8_t)
{
    soak &s = *g_soak;
    if (payload == nullptr) {
        s.c.undecodable += 1;
    } else if (!s.in_flight.empty() && !s.answered && length == s.in_flight.size() &&
               std::memcmp(payload, s.in_flight.data(), length) == 0) {
        s.c.decoded += 1;
    } else {
        s.c.false_payload += 1;
        std::printf("  false payload of %zu bytes\n", length);
    }
    if (!s.in_flight.empty())
        s.answered = true;
}

long rss_kib()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, "VmRSS: %ld", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

// Configures (again) and starts; callbacks survive a new configuration.
void configure(sdk_handle *h, const char *config)
{
    if (tovan_sdk_set_config(h, config) != TOVAN_SDK_OK || tovan_sdk_start(h) != TOVAN_SDK_OK) {
        std::fprintf(stderr, "soak: a handle could not be configured\n");
        std::exit(1);
    }
}

sdk_handle *configured(const char *config, bool receiver)
{
    sdk_handle *h = new_tovan_sdk();
    if (h == nullptr) {
        std::fprintf(stderr, "soak: no handle\n");
        std::exit(1);
    }
    configure(h, config);
    sdk_callbacks cb{};
    if (receiver) {
        cb.on_receiving = on_receiving;
        cb.on_received = on_received;
    } else {
        cb.on_sent = on_sent;
    }
    tovan_sdk_set_callbacks(h, cb);
    return h;
}

} // namespace

int main(int argc, char **argv)
{
    const double hours = argc > 1 ? std::atof(argv[1]) : 1.0;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    const double report_minutes = argc > 3 ? std::atof(argv[3]) : 5.0;
    const uint64_t total = static_cast<uint64_t>(hours * 3600.0 * kRate);
    const uint64_t report_every = static_cast<uint64_t>(report_minutes * 60.0 * kRate);

    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<float> gauss(0.0f, 1.0f);

    // The config string is read from the library's own writer once; the two
    // handles then hold the tracked heap.
    sdk_handle *holder = new_tovan_sdk();
    char *text = sdk_standard_config_text();
    const std::string config = text != nullptr ? text : "";
    tovan_sdk_free(text);
    soak s;
    g_soak = &s;
    s.tx = configured(config.c_str(), false);
    s.rx = configured(config.c_str(), true);
    del_tovan_sdk(&holder); // reports the other two handles as in use: expected
    tovan_sdk_set_random_seed(s.tx, seed);

    std::vector<float> out(4096), in(4096);
    std::vector<int16_t> in16(4096);
    // The int16 buffer grows once to the largest block; then both pipelines
    // anew, and the reference figure.
    tovan_sdk_process_shorts_input(s.rx, in16.data(), in16.size());
    configure(s.tx, config.c_str());
    configure(s.rx, config.c_str());
    const uint32_t start_usage = memory_manager_get_usage();
    const uint32_t start_allocations = memory_manager_get_header_bytes() / 8;
    uint32_t idle_min = UINT32_MAX;
    uint32_t idle_max = 0;
    float gain = 1.0f;
    float noise = 0.0f;
    uint64_t next_send = kRate; // first transmission after one second
    uint64_t give_up = 0;       // when an unanswered transmission counts as missed
    uint32_t last_idle_usage = start_usage;
    uint64_t next_report = report_every;
    const auto wall_start = std::chrono::steady_clock::now();

    std::printf("soak: %.2f h of audio at %u Hz, seed %u, payload every 1-4 s after the last one is settled\n", hours,
                kRate, seed);
    std::printf("%8s %6s %8s %7s %6s %6s %7s %11s %9s %9s %6s\n", "minutes", "sent", "decoded", "undec", "missed",
                "false", "fstarts", "idle bytes", "allocs", "rss KiB", "x real");
    for (uint64_t t = 0; t < total;) {
        // A transmission is settled when the receiver answered, or when its
        // time ran out; the heap is read in the idle moment that follows.
        if (!s.in_flight.empty() && s.sent_done && (s.answered || t >= give_up)) {
            if (!s.answered)
                s.c.missed += 1;
            s.in_flight.clear();
            next_send = t + static_cast<uint64_t>((1.0 + 3.0 * unit(rng)) * kRate);
            last_idle_usage = memory_manager_get_usage();
            idle_min = last_idle_usage < idle_min ? last_idle_usage : idle_min;
            idle_max = last_idle_usage > idle_max ? last_idle_usage : idle_max;
        }
        if (s.in_flight.empty() && t >= next_send) {
            size_t length = 0;
            uint8_t *payload = tovan_sdk_random_payload(s.tx, &length);
            s.in_flight.assign(payload, payload + length);
            tovan_sdk_free(payload);
            s.answered = false;
            s.sent_done = false;
            if (tovan_sdk_send(s.tx, s.in_flight.data(), s.in_flight.size()) != TOVAN_SDK_OK) {
                std::fprintf(stderr, "soak: send refused\n");
                return 1;
            }
            const float seconds = tovan_sdk_get_duration_for_payload_length(s.tx, length);
            give_up = t + static_cast<uint64_t>((seconds + 2.0f) * kRate);
            // Signal level 0.05 to 1, noise RMS 10^-4 to 10^-0.5 on a log scale.
            gain = static_cast<float>(0.05 + 0.95 * unit(rng));
            noise = static_cast<float>(std::pow(10.0, -4.0 + 3.5 * unit(rng)));
        }

        const size_t n = 1 + static_cast<size_t>(unit(rng) * 4095.0);
        tovan_sdk_process_output(s.tx, out.data(), n);
        for (size_t i = 0; i < n; ++i)
            in[i] = gain * out[i] + noise * gauss(rng);
        if (unit(rng) < 0.5) {
            tovan_sdk_process_input(s.rx, in.data(), n);
        } else {
            for (size_t i = 0; i < n; ++i) {
                const float v = std::fmax(-1.0f, std::fmin(in[i], 32767.0f / 32768.0f)) * 32768.0f;
                in16[i] = static_cast<int16_t>(v);
            }
            tovan_sdk_process_shorts_input(s.rx, in16.data(), n);
        }
        t += n;

        if (t >= next_report || t >= total) {
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
            std::printf("%8.1f %6" PRIu64 " %8" PRIu64 " %7" PRIu64 " %6" PRIu64 " %6" PRIu64 " %7" PRIu64
                        " %11u %9u %9ld %6.1f\n",
                        static_cast<double>(t) / kRate / 60.0, s.c.sent, s.c.decoded, s.c.undecodable, s.c.missed,
                        s.c.false_payload, s.c.false_starts, last_idle_usage,
                        memory_manager_get_header_bytes() / 8 - start_allocations, rss_kib(),
                        static_cast<double>(t) / kRate / wall);
            std::fflush(stdout);
            next_report += report_every;
        }
    }

    std::printf("decoded/sent %" PRIu64 "/%" PRIu64 " (%.1f%%), undecodable %" PRIu64 ", missed %" PRIu64
                ", false payloads %" PRIu64 ", false starts %" PRIu64 "\n",
                s.c.decoded, s.c.sent, s.c.sent > 0 ? 100.0 * static_cast<double>(s.c.decoded) / s.c.sent : 0.0,
                s.c.undecodable, s.c.missed, s.c.false_payload, s.c.false_starts);
    const uint32_t allocations = memory_manager_get_header_bytes() / 8 - start_allocations;
    configure(s.tx, config.c_str());
    configure(s.rx, config.c_str());
    const uint32_t end_usage = memory_manager_get_usage();
    std::printf("tracked bytes in use between transmissions: %u to %u\n", idle_min, idle_max);
    std::printf("tracked bytes in use on fresh pipelines: start %u, end %u (%s)\n", start_usage, end_usage,
                start_usage == end_usage ? "equal" : "CHANGED");
    std::printf("allocations: %u in all, %.1f per transmission\n", allocations,
                s.c.sent > 0 ? static_cast<double>(allocations) / static_cast<double>(s.c.sent) : 0.0);
    sdk_error e1 = del_tovan_sdk(&s.tx);
    sdk_error e2 = del_tovan_sdk(&s.rx);
    std::printf("del_tovan_sdk: %u then %u (4 for the first: the other handle is still alive)\n", e1, e2);
    return s.c.false_payload == 0 && start_usage == end_usage && e2 == TOVAN_SDK_OK ? 0 : 1;
}
