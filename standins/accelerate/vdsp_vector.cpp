// The stand-in's elementwise functions, minimum search and square root. Each
// element is read before its result is stored, so an output may alias an
// input.
#include "standins/accelerate/accelerate_standin.h"

#include "runtime/float_math.h"

#include <limits>

namespace {

inline vDSP_Stride at(vDSP_Length k, vDSP_Stride stride)
{
    return static_cast<vDSP_Stride>(k) * stride;
}

} // namespace

extern "C" {

void vDSP_vadd(const float *A, vDSP_Stride IA, const float *B, vDSP_Stride IB, float *C, vDSP_Stride IC,
               vDSP_Length n)
{
    for (vDSP_Length k = 0; k < n; ++k)
        C[at(k, IC)] = A[at(k, IA)] + B[at(k, IB)];
}

void vDSP_vsub(const float *B, vDSP_Stride IB, const float *A, vDSP_Stride IA, float *C, vDSP_Stride IC,
               vDSP_Length n)
{
    for (vDSP_Length k = 0; k < n; ++k)
        C[at(k, IC)] = A[at(k, IA)] - B[at(k, IB)];
}

void vDSP_vmul(const float *A, vDSP_Stride IA, const float *B, vDSP_Stride IB, float *C, vDSP_Stride IC,
               vDSP_Length n)
{
    for (vDSP_Length k = 0; k < n; ++k)
        C[at(k, IC)] = A[at(k, IA)] * B[at(k, IB)];
}

void vDSP_vsmul(const float *A, vDSP_Stride IA, const float *B, float *C, vDSP_Stride IC, vDSP_Length n)
{
    const float s = *B;
    for (vDSP_Length k = 0; k < n; ++k)
        C[at(k, IC)] = A[at(k, IA)] * s;
}

void vDSP_minvi(const float *A, vDSP_Stride IA, float *C, vDSP_Length *I, vDSP_Length n)
{
    float best = std::numeric_limits<float>::infinity();
    vDSP_Length position = 0;
    for (vDSP_Length k = 0; k < n; ++k) {
        const float v = A[at(k, IA)];
        if (v < best) {
            best = v;
            position = static_cast<vDSP_Length>(at(k, IA));
        }
    }
    *C = best;
    *I = position;
}

void vvsqrtf(float *y, const float *x, const int *n)
{
    for (int k = 0; k < *n; ++k)
        y[k] = math_sqrt(x[k]);
}

} // extern "C"
