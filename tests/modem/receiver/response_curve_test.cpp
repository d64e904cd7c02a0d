#include "modem/receiver/response_curve.h"

#include "coding/signal_maths.h"
#include "dsp/backend/dsp_backend.h"
#include "modem/receiver/decoder_settings.h"
#include "support/dsp_backend_ready.h"
#include "support/memory_fixture.h"

#include <cmath>
#include <vector>

namespace {

// With the rate equal to the FFT size, bin i stands for exactly i Hz.
constexpr uint16_t kSize = 2048;
constexpr uint32_t kRate = 2048;

// Applying a curve multiplies through the signal-processing backend, which in
// some builds works only once an FFT record of the process has been set up, as
// a receiver's spectrum analyser always is before its curves are applied.
class ResponseCurveTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        prepare_dsp_backend();
    }
};

float db_of(const response_curve *rc, int bin)
{
    return 20.0f * std::log10(rc->gains[bin]);
}

TEST_F(ResponseCurveTest, InterpolatesInDecibelsBetweenPoints)
{
    const float curve[] = {0.0f, -75.8f, 20.0f, -70.1f, 100.0f, 0.0f, 500.0f, 6.0f};
    response_curve *rc = new_response_curve(kSize, kRate, curve, 4);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(rc->bins, 1024);
    struct Case {
        int bin;
        float db;
    } cases[] = {
        {0, -75.8f},   // on the first point
        {20, -70.1f},  // on an inner point
        {60, -35.05f}, // half way from 20 to 100 Hz
        {300, 3.0f},   // half way from 100 to 500 Hz
        {500, 6.0f},   // on the last point
        {1023, 6.0f},  // above the last point
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bin);
        EXPECT_NEAR(db_of(rc, c.bin), c.db, 1e-4f);
    }
    EXPECT_EQ(rc->gains[0], db_to_amplitude(-75.8f));
    del_response_curve(rc);
}

TEST_F(ResponseCurveTest, StandardCurvesStartAndEndOnTheirPoints)
{
    decoder_settings *s = new_default_decoder_settings();
    ASSERT_NE(s, nullptr);
    for (uint32_t d = 0; d < s->detector_count; ++d) {
        SCOPED_TRACE(d);
        const detector_settings *rec = &s->detectors[d];
        response_curve *rc = new_response_curve(s->fft_size, s->sample_rate, rec->curve, rec->curve_points);
        ASSERT_NE(rc, nullptr);
        EXPECT_EQ(rc->gains[0], db_to_amplitude(-75.8f));
        // The top bin (22028 Hz) lies between 20000 and 25100 Hz, both at -17.8 dB.
        EXPECT_EQ(rc->gains[1023], db_to_amplitude(-17.8f));
        for (uint32_t i = 0; i < rc->bins; ++i)
            ASSERT_TRUE(std::isfinite(rc->gains[i]) && rc->gains[i] > 0.0f) << i;
        del_response_curve(rc);
    }
    del_decoder_settings(s);
}

TEST_F(ResponseCurveTest, DegenerateCurvesGiveFiniteGains)
{
    const float one[] = {1000.0f, 6.0f};
    const float step_at_start[] = {0.0f, -10.0f, 0.0f, 5.0f, 100.0f, 5.0f};
    const float step_inside[] = {0.0f, 0.0f, 50.0f, -10.0f, 50.0f, 10.0f, 100.0f, 10.0f};
    const float two_at_one[] = {100.0f, -6.0f, 100.0f, 6.0f};
    struct Case {
        const char *what;
        const float *curve;
        uint8_t points;
        std::vector<std::pair<int, float>> expected; // bin, dB
    } cases[] = {
        {"no points: unity", nullptr, 0, {{0, 0.0f}, {1023, 0.0f}}},
        {"one point: its dB everywhere", one, 1, {{0, 6.0f}, {1000, 6.0f}, {1023, 6.0f}}},
        {"equal first frequencies: a step", step_at_start, 3, {{0, -10.0f}, {1, 5.0f}, {50, 5.0f}}},
        {"equal inner frequencies: a step", step_inside, 4, {{25, -5.0f}, {50, -10.0f}, {51, 10.0f}}},
        {"two points at one frequency: a step", two_at_one, 2, {{0, -6.0f}, {100, -6.0f}, {101, 6.0f}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        response_curve *rc = new_response_curve(kSize, kRate, c.curve, c.points);
        ASSERT_NE(rc, nullptr);
        for (uint32_t i = 0; i < rc->bins; ++i)
            ASSERT_TRUE(std::isfinite(rc->gains[i])) << i;
        for (const auto &[bin, db] : c.expected)
            EXPECT_NEAR(db_of(rc, bin), db, 1e-4f) << bin;
        del_response_curve(rc);
    }
}

TEST_F(ResponseCurveTest, ApplyMultipliesInPlace)
{
    const float curve[] = {0.0f, 20.0f, 1000.0f, 0.0f};
    response_curve *rc = new_response_curve(kSize, kRate, curve, 2);
    ASSERT_NE(rc, nullptr);
    std::vector<float> x(kSize / 2, 2.0f);
    EXPECT_EQ(response_curve_apply(rc, x.data()), x.data());
    EXPECT_FLOAT_EQ(x[0], 20.0f);
    EXPECT_FLOAT_EQ(x[1000], 2.0f);
    EXPECT_FLOAT_EQ(x[500], 2.0f * db_to_amplitude(10.0f));
    del_response_curve(rc);

    // Fewer than two samples of FFT: no bins, nothing to change.
    response_curve *empty = new_response_curve(1, kRate, curve, 2);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->bins, 0);
    float untouched = 3.0f;
    response_curve_apply(empty, &untouched);
    EXPECT_EQ(untouched, 3.0f);
    del_response_curve(empty);
    del_response_curve(nullptr);

    sweep_allocation_failures([&] {
        response_curve *r = new_response_curve(kSize, kRate, curve, 2);
        del_response_curve(r);
        return r != nullptr;
    });
}

} // namespace
