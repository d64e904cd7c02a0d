#include "coding/signal_maths.h"

#include "runtime/random.h"

#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

TEST(SignalMathsTest, DecibelConversionsClampInTheirOwnOrder)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float (*fn)(float);
        float in, out;
    } cases[] = {
        {amplitude_to_db, 0.0f, -180.0f}, {amplitude_to_db, -3.0f, -180.0f}, {amplitude_to_db, 1e12f, 180.0f},
        {amplitude_to_db, nan, -180.0f},  {power_to_db, 0.0f, -90.0f},        {power_to_db, nan, 90.0f},
        {db_to_amplitude, -20.0f, 0.1f},  {db_to_amplitude, 0.0f, 1.0f},      {db_to_power, 20.0f, 100.0f},
    };
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(c.fn(c.in), c.out) << c.in;
}

TEST(SignalMathsTest, ToneFrequencyScales)
{
    EXPECT_EQ(tone_frequency(12.0f, 440.0f, 0.0f), 880.0f);
    EXPECT_EQ(tone_frequency(12.0f, 440.0f, -0.0f), 880.0f);
    EXPECT_EQ(tone_frequency(3.0f, 1760.0f, 50.0f), 1910.0f);
    EXPECT_TRUE(std::isnan(tone_frequency(3.0f, 1760.0f, std::numeric_limits<float>::quiet_NaN())));
}

TEST(SignalMathsTest, NoiseDrawsFromTheSharedGenerator)
{
    float samples[16];
    for (float &s : samples)
        s = 0.5f;
    random_set_seed(3);
    mix_noise(samples, 16, 0.0f); // pure noise
    random_set_seed(3);
    for (float s : samples)
        EXPECT_EQ(s, random_range_float(-1.0f, 1.0f));
    for (float &s : samples)
        s = 0.5f;
    mix_noise(samples, 16, -200.0f);
    EXPECT_FLOAT_EQ(rms(samples, 16), 0.5f);

    const uint64_t a[] = {1, 2, 3, 4};
    const uint64_t b[] = {1, 0, 3, 5};
    EXPECT_EQ(count_symbol_differences(a, b, 4), 2);
}

// Fisher-Yates from the end over the reference generator: position i - 1
// trades with a draw below i, for i from n down to 1.
TEST(SignalMathsTest, ShuffleSymbolsDrawsOncePerSymbolFromThePositionsLeft)
{
    for (const int n : {0, 1, 2, 7, 255}) {
        SCOPED_TRACE(n);
        std::vector<uint64_t> got(static_cast<size_t>(n));
        std::iota(got.begin(), got.end(), 100);
        std::vector<uint64_t> expected = got;
        std::mt19937 reference(11);
        for (int i = n; i >= 1; --i)
            std::swap(expected[static_cast<size_t>(i - 1)], expected[reference() % static_cast<uint32_t>(i)]);
        random_set_seed(11);
        shuffle_symbols(got.data(), static_cast<uint8_t>(n));
        EXPECT_EQ(got, expected);
        EXPECT_EQ(random_next_u32(), reference()) << "exactly n numbers drawn";
    }
}
