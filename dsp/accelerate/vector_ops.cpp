// Accelerate vector operations, unit strides throughout.
#include "dsp/backend/dsp_backend.h"

static_assert(sizeof(vDSP_Length) == 8, "positions of the minimum search are 64-bit");

void vector_add(const float *a, const float *b, float *out, uint64_t count)
{
    vDSP_vadd(a, 1, b, 1, out, 1, count);
}

// Position then value: the value is read back from the vector at the reported
// position, so it is exactly an element of v.
void vector_min_index(const float *v, uint64_t count, uint32_t *index, float *min)
{
    if (count == 0)
        return;
    // Set before the search: with nothing below +infinity (all NaN, say) a
    // search may leave the position as it found it, and it indexes v below.
    vDSP_Length position = 0;
    vDSP_minvi(v, 1, min, &position, count);
    *index = static_cast<uint32_t>(position);
    *min = v[*index];
}

void vector_scale(const float *in, float *out, uint64_t count, float s)
{
    vDSP_vsmul(in, 1, &s, out, 1, count);
}

void vector_multiply(const float *a, const float *b, float *out, uint64_t count)
{
    vDSP_vmul(a, 1, b, 1, out, 1, count);
}

// The framework's subtraction takes the subtrahend first, so this order gives
// the second operand minus the first, as every build does.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count)
{
    vDSP_vsub(a, 1, b, 1, out, 1, count);
}
