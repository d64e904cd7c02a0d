// Single-precision maths used by the whole library. Every float maths call of
// the library goes through these names, so one place decides what each
// platform computes.
#pragma once

float math_abs(float x); // clears the sign bit: NaN keeps its payload
float math_ceil(float x);
float math_cos(float x);
float math_floor(float x);
float math_log10(float x);
float math_log2(float x);
float math_log(float x);
float math_pow(float x, float y);
float math_round(float x); // halves away from zero
float math_sin(float x);
float math_sqrt(float x);
