// Portable elementwise vector operations. Callers may pass the same array as
// input and output (the response curve multiplies in place), so there are no
// restrict qualifiers; any other overlap is not supported. Each block of four
// reads all of its inputs before it writes, which is what exact in-place use
// needs and what lets the compiler turn a block into one vector operation
// without a run-time aliasing check.
#include "dsp/backend/dsp_backend.h"

namespace {

template <typename Op>
inline void elementwise(const float *a, const float *b, float *out, uint64_t count, Op op)
{
    uint64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const float r0 = op(a[i], b[i]);
        const float r1 = op(a[i + 1], b[i + 1]);
        const float r2 = op(a[i + 2], b[i + 2]);
        const float r3 = op(a[i + 3], b[i + 3]);
        out[i] = r0;
        out[i + 1] = r1;
        out[i + 2] = r2;
        out[i + 3] = r3;
    }
    for (; i < count; ++i)
        out[i] = op(a[i], b[i]);
}

} // namespace

void vector_add(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](float x, float y) { return x + y; });
}

void vector_scale(const float *in, float *out, uint64_t count, float s)
{
    elementwise(in, in, out, count, [s](float x, float) { return x * s; });
}

void vector_multiply(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](float x, float y) { return x * y; });
}

// b minus a: the operand order every backend keeps.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](float x, float y) { return y - x; });
}
