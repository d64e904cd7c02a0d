// Real FFT of n points as a complex FFT of n/2 points plus a split step.
//
// The n real inputs are packed as n/2 complex values z_m = a[2m] + i a[2m+1] and
// transformed in place by a decimation-in-time FFT (bit reversal, then radix-4
// stages, with one radix-2 stage first when log2(n/2) is odd). The split step
// then separates the spectra of the even and odd samples and combines them into
// X_k for 0 <= k <= n/2.
//
// The entry, its output layout and the ip/w caching are the fixed interface of
// the portable backend; the operation order is our own. Results agree with the
// exact DFT to double rounding, which is what callers rely on: spectra are
// compared by tolerance between builds, never bit for bit.
//
// Only the forward direction exists: nothing in the library runs an inverse.
#include "dsp/generic/rdft.h"

#include <cmath>
#include <cstdint>

namespace {

// Twiddles of an m-point complex FFT, m = n/2: pairs (cos, sin) of 2 pi e / m for
// e < m/4, a quarter circle, in nw = n/4 doubles. The step is built as
// 4 atan(1) / nw with nw a power of two, so the table of a larger size holds the
// entries of every smaller one bit for bit at a power-of-two stride.
void make_twiddles(int nw, double *w)
{
    w[0] = 1.0;
    if (nw < 2)
        return;
    w[1] = 0.0;
    const double delta = std::atan(1.0) * 4.0 / nw;
    for (int e = 1; e < nw / 2; ++e) {
        w[2 * e] = std::cos(e * delta);
        w[2 * e + 1] = std::sin(e * delta);
    }
}

// Cosines of the split step: cos(2 pi k / n) for k < nc = n/4, a quarter circle
// at the step atan(1) / (nc/2). The sines are read backwards from the same table.
void make_cosines(int nc, double *c)
{
    c[0] = 1.0;
    const double delta = std::atan(1.0) * 2.0 / nc;
    for (int k = 1; k < nc; ++k)
        c[k] = std::cos(k * delta);
}

// W^e = exp(-2 pi i e / m) for e < 3m/4, from the quarter-circle table: quarter
// is m/4 and stride the step through a table built for a larger size.
inline void twiddle(const double *t, uint32_t e, uint32_t quarter, uint32_t stride, double &wr, double &wi)
{
    if (e < quarter) {
        const uint32_t r = 2 * e * stride;
        wr = t[r];
        wi = -t[r + 1];
    } else if (e < 2 * quarter) {
        const uint32_t r = 2 * (e - quarter) * stride; // -i W^r
        wr = -t[r + 1];
        wi = -t[r];
    } else {
        const uint32_t r = 2 * (e - 2 * quarter) * stride; // -W^r
        wr = -t[r];
        wi = t[r + 1];
    }
}

void swap_complex(double *a, uint32_t i, uint32_t j)
{
    const double re = a[2 * i];
    const double im = a[2 * i + 1];
    a[2 * i] = a[2 * j];
    a[2 * i + 1] = a[2 * j + 1];
    a[2 * j] = re;
    a[2 * j + 1] = im;
}

// Bit-reversal permutation of 2^b complex values. An index splits into a
// high part x and a low part y of h = b/2 bits each (with one middle bit z
// when b is odd), and its reversal is (rev y, z, rev x). Running y over every
// value and x below rev y visits each pair that must swap exactly once, with
// no test per index; x = rev y gives the fixed points.
void bit_reverse(double *a, uint32_t log2m)
{
    const uint32_t h = log2m / 2;
    const uint32_t half = 1u << h;
    int rev[128]; // reversal of h bits; h <= 7 for m <= 16384
    rev[0] = 0;
    for (uint32_t k = 0; k < h; ++k)
        for (uint32_t x = 0; x < (1u << k); ++x)
            rev[x + (1u << k)] = rev[x] + static_cast<int>(half >> (k + 1));
    const uint32_t middle_values = (log2m & 1) ? 2 : 1;
    const uint32_t high_shift = h + ((log2m & 1) ? 1 : 0);
    for (uint32_t z = 0; z < middle_values; ++z) {
        const uint32_t mid = z << h;
        for (uint32_t y = 0; y < half; ++y) {
            const uint32_t ry = static_cast<uint32_t>(rev[y]);
            for (uint32_t x = 0; x < ry; ++x)
                swap_complex(a, (x << high_shift) | mid | y, (ry << high_shift) | mid | static_cast<uint32_t>(rev[x]));
        }
    }
}

// One radix-4 butterfly on the complex values at p0, p0+L, p0+2L, p0+3L. After
// bit reversal the four length-L sub-transforms there belong to the samples
// with residues 0, 2, 1, 3 (mod 4) of the length-4L transform being formed, so
// the second block takes W^2j, the third W^j and the fourth W^3j.
inline void butterfly4(double *a, uint32_t p0, uint32_t L, double w1r, double w1i, double w2r, double w2i,
                       double w3r, double w3i)
{
    double *x0 = a + 2 * p0;
    double *x1 = x0 + 2 * L;
    double *x2 = x1 + 2 * L;
    double *x3 = x2 + 2 * L;
    const double ar = x0[0], ai = x0[1];
    const double br = w2r * x1[0] - w2i * x1[1], bi = w2r * x1[1] + w2i * x1[0];
    const double cr = w1r * x2[0] - w1i * x2[1], ci = w1r * x2[1] + w1i * x2[0];
    const double dr = w3r * x3[0] - w3i * x3[1], di = w3r * x3[1] + w3i * x3[0];
    const double t0r = ar + br, t0i = ai + bi;
    const double t1r = ar - br, t1i = ai - bi;
    const double t2r = cr + dr, t2i = ci + di;
    const double t3r = cr - dr, t3i = ci - di;
    x0[0] = t0r + t2r;
    x0[1] = t0i + t2i;
    x2[0] = t0r - t2r;
    x2[1] = t0i - t2i;
    x1[0] = t1r + t3i; // t1 - i t3
    x1[1] = t1i - t3r;
    x3[0] = t1r - t3i; // t1 + i t3
    x3[1] = t1i + t3r;
}

inline void butterfly4_unit(double *a, uint32_t p0, uint32_t L)
{
    double *x0 = a + 2 * p0;
    double *x1 = x0 + 2 * L;
    double *x2 = x1 + 2 * L;
    double *x3 = x2 + 2 * L;
    const double t0r = x0[0] + x1[0], t0i = x0[1] + x1[1];
    const double t1r = x0[0] - x1[0], t1i = x0[1] - x1[1];
    const double t2r = x2[0] + x3[0], t2i = x2[1] + x3[1];
    const double t3r = x2[0] - x3[0], t3i = x2[1] - x3[1];
    x0[0] = t0r + t2r;
    x0[1] = t0i + t2i;
    x2[0] = t0r - t2r;
    x2[1] = t0i - t2i;
    x1[0] = t1r + t3i;
    x1[1] = t1i - t3r;
    x3[0] = t1r - t3i;
    x3[1] = t1i + t3r;
}

// Forward complex FFT (exp(-) convention) of the m interleaved values of a.
void complex_fft(double *a, uint32_t m, const double *t, uint32_t stride)
{
    uint32_t log2m = 0;
    while ((1u << log2m) < m)
        ++log2m;
    bit_reverse(a, log2m);
    uint32_t L = 1;
    if (log2m & 1) {
        for (uint32_t i = 0; i < 2 * m; i += 4) {
            const double r = a[i + 2], im = a[i + 3];
            a[i + 2] = a[i] - r;
            a[i + 3] = a[i + 1] - im;
            a[i] += r;
            a[i + 1] += im;
        }
        L = 2;
    }
    const uint32_t quarter = m / 4;
    for (; 4 * L <= m; L *= 4) {
        const uint32_t g = m / (4 * L);
        for (uint32_t base = 0; base < m; base += 4 * L)
            butterfly4_unit(a, base, L);
        for (uint32_t j = 1; j < L; ++j) {
            double w1r, w1i, w2r, w2i, w3r, w3i;
            twiddle(t, j * g, quarter, stride, w1r, w1i);
            twiddle(t, 2 * j * g, quarter, stride, w2r, w2i);
            twiddle(t, 3 * j * g, quarter, stride, w3r, w3i);
            for (uint32_t base = 0; base < m; base += 4 * L)
                butterfly4(a, base + j, L, w1r, w1i, w2r, w2i, w3r, w3i);
        }
    }
}

// Turns the n/2-point transform Z of the packed input into X_k for
// 1 <= k < n/4 and n/4 < k < n/2 in pairs (k, n/2 - k):
//   X_k = (Z_k + conj Z_(n/2-k)) / 2 - i e^(-2 pi i k/n) (Z_k - conj Z_(n/2-k)) / 2,
// storing -Im. Bin n/4 pairs with itself and already holds its value; bins 0
// and n/2 are the caller's.
void split_step(double *a, uint32_t n, const double *c, uint32_t nc, uint32_t stride)
{
    const uint32_t m = n / 2;
    for (uint32_t k = 1; k < m / 2; ++k) {
        const uint32_t j = m - k;
        const double cs = c[k * stride];
        const double sn = c[nc - k * stride];
        const double ar = a[2 * k], ai = a[2 * k + 1];
        const double br = a[2 * j], bi = a[2 * j + 1];
        // Twice the even part E and the odd part O of the pair.
        const double er = ar + br, ei = ai - bi;
        const double or_ = ai + bi, oi = br - ar;
        // Twice e^(-2 pi i k/n) O.
        const double xr = cs * or_ + sn * oi;
        const double xi = cs * oi - sn * or_;
        a[2 * k] = 0.5 * (er + xr);
        a[2 * k + 1] = -0.5 * (ei + xi);
        a[2 * j] = 0.5 * (er - xr);
        a[2 * j + 1] = 0.5 * (ei - xi);
    }
}

} // namespace

void rdft(int n, int isgn, double *a, int *ip, double *w)
{
    if (n < 2 || n > 32768 || (n & (n - 1)) != 0 || isgn < 0)
        return;
    if (n >= 4) {
        const int quarter = n / 4;
        bool moved = false;
        if (n > 4 * static_cast<int64_t>(ip[0])) {
            make_twiddles(quarter, w);
            ip[0] = quarter;
            moved = true;
        }
        // The cosines sit behind the twiddles: a rebuilt twiddle table moves them.
        if (moved || n > 4 * static_cast<int64_t>(ip[1])) {
            make_cosines(quarter, w + ip[0]);
            ip[1] = quarter;
        }
        const uint32_t nw = static_cast<uint32_t>(ip[0]);
        const uint32_t nc = static_cast<uint32_t>(ip[1]);
        const uint32_t un = static_cast<uint32_t>(n);
        complex_fft(a, un / 2, w, 4 * nw / un);
        split_step(a, un, w + nw, nc, 4 * nc / un);
    }
    const double x0 = a[0];
    a[0] = x0 + a[1];
    a[1] = x0 - a[1];
}
