// Four floats as one generic vector of the compiler: one register where the
// target has four-lane float vectors, four scalars where it has not (ARMv6's
// VFP). Loaded and stored element by element, which the compiler turns into
// one vector access where it can and into four plain ones (never a copy
// through memory) where it cannot; nothing needs to be aligned. Arithmetic,
// comparisons and selections on them are lane by lane the single-precision
// steps of scalar code, so the numbers are the same on every target.
#pragma once

typedef float lanes4 __attribute__((vector_size(16)));

inline lanes4 load4(const float *p)
{
    return lanes4{p[0], p[1], p[2], p[3]};
}

inline void store4(float *p, lanes4 v)
{
    p[0] = v[0];
    p[1] = v[1];
    p[2] = v[2];
    p[3] = v[3];
}

inline lanes4 splat4(float x)
{
    return lanes4{x, x, x, x};
}
