// Real discrete Fourier transform of a power-of-two number of doubles, in place,
// with its cos/sin tables cached in the caller's arrays.
#pragma once

// Forward transform (isgn >= 0) of the n doubles of a, for n a power of two from
// 2 to 32768. On return, unscaled:
//   a[2k]   = R_k = sum_j a_j cos(2 pi j k / n)   for 0 <= k < n/2
//   a[2k+1] = I_k = sum_j a_j sin(2 pi j k / n)   for 0 <  k < n/2  (= -Im X_k)
//   a[1]    = R_(n/2), the Nyquist term.
// ip: at least 2 ints; ip[0] and ip[1] are a quarter of the size the tables
// were built for, 0 in fresh (zeroed) arrays. w: at least n doubles; for
// tables built for size N, w[0 .. 3N/4-1] holds the twiddles of the complex
// FFT and w[3N/4 .. N-1] the cosines of the real-data step. Both are rebuilt
// when n > 4 ip[0] or n > 4 ip[1], setting ip[0] = ip[1] = n/4, and tables
// built for a larger size serve smaller ones; the first call and every later
// one give bit-identical output.
// Other sizes, and the inverse direction (isgn < 0), which nothing needs, leave
// a, ip and w untouched.
void rdft(int n, int isgn, double *a, int *ip, double *w);

// The power spectrum of the windowed frame, a_j = frame[j] x window[j] (each
// product in double), without the spectrum itself: power[k] = R_k^2 + I_k^2
// for 0 < k < n/2 and power[0] = R_0^2 (the Nyquist term is dropped), each
// summed in double and rounded once to float, the bits rdft's output on those
// a_j would give. a (n doubles) is work space only, left holding intermediate
// values; ip and w as for rdft. Other sizes leave everything untouched.
void rdft_power(int n, const float *frame, const double *window, double *a, int *ip, double *w, float *power);
