#include "runtime/random.h"

#include "runtime/convert.h"

#include <sys/time.h>

namespace {

constexpr uint32_t kStateWords = 624;
constexpr uint32_t kShift = 397;
constexpr uint32_t kNeverSeeded = kStateWords + 1;
constexpr uint32_t kDefaultSeed = 5489;
constexpr uint32_t kTwist[2] = {0u, 0x9908b0dfu};

uint32_t g_mt[kStateWords];
uint32_t g_index = kNeverSeeded;
uint32_t g_last_seed = 0;

void regenerate()
{
    for (uint32_t k = 0; k < kStateWords; ++k) {
        const uint32_t y = (g_mt[k] & 0x80000000u) | (g_mt[(k + 1) % kStateWords] & 0x7fffffffu);
        g_mt[k] = g_mt[(k + kShift) % kStateWords] ^ (y >> 1) ^ kTwist[y & 1u];
    }
}

} // namespace

void random_set_seed(uint32_t seed)
{
    g_last_seed = seed;
    g_mt[0] = seed;
    for (uint32_t i = 1; i < kStateWords; ++i)
        g_mt[i] = 1812433253u * (g_mt[i - 1] ^ (g_mt[i - 1] >> 30)) + i;
    g_index = kStateWords;
}

uint32_t random_get_seed()
{
    return g_last_seed;
}

uint32_t random_next_u32()
{
    uint32_t y;
    if (g_index < kStateWords) {
        y = g_mt[g_index++];
    } else {
        if (g_index == kNeverSeeded)
            random_set_seed(kDefaultSeed);
        regenerate();
        y = g_mt[0];
        g_index = 1;
    }
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

void random_forget_seed()
{
    for (uint32_t &word : g_mt)
        word = 0;
    g_index = kNeverSeeded;
    g_last_seed = 0;
}

void random_seed_from_clock()
{
    const int64_t ms = saturate_cast<int64_t>(clock_seconds() * 1000.0);
    random_set_seed(static_cast<uint32_t>(static_cast<uint64_t>(ms)));
}

uint64_t random_range(uint64_t lo, uint64_t hi)
{
    if (hi == lo)
        return hi;
    const uint64_t r = random_next_u32();
    return lo + r % (hi - lo);
}

float random_range_float(float lo, float hi)
{
    const float r = static_cast<float>(random_next_u32());
    const float unit = r * 2.3283064e-10f;
    return unit * (hi - lo) + lo;
}

double clock_seconds()
{
    // The wall clock in whole microseconds on every target, from the C
    // library (the C++ clocks would link their runtime part into the
    // deliverable).
    timeval now = {};
    gettimeofday(&now, nullptr);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_usec) / 1000000.0;
}
