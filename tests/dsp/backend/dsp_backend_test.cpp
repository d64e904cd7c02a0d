// Behaviour every backend shares: these cases hold for each build's
// implementation, to single-precision accuracy where spectra are compared.
#include "dsp/backend/dsp_backend.h"
#include "support/memory_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Some builds need one successful fft_backend_init before a vector operation.
class VectorOpsTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        ASSERT_TRUE(fft_backend_init(&fb_, 64));
    }
    void TearDown() override
    {
        fft_backend_free(&fb_);
        TrackedHeapTest::TearDown();
    }
    fft_backend fb_{};
};

TEST_F(VectorOpsTest, ElementwiseResultsInPlaceToo)
{
    const float a[4] = {1.0f, -2.0f, 0.5f, 3.0f};
    const float b[4] = {3.0f, 4.0f, 0.25f, -3.0f};
    struct Case {
        const char *name;
        void (*run)(const float *, const float *, float *, uint64_t);
        float want[4];
    };
    const Case cases[] = {
        {"add", vector_add, {4.0f, 2.0f, 0.75f, 0.0f}},
        {"multiply", vector_multiply, {3.0f, -8.0f, 0.125f, -9.0f}},
        {"subtract: second minus first", vector_subtract, {2.0f, 6.0f, -0.25f, -6.0f}},
        {"scale by b[0]", [](const float *x, const float *y, float *out, uint64_t n) { vector_scale(x, out, n, y[0]); },
         {3.0f, -6.0f, 1.5f, 9.0f}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        float out[5] = {9.0f, 9.0f, 9.0f, 9.0f, 9.0f};
        c.run(a, b, out, 4);
        EXPECT_EQ(std::vector<float>(out, out + 5), std::vector<float>({c.want[0], c.want[1], c.want[2], c.want[3], 9.0f}));
        float in_place[4] = {a[0], a[1], a[2], a[3]};
        c.run(in_place, b, in_place, 4);
        EXPECT_EQ(std::vector<float>(in_place, in_place + 4), std::vector<float>(c.want, c.want + 4));
        c.run(a, b, out, 0);
        EXPECT_EQ(out[0], c.want[0]);
    }
}

// Where a backend has nothing below its start value (all NaN or +infinity)
// the answers differ, and its own tests say how.
TEST_F(VectorOpsTest, MinIndexTakesTheFirstSmallestAndNeverNan)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char *name;
        std::vector<float> v;
        uint32_t index; // 77: left as the caller had it
        float min;
    };
    const Case cases[] = {
        {"empty: nothing written", {}, 77, 5.0f},      {"ties", {2.0f, 1.0f, 1.0f}, 1, 1.0f},
        {"NaN first", {nan, 5.0f, 7.0f}, 1, 5.0f},      {"NaN between", {3.0f, nan, -1.0f, nan}, 2, -1.0f},
        {"negative infinity", {0.0f, -inf, -inf}, 1, -inf}, {"single", {7.5f}, 0, 7.5f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t index = 77;
        float min = 5.0f;
        vector_min_index(c.v.data(), c.v.size(), &index, &min);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(min, c.min);
    }
}

std::vector<float> tone(int n, double amplitude, double bin)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::cos(2.0 * std::numbers::pi * bin * i / n));
    return x;
}

class FftBackendTest : public TrackedHeapTest {};

TEST_F(FftBackendTest, RefusesUnsupportedSizesWithoutAllocating)
{
    for (uint16_t n : {0, 1, 3, 6, 1000, 2047, 2049, 32769, 49152, 65535}) {
        SCOPED_TRACE(n);
        fft_backend fb{};
        memory_manager_fail_at(1, true);
        EXPECT_FALSE(fft_backend_init(&fb, n));
        EXPECT_EQ(memory_manager_requests_seen(), 0u);
        memory_manager_fail_at(0, false);
    }
}

TEST_F(FftBackendTest, WindowIsTheSinglePrecisionHannBitForBit)
{
    // Every build's window is (1 - cos(i x 2pi / (n - 1))) x 0.5 with each
    // step in single precision (the portable build widens it, exactly): the
    // builds agree to the bit. The same formula in double rounds differently
    // at some positions, which the count below shows this check can see.
    for (uint16_t n : {2, 4, 64, 2048, 32768}) {
        SCOPED_TRACE(n);
        fft_backend fb{};
        ASSERT_TRUE(fft_backend_init(&fb, n));
        int off = 0, double_differs = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const float c = std::cos((static_cast<float>(i) * 6.2831855f) / static_cast<float>(n - 1));
            const float want = (1.0f - c) * 0.5f;
            off += static_cast<double>(fb.window[i]) != static_cast<double>(want);
            const double exact = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * i / (n - 1)));
            double_differs += static_cast<float>(exact) != want;
        }
        EXPECT_EQ(off, 0);
        EXPECT_EQ(fb.window[0], 0.0f);
        if (n >= 64) {
            EXPECT_GT(double_differs, 0);
        }
        fft_backend_free(&fb);
    }
}

