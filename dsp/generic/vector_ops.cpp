// Portable elementwise vector operations. Callers may pass the same array as
// input and output (the response curve multiplies in place), so there are no
// restrict qualifiers; any other overlap is not supported. Each block of four
// reads all of its inputs before it writes, which is what exact in-place use
// needs.
#include "dsp/backend/dsp_backend.h"
#include "dsp/float_lanes.h"

namespace {

// Four elements from i.
template <typename Op>
inline void block(const float *a, const float *b, float *out, uint64_t i, Op op)
{
    store4(out + i, op(load4(a + i), load4(b + i)));
}

// Two blocks a turn, so that the loop's own count and branch are spread over
// eight elements.
template <typename Op>
inline void elementwise(const float *a, const float *b, float *out, uint64_t count, Op op)
{
    uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        block(a, b, out, i, op);
        block(a, b, out, i + 4, op);
    }
    for (; i + 4 <= count; i += 4)
        block(a, b, out, i, op);
    for (; i < count; ++i)
        out[i] = op(a[i], b[i]);
}

} // namespace

void vector_add(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](auto x, auto y) { return x + y; });
}

void vector_scale(const float *in, float *out, uint64_t count, float s)
{
    elementwise(in, in, out, count, [s](auto x, auto) { return x * s; });
}

void vector_multiply(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](auto x, auto y) { return x * y; });
}

// b minus a: the operand order every backend keeps.
void vector_subtract(const float *a, const float *b, float *out, uint64_t count)
{
    elementwise(a, b, out, count, [](auto x, auto y) { return y - x; });
}
