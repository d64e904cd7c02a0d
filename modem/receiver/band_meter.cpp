#include "modem/receiver/band_meter.h"

#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

namespace {

constexpr float kRootEightThirds = 1.6329932f;

} // namespace

band_meter *new_band_meter(uint32_t sample_rate, uint16_t fft_size, const protocol *p)
{
    if (p == nullptr)
        return nullptr;
    band_meter *bm = tracked_alloc<band_meter>(1);
    if (bm == nullptr)
        return nullptr;
    bm->sample_rate = sample_rate;
    bm->fft_size = fft_size;
    band_meter_set_protocol(bm, p);
    return bm;
}

void band_meter_set_protocol(band_meter *bm, const protocol *p)
{
    if (bm == nullptr || p == nullptr)
        return;
    bm->protocol = p;
    const float size = static_cast<float>(bm->fft_size);
    const float rate = static_cast<float>(bm->sample_rate);
    const float f0 = protocol_tone_frequency(p, 0.0f, 0);
    const float f1 = protocol_tone_frequency(p, static_cast<float>(protocol_tone_count(p)),
                                             static_cast<uint8_t>(protocol_channel_count(p) - 1));
    bm->low_bin = saturate_cast<uint16_t>(size * (f0 / rate));
    // Kept inside the spectrum; with fewer than two bins' worth of FFT the
    // band is bin 0, which measure never reaches.
    const int32_t top = bm->fft_size / 2 - 1;
    const int32_t high = saturate_cast<int32_t>(size * (f1 / rate));
    const int32_t clipped = high < top ? high : top;
    bm->high_bin = static_cast<uint16_t>(clipped < 0 ? 0 : clipped);
}

void band_meter_measure(band_meter *bm, const float *spectrum)
{
    const uint32_t bins = bm->fft_size / 2u;
    float total = 0.0f;
    float band = 0.0f;
    for (uint32_t b = 0; b < bins; ++b) {
        const float scaled = 0.25f * spectrum[b];
        const float v = scaled * scaled;
        total += v;
        if (b >= bm->low_bin && b <= bm->high_bin)
            band += v;
    }
    bm->total_level = math_sqrt(2.0f * total) * kRootEightThirds;
    bm->band_level = math_sqrt(2.0f * band) * kRootEightThirds;
}

float band_meter_total_level(const band_meter *bm)
{
    return bm->total_level;
}

float band_meter_band_level(const band_meter *bm)
{
    return bm->band_level;
}

void del_band_meter(band_meter *bm)
{
    if (bm == nullptr)
        return;
    tracked_free(bm);
}
