#include "coding/signal_maths.h"

#include "runtime/float_math.h"
#include "runtime/random.h"

namespace {

constexpr float kMinLevel = 1e-9f;
constexpr float kMaxLevel = 1e9f;

} // namespace

float db_to_amplitude(float x)
{
    return math_pow(10.0f, x * 0.05f);
}

float amplitude_to_db(float x)
{
    // Lower bound first, written so that NaN takes it.
    if (!(x >= kMinLevel))
        x = kMinLevel;
    if (x > kMaxLevel)
        x = kMaxLevel;
    return 20.0f * math_log10(x);
}

float db_to_power(float x)
{
    return math_pow(10.0f, x * 0.1f);
}

float power_to_db(float x)
{
    // Upper bound first, written so that NaN takes it.
    if (!(x <= kMaxLevel))
        x = kMaxLevel;
    if (x < kMinLevel)
        x = kMinLevel;
    return 10.0f * math_log10(x);
}

float tone_frequency(float x, float base, float spacing)
{
    if (spacing == 0.0f)
        return math_pow(2.0f, x / 12.0f) * base;
    return x * spacing + base;
}

void mix_noise(float *samples, int32_t n, float level_db)
{
    const float g = level_db < 0.0f ? math_pow(10.0f, 0.05f * level_db) : 1.0f;
    for (int32_t i = 0; i < n; ++i) {
        const float r = random_range_float(-1.0f, 1.0f);
        samples[i] = samples[i] * (1.0f - g);
        samples[i] = samples[i] + g * r;
    }
}

float rms(const float *samples, uint64_t n)
{
    float sum = 0.0f;
    for (uint64_t i = 0; i < n; ++i)
        sum += samples[i] * samples[i];
    return math_sqrt(sum / static_cast<float>(n));
}

uint8_t count_symbol_differences(const uint64_t *a, const uint64_t *b, uint8_t n)
{
    uint8_t d = 0;
    for (uint32_t i = 0; i < n; ++i)
        d = static_cast<uint8_t>(d + (a[i] != b[i]));
    return d;
}

void shuffle_symbols(uint64_t *symbols, uint8_t n)
{
    for (uint32_t i = n; i >= 1; --i) {
        const uint32_t j = random_next_u32() % i;
        const uint64_t t = symbols[i - 1];
        symbols[i - 1] = symbols[j];
        symbols[j] = t;
    }
}
