// Real discrete Fourier transform of a power-of-two number of doubles, in place,
// with its cos/sin tables cached in the caller's arrays.
#pragma once

// Forward transform (isgn >= 0) of the n doubles of a, for n a power of two from
// 2 to 32768. On return, unscaled:
//   a[2k]   = R_k = sum_j a_j cos(2 pi j k / n)   for 0 <= k < n/2
//   a[2k+1] = I_k = sum_j a_j sin(2 pi j k / n)   for 0 <  k < n/2  (= -Im X_k)
//   a[1]    = R_(n/2), the Nyquist term.
// ip: at least 2 ints; ip[0] and ip[1] are the sizes of the twiddle and cosine
// tables built so far, 0 in fresh (zeroed) arrays. w: at least n/2 doubles;
// w[0 .. ip[0]-1] holds the twiddles, w[ip[0] .. ip[0]+ip[1]-1] the cosines.
// Tables are rebuilt when n > 4 ip[0] (twiddles) or n > 4 ip[1] (cosines), for
// ip[0] = ip[1] = n/4, and tables built for a larger size serve smaller ones;
// the first call and every later one give bit-identical output.
// Other sizes, and the inverse direction (isgn < 0), which nothing needs, leave
// a, ip and w untouched.
void rdft(int n, int isgn, double *a, int *ip, double *w);
