// Portable elementwise vector operations. No restrict qualifiers: callers pass
// the same array as input and output (the response curve multiplies in place).
#include "dsp/backend/dsp_backend.h"

void vector_add(const float *a, const float *b, float *out, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
        out[i] = a[i] + b[i];
}

void vector_scale(const float *in, float *out, uint64_t count, float s)
{
    for (uint64_t i = 0; i < count; ++i)
        out[i] = in[i] * s;
}

void vector_multiply(const float *a, const float *b, float *out, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
        out[i] = a[i] * b[i];
}

// b minus a: the operand order every backend keeps.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
        out[i] = b[i] - a[i];
}