TEST_F(FftBackendTest, ZeroAndConstantFrames)
{
    for (uint16_t n : {4, 64, 2048}) {
        SCOPED_TRACE(n);
        fft_backend fb{};
        ASSERT_TRUE(fft_backend_init(&fb, n));
        EXPECT_EQ(fb.n, n);
        fft_backend_power_spectrum(&fb, n, std::vector<float>(n, 0.0f).data());
        EXPECT_EQ(std::vector<float>(fb.power, fb.power + n / 2), std::vector<float>(n / 2, 0.0f));

        // Constant c: bin 0 is (c x window sum)^2, bin 1 about a quarter of it,
        // and the symmetric window leaks on the order of 1/n^2 further out.
        const float c = 0.25f;
        fft_backend_power_spectrum(&fb, n, std::vector<float>(n, c).data());
        double window_sum = 0;
        for (int i = 0; i < n; ++i)
            window_sum += 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * i / (n - 1)));
        const double p0 = (c * window_sum) * (c * window_sum);
        EXPECT_NEAR(fb.power[0], p0, 1e-5 * p0);
        if (n > 4) {
            EXPECT_NEAR(fb.power[1] / p0, 0.25, 1e-3 + 1.0 / n);
            const float leak = *std::max_element(fb.power + 2, fb.power + n / 2);
            EXPECT_LE(leak, 0.25 / (static_cast<double>(n) * n) * p0);
        }
        fft_backend_free(&fb);
    }
}

TEST_F(FftBackendTest, PureTonePeakAndPower)
{
    struct Case {
        uint16_t n;
        double amplitude;
        int bin;
    };
    const Case cases[] = {{2048, 0.5, 100}, {2048, 1.0, 519}, {1024, 0.25, 81}, {256, 0.9, 3}, {32768, 0.1, 4000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " bin " << c.bin);
        fft_backend fb{};
        ASSERT_TRUE(fft_backend_init(&fb, c.n));
        const std::vector<float> x = tone(c.n, c.amplitude, c.bin);
        fft_backend_power_spectrum(&fb, c.n, x.data());
        EXPECT_EQ(std::max_element(fb.power, fb.power + c.n / 2) - fb.power, c.bin);
        // About (A (n-1)/4)^2, neighbours at a quarter up to the window's 1/n.
        const double want = c.amplitude * (c.n - 1) / 4.0;
        EXPECT_NEAR(fb.power[c.bin], want * want, 2e-3 * want * want);
        EXPECT_NEAR(fb.power[c.bin - 1] / fb.power[c.bin], 0.25, 1e-3 + 0.5 / c.n);
        EXPECT_NEAR(fb.power[c.bin + 1] / fb.power[c.bin], 0.25, 1e-3 + 0.5 / c.n);

        // Again, with the tables built by the first call: the same bits.
        const std::vector<float> first(fb.power, fb.power + c.n / 2);
        fft_backend_power_spectrum(&fb, c.n, x.data());
        EXPECT_EQ(std::vector<float>(fb.power, fb.power + c.n / 2), first);

        // Normalised, the tone reads about A (n-1)/n.
        fft_backend_normalise(&fb, c.n);
        EXPECT_NEAR(fb.power[c.bin], c.amplitude * (c.n - 1) / c.n, 2e-3 * c.amplitude);
        fft_backend_free(&fb);
    }
}

TEST_F(FftBackendTest, TwoPointFrameIsSilent)
{
    // The symmetric 2-point window is {0, 0}: the single bin is always 0.
    fft_backend fb{};
    ASSERT_TRUE(fft_backend_init(&fb, 2));
    const float pair[2] = {0.75f, -0.5f};
    fft_backend_power_spectrum(&fb, 2, pair);
    EXPECT_EQ(fb.power[0], 0.0f);
    fft_backend_free(&fb);
}

TEST_F(FftBackendTest, InitFailuresLeaveNothingAllocated)
{
    sweep_allocation_failures([] {
        fft_backend fb{};
        if (!fft_backend_init(&fb, 256))
            return false;
        fft_backend_power_spectrum(&fb, 256, tone(256, 0.5, 10).data());
        fft_backend_free(&fb);
        return true;
    });
}

} // namespace
