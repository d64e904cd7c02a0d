#include "modem/receiver/response_curve.h"

#include "coding/signal_maths.h"
#include "dsp/backend/dsp_backend.h"
#include "runtime/memory_manager.h"

response_curve *new_response_curve(uint16_t fft_size, uint32_t sample_rate, const float *curve, uint8_t points)
{
    response_curve *rc = tracked_alloc<response_curve>(1);
    if (rc == nullptr)
        return nullptr;
    rc->bins = static_cast<uint16_t>(fft_size / 2);
    rc->sample_rate = sample_rate;
    if (rc->bins > 0) {
        rc->gains = tracked_alloc<float>(rc->bins);
        if (rc->gains == nullptr) {
            del_response_curve(rc);
            return nullptr;
        }
    }
    response_curve_build(rc, curve, points);
    return rc;
}

void response_curve_build(response_curve *rc, const float *curve, uint8_t points)
{
    const uint32_t bins = rc->bins;
    if (points == 0 || curve == nullptr) {
        for (uint32_t i = 0; i < bins; ++i)
            rc->gains[i] = 1.0f;
        return;
    }
    if (points == 1) {
        const float gain = db_to_amplitude(curve[1]);
        for (uint32_t i = 0; i < bins; ++i)
            rc->gains[i] = gain;
        return;
    }
    const float rate = static_cast<float>(rc->sample_rate);
    const float span = static_cast<float>(2 * bins);
    const uint32_t last = points - 1u;
    // j only moves up: bins are walked in rising frequency.
    uint32_t j = 1;
    for (uint32_t i = 0; i < bins; ++i) {
        const float f = rate * (static_cast<float>(i) / span);
        while (j < last && f > curve[2 * j])
            ++j;
        const float hz0 = curve[2 * (j - 1)];
        const float hz1 = curve[2 * j];
        const float db0 = curve[2 * (j - 1) + 1];
        const float db1 = curve[2 * j + 1];
        float db;
        // Two points sharing a frequency would make the line divide by zero:
        // the curve steps there instead, holding the earlier point's dB up to
        // and at that frequency (as the walk does for a shared inner
        // frequency) and the later one's above it.
        if (hz0 > f)
            db = db0;
        else if (f > hz1)
            db = db1;
        else if (hz1 <= hz0)
            db = db0;
        else
            db = (db1 - db0) / (hz1 - hz0) * (f - hz0) + db0;
        rc->gains[i] = db_to_amplitude(db);
    }
}

float *response_curve_apply(const response_curve *rc, float *spectrum)
{
    vector_multiply(rc->gains, spectrum, spectrum, rc->bins);
    return spectrum;
}

void response_curve_apply_bins(const response_curve *rc, const float *in, float *out, uint32_t first,
                               uint32_t count)
{
    vector_multiply(rc->gains + first, in + first, out + first, count);
}

void del_response_curve(response_curve *rc)
{
    if (rc == nullptr)
        return;
    tracked_free(rc->gains);
    tracked_free(rc);
}
