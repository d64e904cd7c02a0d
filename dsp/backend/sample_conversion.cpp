// The sample conversions are this portable code in every build.
#include "dsp/backend/dsp_backend.h"
#include "runtime/convert.h"

void float_to_int16(const float *in, int16_t *out, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        out[i] = saturate_cast<int16_t>(in[i] * 32768.0f);
}

void int16_to_float(const int16_t *in, float *out, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(in[i]) * 0x1p-15f;
}
