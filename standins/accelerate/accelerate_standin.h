// Stand-in for the few vector and FFT functions of the platform's accelerated
// maths framework that the Accelerate DSP backend calls. Off Apple platforms
// this layer takes the framework's place so that the backend builds and runs
// unchanged; on Apple the framework itself is used and none of this is
// compiled. It is our own small implementation of the contract the backend
// relies on, not the framework: plain scalar loops and a radix-2 FFT.
//
// Conventions kept from the contract:
// - lengths (vDSP_Length) are unsigned 64-bit element counts and strides
//   (vDSP_Stride) signed element steps, both `long`-sized as on LP64;
// - a scalar operand is passed by address;
// - vDSP_vsub takes its operands in the order (B, A) of its result C = A - B
//   as written in the call: vDSP_vsub(a, 1, b, 1, c, 1, n) gives c = b - a;
// - the packed real FFT scales its output by 2 (see vDSP_fft_zrip).
#pragma once

extern "C" {

typedef unsigned long vDSP_Length;
typedef long vDSP_Stride;

// Interleaved complex value (real, imaginary), and the split form: the real
// parts in one array and the imaginary parts in another.
typedef struct DSPComplex {
    float real;
    float imag;
} DSPComplex;

typedef struct DSPSplitComplex {
    float *realp;
    float *imagp;
} DSPSplitComplex;

typedef int FFTRadix;
enum { kFFTRadix2 = 0 };

typedef int FFTDirection;
enum { kFFTDirection_Forward = +1, kFFTDirection_Inverse = -1 };

// Opaque FFT setup: twiddle tables for transforms of up to 2^log2n points.
typedef struct accelerate_standin_fft_setup *FFTSetup;

// A setup for real and complex transforms of up to 2^log2n points (radix 2
// only, 1 <= log2n <= 15), or NULL when it cannot be made. Its memory comes
// from the library's tracked heap.
FFTSetup vDSP_create_fftsetup(vDSP_Length log2n, FFTRadix radix);
// Releases a setup; NULL is ignored.
void vDSP_destroy_fftsetup(FFTSetup setup);

// Interleaved to split complex: for k < n, Z.realp[k IZ] = C[k IC / 2].real
// and Z.imagp[k IZ] = C[k IC / 2].imag. IC counts floats, so IC = 2 reads
// consecutive complex values (and, over a float array, puts the even samples
// in realp and the odd ones in imagp).
void vDSP_ctoz(const DSPComplex *C, vDSP_Stride IC, const DSPSplitComplex *Z, vDSP_Stride IZ, vDSP_Length n);

// In-place forward real FFT of N = 2^log2n samples held as N/2 complex values
// z_k = x_2k + i x_2k+1 (the layout vDSP_ctoz makes). Packed output, scaled
// by 2, with X the unnormalised DFT X_k = sum_j x_j e^(-2 pi i j k / N):
//   realp[0] = 2 X_0, imagp[0] = 2 X_(N/2), and (realp[k], imagp[k]) = 2 X_k
//   for 1 <= k < N/2.
// Needs log2n <= the setup's size, IC = 1 and the forward direction.
void vDSP_fft_zrip(FFTSetup setup, const DSPSplitComplex *C, vDSP_Stride IC, vDSP_Length log2n,
                   FFTDirection direction);

// C[k IC] = realp[k IA]^2 + imagp[k IA]^2 for k < n.
void vDSP_zvmags(const DSPSplitComplex *A, vDSP_Stride IA, float *C, vDSP_Stride IC, vDSP_Length n);

// Elementwise over n elements; C may be the same array as A or B.
void vDSP_vadd(const float *A, vDSP_Stride IA, const float *B, vDSP_Stride IB, float *C, vDSP_Stride IC,
               vDSP_Length n); // C = A + B
void vDSP_vsub(const float *B, vDSP_Stride IB, const float *A, vDSP_Stride IA, float *C, vDSP_Stride IC,
               vDSP_Length n); // C = A - B: the second array minus the first
void vDSP_vmul(const float *A, vDSP_Stride IA, const float *B, vDSP_Stride IB, float *C, vDSP_Stride IC,
               vDSP_Length n); // C = A x B
void vDSP_vsmul(const float *A, vDSP_Stride IA, const float *B, float *C, vDSP_Stride IC,
                vDSP_Length n); // C = A x *B

// Smallest of n elements: *C its value, *I its position (element offset
// k IA). The first of equal minima wins and NaN is never chosen; with no
// element below +infinity (n = 0, all NaN or +infinity) *C = +infinity and
// *I = 0.
void vDSP_minvi(const float *A, vDSP_Stride IA, float *C, vDSP_Length *I, vDSP_Length n);

// y[k] = sqrt(x[k]) for k < *n; y may be x.
void vvsqrtf(float *y, const float *x, const int *n);

} // extern "C"
