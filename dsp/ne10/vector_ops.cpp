// Ne10 vector operations through the library's dispatched functions. Counts
// pass through as the library's 32-bit counts; its result codes carry nothing
// these operations could report.
#include "dsp/backend/dsp_backend.h"

void vector_add(const float *a, const float *b, float *out, uint64_t count)
{
    ne10_add_float(out, const_cast<float *>(a), const_cast<float *>(b), static_cast<ne10_uint32_t>(count));
}

void vector_scale(const float *in, float *out, uint64_t count, float s)
{
    ne10_mulc_float(out, const_cast<float *>(in), s, static_cast<ne10_uint32_t>(count));
}

void vector_multiply(const float *a, const float *b, float *out, uint64_t count)
{
    ne10_mul_float(out, const_cast<float *>(a), const_cast<float *>(b), static_cast<ne10_uint32_t>(count));
}

// The library subtracts its second source from its first: passing b first
// gives the second operand minus the first, as every build does.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count)
{
    ne10_sub_float(out, const_cast<float *>(b), const_cast<float *>(a), static_cast<ne10_uint32_t>(count));
}
