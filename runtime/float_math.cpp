#include "runtime/float_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>

float math_abs(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits &= 0x7fffffffu;
    std::memcpy(&x, &bits, sizeof bits);
    return x;
}

float math_ceil(float x) { return ::ceilf(x); }
float math_cos(float x) { return ::cosf(x); }
float math_floor(float x) { return ::floorf(x); }
float math_log10(float x) { return ::log10f(x); }
float math_log2(float x) { return ::log2f(x); }
float math_log(float x) { return ::logf(x); }
float math_pow(float x, float y) { return ::powf(x, y); }
float math_round(float x) { return ::roundf(x); }
float math_sin(float x) { return ::sinf(x); }
float math_sqrt(float x) { return ::sqrtf(x); }
