#include "dsp/noise_filter.h"

#include "dsp/float_lanes.h"
#include "runtime/memory_manager.h"

noise_filter *new_noise_filter(uint32_t lo, uint32_t hi)
{
    noise_filter *nf = tracked_alloc<noise_filter>(1);
    if (nf == nullptr)
        return nullptr;
    nf->lo = lo;
    nf->hi = hi;
    nf->first = lo;
    nf->last = hi;
    nf->factor = 0.5f;
    nf->smoothing = 0.95f;
    nf->one_minus_smoothing = 1.0f - nf->smoothing;
    // An inverted band (possible with a negative tone spacing) would wrap the
    // count; it stays an empty filter instead.
    if (lo <= hi) {
        nf->noise = tracked_alloc<float>(static_cast<uint64_t>(hi) - lo + 1);
        if (nf->noise == nullptr) {
            del_noise_filter(nf);
            return nullptr;
        }
    }
    return nf;
}

bool noise_filter_set_factor(noise_filter *nf, float factor)
{
    if (!(factor >= 0.0f && factor <= 1.0f))
        return false;
    nf->factor = factor;
    return true;
}

bool noise_filter_set_smoothing(noise_filter *nf, float smoothing)
{
    if (!(smoothing >= 0.0f && smoothing <= 1.0f))
        return false;
    nf->smoothing = smoothing;
    nf->one_minus_smoothing = 1.0f - smoothing;
    return true;
}

bool noise_filter_set_band(noise_filter *nf, uint32_t lo, uint32_t hi)
{
    if (lo <= hi) {
        if (nf->noise == nullptr || lo < nf->first || hi > nf->last)
            return false;
        // An estimate left behind while its bin was outside the band is stale.
        const bool was_empty = nf->lo > nf->hi;
        for (uint64_t b = lo; b <= hi; ++b)
            if (was_empty || b < nf->lo || b > nf->hi)
                nf->noise[b - nf->first] = 0.0f;
    }
    nf->lo = lo;
    nf->hi = hi;
    return true;
}

namespace {

// One bin: the subtraction uses the estimate from before this frame, and the
// estimate takes the value as it came in, not the filtered one. d < 0 becomes
// +0 and anything else (NaN included) stays.
inline void filter_bin(float *noise, float in, float *out, float factor, float smoothing, float one_minus)
{
    const float sub = factor * *noise;
    *noise = one_minus * in + smoothing * *noise;
    const float d = in - sub;
    *out = d < 0.0f ? 0.0f : d;
}

// Four bins from i: lane by lane the steps of filter_bin.
template <bool scaled>
inline void filter_block(float *noise, const float *gains, const float *in, float *out, uint64_t i, lanes4 factor,
                         lanes4 smoothing, lanes4 one_minus)
{
    const lanes4 zero = splat4(0.0f);
    const lanes4 x = scaled ? load4(gains + i) * load4(in + i) : load4(in + i);
    const lanes4 old = load4(noise + i);
    const lanes4 sub = factor * old;
    store4(noise + i, one_minus * x + smoothing * old);
    const lanes4 d = x - sub;
    store4(out + i, d < zero ? zero : d);
}

// Bins in[0 .. count), each times its gain first when there are gains,
// filtered into out. Every block reads all it needs before it writes, so out
// may be in. Four blocks a turn spread the loop's own count and branch over
// 16 bins.
template <bool scaled>
void filter_bins(float *noise, const float *gains, const float *in, float *out, uint64_t count, float factor,
                 float smoothing, float one_minus)
{
    const lanes4 f = splat4(factor), s = splat4(smoothing), m = splat4(one_minus);
    uint64_t i = 0;
    for (; i + 16 <= count; i += 16) {
        filter_block<scaled>(noise, gains, in, out, i, f, s, m);
        filter_block<scaled>(noise, gains, in, out, i + 4, f, s, m);
        filter_block<scaled>(noise, gains, in, out, i + 8, f, s, m);
        filter_block<scaled>(noise, gains, in, out, i + 12, f, s, m);
    }
    for (; i + 4 <= count; i += 4)
        filter_block<scaled>(noise, gains, in, out, i, f, s, m);
    for (; i < count; ++i)
        filter_bin(&noise[i], scaled ? gains[i] * in[i] : in[i], &out[i], factor, smoothing, one_minus);
}

} // namespace

bool noise_filter_apply(noise_filter *nf, float *spectrum)
{
    noise_filter_apply_scaled(nf, nullptr, spectrum, spectrum);
    return true;
}

void noise_filter_apply_scaled(noise_filter *nf, const float *gains, const float *in, float *out)
{
    if (nf->noise == nullptr || nf->lo > nf->hi)
        return;
    const uint32_t lo = nf->lo;
    float *noise = nf->noise + (lo - nf->first);
    const uint64_t count = static_cast<uint64_t>(nf->hi) - lo + 1;
    if (gains != nullptr)
        filter_bins<true>(noise, gains + lo, in + lo, out + lo, count, nf->factor, nf->smoothing,
                          nf->one_minus_smoothing);
    else
        filter_bins<false>(noise, nullptr, in + lo, out + lo, count, nf->factor, nf->smoothing,
                           nf->one_minus_smoothing);
}

void del_noise_filter(noise_filter *nf)
{
    if (nf == nullptr)
        return;
    tracked_free(nf->noise);
    tracked_free(nf);
}
