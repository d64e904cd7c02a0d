#include "dsp/noise_filter.h"

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
inline void filter_bin(float *noise, float *bin, float factor, float smoothing, float one_minus)
{
    const float in = *bin;
    const float sub = factor * *noise;
    *noise = one_minus * in + smoothing * *noise;
    const float d = in - sub;
    *bin = d < 0.0f ? 0.0f : d;
}

// The estimates and the spectrum are separate arrays, which the compiler is
// told so that each block of four bins becomes a few vector operations
// (lane by lane the same single-precision steps, so the same numbers).
constexpr uint64_t kBlock = 4;

void filter_bins(float *__restrict noise, float *__restrict bins, uint64_t count, float factor, float smoothing,
                 float one_minus)
{
    const uint64_t whole = count - count % kBlock;
    for (uint64_t i = 0; i < whole; i += kBlock)
        for (uint64_t j = 0; j < kBlock; ++j)
            filter_bin(&noise[i + j], &bins[i + j], factor, smoothing, one_minus);
    for (uint64_t i = whole; i < count; ++i)
        filter_bin(&noise[i], &bins[i], factor, smoothing, one_minus);
}

} // namespace

bool noise_filter_apply(noise_filter *nf, float *spectrum)
{
    if (nf->noise == nullptr || nf->lo > nf->hi)
        return true;
    filter_bins(nf->noise + (nf->lo - nf->first), spectrum + nf->lo, static_cast<uint64_t>(nf->hi) - nf->lo + 1,
                nf->factor, nf->smoothing, nf->one_minus_smoothing);
    return true;
}

void del_noise_filter(noise_filter *nf)
{
    if (nf == nullptr)
        return;
    tracked_free(nf->noise);
    tracked_free(nf);
}
