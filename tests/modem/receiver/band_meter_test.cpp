#include "modem/receiver/band_meter.h"

#include "support/memory_fixture.h"

#include <cmath>
#include <vector>

namespace {

class BandMeterTest : public TrackedHeapTest {};

TEST_F(BandMeterTest, BandSpansTheProtocolsTones)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    struct Case {
        uint32_t rate;
        uint16_t fft_size;
        uint16_t low, high;
    } cases[] = {
        {44100, 2048, 81, 518}, // 1760 Hz and 11175 Hz
        {48000, 2048, 75, 476},
        {22050, 64, 5, 31}, // one tone past the top is above the spectrum: its last bin
        {44100, 1, 0, 0},   // no bins at all
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        band_meter *bm = new_band_meter(c.rate, c.fft_size, p);
        ASSERT_NE(bm, nullptr);
        EXPECT_EQ(bm->low_bin, c.low);
        EXPECT_EQ(bm->high_bin, c.high);
        EXPECT_EQ(band_meter_total_level(bm), 0.0f);
        del_band_meter(bm);
    }
    EXPECT_EQ(new_band_meter(44100, 2048, nullptr), nullptr);
    del_band_meter(nullptr);
    del_protocol(p);
}

TEST_F(BandMeterTest, MeasuresTotalAndInBandLevels)
{
    protocol *p = new_default_protocol();
    band_meter *bm = new_band_meter(44100, 2048, p);
    ASSERT_NE(bm, nullptr);
    // (0.25 x 4)^2 = 1 per raised bin: one in the band, two outside.
    std::vector<float> x(1024, 0.0f);
    x[5] = 4.0f;
    x[100] = 4.0f;
    x[900] = 4.0f;
    band_meter_measure(bm, x.data());
    const float root_eight_thirds = std::sqrt(8.0f / 3.0f);
    EXPECT_NEAR(band_meter_total_level(bm), std::sqrt(6.0f) * root_eight_thirds, 1e-5f);
    EXPECT_NEAR(band_meter_band_level(bm), std::sqrt(2.0f) * root_eight_thirds, 1e-5f);
    del_band_meter(bm);
    del_protocol(p);
}

} // namespace
