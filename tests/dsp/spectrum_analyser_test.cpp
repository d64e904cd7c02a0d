#include "dsp/spectrum_analyser.h"
#include "runtime/float_math.h"
#include "support/memory_fixture.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

namespace {

class SpectrumAnalyserTest : public TrackedHeapTest {};

std::vector<float> tone(int n, double amplitude, double bin)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * bin * i / n));
    return x;
}

TEST_F(SpectrumAnalyserTest, ReturnsItsOwnArrayEachFrame)
{
    spectrum_analyser *sa = new_spectrum_analyser(256);
    spectrum_analyser *fresh = new_spectrum_analyser(256);
    ASSERT_NE(sa, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(sa->normalise);
    const std::vector<float> first = tone(256, 0.5, 20), second = tone(256, 0.25, 40);
    const float *a = spectrum_analyser_process(sa, first.data());
    const float *b = spectrum_analyser_process(sa, second.data());
    EXPECT_EQ(a, b);
    const float *want = spectrum_analyser_process(fresh, second.data());
    EXPECT_EQ(std::vector<float>(b, b + 128), std::vector<float>(want, want + 128));
    del_spectrum_analyser(fresh);
    del_spectrum_analyser(sa);
    del_spectrum_analyser(nullptr);
}

TEST_F(SpectrumAnalyserTest, NormaliseGivesScaledMagnitudes)
{
    const uint32_t n = 2048;
    spectrum_analyser *sa = new_spectrum_analyser(n);
    ASSERT_NE(sa, nullptr);
    const std::vector<float> x = tone(n, 0.5, 100);
    const float *power = spectrum_analyser_process(sa, x.data());
    const std::vector<float> p(power, power + n / 2);
    spectrum_analyser_set_normalise(sa, true);
    const float *mag = spectrum_analyser_process(sa, x.data());
    for (uint32_t k = 0; k < n / 2; k += 37)
        EXPECT_FLOAT_EQ(mag[k], math_sqrt(p[k]) * (4.0f / n)) << k;
    EXPECT_NEAR(mag[100], 0.5f, 0.5f / n + 1e-4f);
    spectrum_analyser_set_normalise(sa, false);
    EXPECT_EQ(spectrum_analyser_process(sa, x.data())[100], p[100]);
    del_spectrum_analyser(sa);
}

TEST_F(SpectrumAnalyserTest, RefusesUnsupportedSizes)
{
    // 65538 would pass as 2 once cut to 16 bits.
    for (uint32_t n : {0u, 1u, 3u, 1000u, 65536u, 65538u, 0x10000800u}) {
        SCOPED_TRACE(n);
        memory_manager_fail_at(1, true);
        EXPECT_EQ(new_spectrum_analyser(n), nullptr);
        EXPECT_EQ(memory_manager_requests_seen(), 0u);
        memory_manager_fail_at(0, false);
    }
}

TEST_F(SpectrumAnalyserTest, AllocationFailuresLeaveNothing)
{
    const uint64_t allocations = sweep_allocation_failures([] {
        spectrum_analyser *sa = new_spectrum_analyser(128);
        if (sa == nullptr)
            return false;
        const std::vector<float> x = tone(128, 0.5, 5);
        spectrum_analyser_process(sa, x.data());
        del_spectrum_analyser(sa);
        return true;
    });
    EXPECT_GE(allocations, 2u);
}

} // namespace
