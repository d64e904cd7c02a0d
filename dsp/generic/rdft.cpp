// Real FFT of n points as a complex FFT of m = n/2 points plus a split step.
//
// The n real inputs are packed as m complex values z_j = a[2j] + i a[2j+1] and
// transformed in place by a decimation-in-time FFT: bit reversal fused with a
// first radix-4 stage (radix-8 when log2 m is odd) that needs no twiddles,
// then radix-4 stages. The split step then separates the spectra of the even
// and odd samples and combines them into X_k for 0 <= k <= n/2.
//
// Speed comes from the layout between the first stage and the split step:
// pairs of neighbouring complex values are kept as [re re im im] blocks, so a
// radix-4 butterfly on two neighbouring positions j, j+1 is plain elementwise
// work on pairs of doubles that the compiler keeps in vector registers,
// without shuffles. The first stage reads the packed values (for the power
// spectrum, the frame times its window) and writes blocks; the split step
// reads blocks and writes the interleaved spectrum (or only its power) in
// place.
//
// The entry, its output layout and the ip/w caching are the fixed interface of
// the portable backend; the operation order is our own. Results agree with the
// exact DFT to double rounding, which is what callers rely on: spectra are
// compared by tolerance between builds, never bit for bit.
//
// Only the forward direction exists: nothing in the library runs an inverse.
#include "dsp/generic/rdft.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Two doubles treated alike: a generic vector of the compiler, which keeps it
// in one register where the target has two-lane double vectors and splits it
// into two scalars where it has not. Only elementwise +, - and x are used.
typedef double pair2 __attribute__((vector_size(16)));

// Two complex values, real parts together and imaginary parts together.
struct cpair {
    pair2 re, im;
};

inline cpair operator+(cpair x, cpair y)
{
    return {x.re + y.re, x.im + y.im};
}

inline cpair operator-(cpair x, cpair y)
{
    return {x.re - y.re, x.im - y.im};
}

inline cpair operator*(cpair x, cpair w)
{
    return {x.re * w.re - x.im * w.im, x.re * w.im + x.im * w.re};
}

inline cpair load_block(const double *p)
{
    return {pair2{p[0], p[1]}, pair2{p[2], p[3]}};
}

inline void store_block(double *p, cpair x)
{
    p[0] = x.re[0];
    p[1] = x.re[1];
    p[2] = x.im[0];
    p[3] = x.im[1];
}

// cos and sin of 2 pi e / size (size a power of two >= 4, e < size) from
// angles of at most pi/4, by the symmetries of the circle: accurate to double
// rounding, and the same bits for e and size both doubled, so a table built
// for a larger size holds those of every smaller one at a power-of-two stride.
void unit_circle(uint32_t e, uint32_t size, double &c, double &s)
{
    const double delta = std::atan(1.0) * 8.0 / size;
    const uint32_t quarter = size / 4;
    const uint32_t q = e / quarter;
    const uint32_t r = e - q * quarter;
    double cr, sr;
    if (2 * r <= quarter) {
        cr = std::cos(r * delta);
        sr = std::sin(r * delta);
    } else {
        cr = std::sin((quarter - r) * delta);
        sr = std::cos((quarter - r) * delta);
    }
    const double cs[4][2] = {{cr, sr}, {-sr, cr}, {-cr, -sr}, {sr, -cr}};
    c = cs[q][0];
    s = cs[q][1];
}

// Twiddles of a complex FFT of `size` points (the table's size): for each
// e < size/4, W^e, W^2e and W^3e with W = exp(-2 pi i / size), the three a
// radix-4 butterfly at position e of the last stage takes. Stored by pairs of
// e as blocks: the six [x_e, x_e+1] pairs re W^e, im W^e, re W^2e, im W^2e,
// re W^3e, im W^3e, 12 doubles per pair, 3 size / 2 doubles in all.
void make_twiddles(uint32_t size, double *t)
{
    if (size < 8)
        return; // no stage with twiddles exists below 16 points
    for (uint32_t e = 0; e < size / 4; ++e) {
        double *entry = t + 12 * (e >> 1) + (e & 1);
        for (uint32_t k = 1; k <= 3; ++k) {
            double c, s;
            unit_circle(k * e, size, c, s);
            entry[4 * (k - 1)] = c;
            entry[4 * (k - 1) + 2] = -s;
        }
    }
}

// Cosines of the split step: cos(2 pi k / n) for k < n/4. The sines are read
// backwards from the same table.
void make_cosines(uint32_t n, double *c)
{
    for (uint32_t k = 0; k < n / 4; ++k) {
        double s;
        unit_circle(k, n, c[k], s);
    }
}

inline pair2 twiddle_pair(const double *t, uint32_t e0, uint32_t e1, uint32_t part)
{
    return pair2{t[12 * (e0 >> 1) + 2 * part + (e0 & 1)], t[12 * (e1 >> 1) + 2 * part + (e1 & 1)]};
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

// Lane i of x, then lane j of y.
template <int i, int j>
inline pair2 lanes(pair2 x, pair2 y)
{
    return __builtin_shufflevector(x, y, i, 2 + j);
}

// -i x for one complex value held as (re, im).
inline pair2 minus_i(pair2 x)
{
    return lanes<1, 0>(x, -x);
}

// The 4-point transform of a group of four bit-reversed values: x[t] holds
// the sample of residue 0, 2, 1, 3 for t = 0, 1, 2, 3, so no twiddle is
// needed. Complex values are held as (re, im).
inline void butterfly4(const pair2 *x, pair2 *y)
{
    const pair2 t0 = x[0] + x[1], t1 = x[0] - x[1], t2 = x[2] + x[3], t3 = minus_i(x[2] - x[3]);
    y[0] = t0 + t2;
    y[1] = t1 + t3;
    y[2] = t0 - t2;
    y[3] = t1 - t3;
}

// The 8-point transform of a group of eight bit-reversed values: a radix-2
// step on neighbours, then radix-4 butterflies of the two length-2 halves
// with the 8-point twiddles 1, W, W^2 = -i and W^3.
inline void butterfly8(const pair2 *x, pair2 *y)
{
    const double r = 0.70710678118654752440; // sqrt(1/2)
    pair2 v[8];
    #pragma GCC unroll 8
    for (int k = 0; k < 8; k += 2) {
        v[k] = x[k] + x[k + 1];
        v[k + 1] = x[k] - x[k + 1];
    }
    // Position 0 of each half: v0, v2, v4, v6 to outputs 0, 2, 4, 6.
    const pair2 a0 = v[0] + v[2], a1 = v[0] - v[2], a2 = v[4] + v[6], a3 = minus_i(v[4] - v[6]);
    // Position 1: v3 takes W^2, v5 W and v7 W^3, to outputs 1, 3, 5, 7.
    const pair2 b = minus_i(v[3]);
    const pair2 c = pair2{v[5][0] + v[5][1], v[5][1] - v[5][0]} * r;
    const pair2 d = pair2{v[7][1] - v[7][0], -(v[7][0] + v[7][1])} * r;
    const pair2 b0 = v[1] + b, b1 = v[1] - b, b2 = c + d, b3 = minus_i(c - d);
    y[0] = a0 + a2;
    y[1] = b0 + b2;
    y[2] = a1 + a3;
    y[3] = b1 + b3;
    y[4] = a0 - a2;
    y[5] = b0 - b2;
    y[6] = a1 - a3;
    y[7] = b1 - b3;
}

template <uint32_t R>
inline void butterfly(const pair2 *x, pair2 *y)
{
    if (R == 4)
        butterfly4(x, y);
    else
        butterfly8(x, y);
}

// R consecutive outputs, each held as (re, im), as R/2 blocks.
template <uint32_t R>
inline void store_blocks(double *p, const pair2 *y)
{
    #pragma GCC unroll 8
    for (uint32_t t = 0; t < R; t += 2)
        store_block(p + 2 * t, {pair2{y[t][0], y[t + 1][0]}, pair2{y[t][1], y[t + 1][1]}});
}

constexpr uint32_t reversed_low_bits[8] = {0, 4, 2, 6, 1, 5, 3, 7}; // 3-bit reversal

// Bit reversal of `bits` bits of x.
inline uint32_t reverse_bits(uint32_t x, uint32_t bits)
{
    uint32_t r = 0;
    for (uint32_t i = 0; i < bits; ++i, x >>= 1)
        r = (r << 1) | (x & 1);
    return r;
}

// The butterflies of one set of R^2 values, row h and column l read by
// load(h, l), column l leaving its group of R outputs as blocks at row rev l
// of `to` (rows `to_row` doubles apart).
template <uint32_t R, typename Load>
inline void set_butterflies(Load load, double *to, size_t to_row)
{
    const uint32_t rev_shift = R == 4 ? 1 : 0; // 3-bit reversal to r bits
    #pragma GCC unroll 4
    for (uint32_t l = 0; l < R; ++l) {
        pair2 x[R], y[R];
        #pragma GCC unroll 8
        for (uint32_t t = 0; t < R; ++t)
            x[t] = load(reversed_low_bits[t] >> rev_shift, l);
        butterfly<R>(x, y);
        store_blocks<R>(to + (reversed_low_bits[l] >> rev_shift) * to_row, y);
    }
}

// Bit reversal and the first radix-R stage (R = 4 or 8, R^2 <= m) in one
// pass, leaving blocks. With R = 2^r an index reads (h, M, l): r high bits,
// the middle bits M and r low bits. The group that bit reversal would put at
// position b = (rev l, rev M, 0) takes at its place t the value of index
// (rev t, M, l). So the R^2 values of middle M, as R rows h of R columns l,
// make the R groups of middle rev M, column l giving the group of row rev l:
// the sets of M and of rev M trade places. Set M is saved first, set rev M
// is then transformed into the place of set M, and the saved copy into the
// place of set rev M.
template <uint32_t R>
void reversed_first_stage(double *a, uint32_t log2m)
{
    const uint32_t r = R == 4 ? 2 : 3;
    const uint32_t mid_bits = log2m - 2 * r;
    const size_t row = size_t{2} << (log2m - r); // doubles between rows
    for (uint32_t mid = 0; mid < (1u << mid_bits); ++mid) {
        const uint32_t rmid = reverse_bits(mid, mid_bits);
        if (rmid < mid)
            continue;
        double *set = a + (size_t{2} * mid << r);
        double *rset = a + (size_t{2} * rmid << r);
        double saved[R][2 * R];
        #pragma GCC unroll 8
        for (uint32_t h = 0; h < R; ++h)
            #pragma GCC unroll 16
            for (uint32_t i = 0; i < 2 * R; ++i)
                saved[h][i] = set[h * row + i];
        if (rmid != mid)
            set_butterflies<R>([&](uint32_t h, uint32_t l) { return pair2{rset[h * row + 2 * l], rset[h * row + 2 * l + 1]}; },
                               set, row);
        set_butterflies<R>([&](uint32_t h, uint32_t l) { return pair2{saved[h][2 * l], saved[h][2 * l + 1]}; }, rset,
                           row);
    }
}

// The same from the windowed frame, frame[i] x window[i], into a: with
// source and destination apart, each set goes straight to its place.
template <uint32_t R>
void windowed_first_stage(const float *frame, const double *window, double *a, uint32_t log2m)
{
    const uint32_t r = R == 4 ? 2 : 3;
    const uint32_t mid_bits = log2m - 2 * r;
    const size_t row = size_t{2} << (log2m - r);
    for (uint32_t mid = 0; mid < (1u << mid_bits); ++mid) {
        const size_t from = size_t{2} * mid << r;
        set_butterflies<R>(
            [&](uint32_t h, uint32_t l) {
                const size_t i = from + h * row + 2 * l;
                return pair2{static_cast<double>(frame[i]) * window[i], static_cast<double>(frame[i + 1]) * window[i + 1]};
            },
            a + (size_t{2} * reverse_bits(mid, mid_bits) << r), row);
    }
}

// The first stage after a separate bit reversal, for sizes below R^2.
template <uint32_t R>
void first_stage(double *a, uint32_t m, uint32_t log2m)
{
    bit_reverse(a, log2m);
    for (uint32_t base = 0; base < m; base += R) {
        double *p = a + 2 * base;
        pair2 x[R], y[R];
        #pragma GCC unroll 8
        for (uint32_t t = 0; t < R; ++t)
            x[t] = pair2{p[2 * t], p[2 * t + 1]};
        butterfly<R>(x, y);
        store_blocks<R>(p, y);
    }
}

// Radix-4 stage on blocks: sub-transforms of length L (even) into length 4L.
// After bit reversal the four sub-transforms at p, p+L, p+2L, p+3L belong to
// residues 0, 2, 1, 3 (mod 4) of the length-4L transform, so the second takes
// W^2j, the third W^j and the fourth W^3j. Twiddles come from the table at
// stride g; at stride 1 (the last stage at the table's own size) a pair of
// neighbouring positions reads one block of each.
template <bool unit_stride>
void radix4_stage(double *a, uint32_t m, uint32_t L, const double *t, uint32_t g)
{
    for (uint32_t j = 0; j < L; j += 2) {
        cpair w1, w2, w3;
        if (unit_stride) {
            const double *e = t + 6 * j;
            w1 = load_block(e);
            w2 = load_block(e + 4);
            w3 = load_block(e + 8);
        } else {
            const uint32_t e0 = j * g, e1 = e0 + g;
            w1 = {twiddle_pair(t, e0, e1, 0), twiddle_pair(t, e0, e1, 1)};
            w2 = {twiddle_pair(t, e0, e1, 2), twiddle_pair(t, e0, e1, 3)};
            w3 = {twiddle_pair(t, e0, e1, 4), twiddle_pair(t, e0, e1, 5)};
        }
        for (uint32_t base = j; base < m; base += 4 * L) {
            double *x0 = a + 2 * base;
            double *x1 = x0 + 2 * L;
            double *x2 = x1 + 2 * L;
            double *x3 = x2 + 2 * L;
            const cpair p0 = load_block(x0);
            const cpair p1 = load_block(x1) * w2;
            const cpair p2 = load_block(x2) * w1;
            const cpair p3 = load_block(x3) * w3;
            const cpair t0 = p0 + p1, t1 = p0 - p1, t2 = p2 + p3, t3 = p2 - p3;
            // t1 -/+ i t3 without forming -t3.
            const cpair y1 = {t1.re + t3.im, t1.im - t3.re}, y3 = {t1.re - t3.im, t1.im + t3.re};
            store_block(x0, t0 + t2);
            store_block(x1, y1);
            store_block(x2, t0 - t2);
            store_block(x3, y3);
        }
    }
}

// Forward complex FFT (exp(-) convention) of the m = 2^log2m >= 4
// interleaved values of a, left as blocks, with the twiddle table of a
// size-`size` transform. With a frame, the values are frame[i] x window[i]
// and a is only written.
void complex_fft(double *a, uint32_t m, uint32_t log2m, const double *t, uint32_t size, const float *frame,
                 const double *window)
{
    const bool odd = (log2m & 1) != 0;
    const bool reversed_first = m >= (odd ? 64u : 16u);
    if (frame != nullptr && reversed_first) {
        if (odd)
            windowed_first_stage<8>(frame, window, a, log2m);
        else
            windowed_first_stage<4>(frame, window, a, log2m);
    } else {
        if (frame != nullptr)
            for (size_t i = 0; i < 2 * size_t{m}; ++i)
                a[i] = static_cast<double>(frame[i]) * window[i];
        if (odd && reversed_first)
            reversed_first_stage<8>(a, log2m);
        else if (odd)
            first_stage<8>(a, m, log2m);
        else if (reversed_first)
            reversed_first_stage<4>(a, log2m);
        else
            first_stage<4>(a, m, log2m);
    }
    for (uint32_t L = odd ? 8 : 4; 4 * L <= m; L *= 4) {
        const uint32_t g = size / (4 * L);
        if (g == 1)
            radix4_stage<true>(a, m, L, t, g);
        else
            radix4_stage<false>(a, m, L, t, g);
    }
}

// Where the split step puts each X_k (k < n/2; X_(n/2) only with k = 0): into
// a, as rdft's layout, or as the power |X_k|^2 rounded once to float. A single
// bin comes as (Re X_k, -Im X_k). Pairs of bins come as lanes, twice their
// values, for bins k, k+1 as (Re, Im) (rising) and for bins j, j-1 as
// (Re, -Im) (falling), both at once.
struct layout_out {
    double *a;

    void ends(double dc, double nyquist) const
    {
        a[0] = dc;
        a[1] = nyquist;
    }
    void bin(size_t k, double re, double minus_im) const
    {
        a[2 * k] = re;
        a[2 * k + 1] = minus_im;
    }
    void bins(size_t k, pair2 re2, pair2 im2, size_t j, pair2 fre2, pair2 fminus_im2) const
    {
        const pair2 half = {0.5, 0.5}, minus_half = {-0.5, -0.5};
        const pair2 re = half * re2, minus_im = minus_half * im2, fre = half * fre2, fminus_im = half * fminus_im2;
        const pair2 r0 = lanes<0, 0>(re, minus_im), r1 = lanes<1, 1>(re, minus_im);
        const pair2 f0 = lanes<0, 0>(fre, fminus_im), f1 = lanes<1, 1>(fre, fminus_im);
        std::memcpy(a + 2 * k, &r0, sizeof r0);
        std::memcpy(a + 2 * k + 2, &r1, sizeof r1);
        std::memcpy(a + 2 * j, &f0, sizeof f0);
        std::memcpy(a + 2 * j - 2, &f1, sizeof f1);
    }
};

// A pair's power is a quarter of the sum of its doubled parts squared, which
// saves halving each part: the quarter is exact in double, and where the sum
// leaves double's normal range both ways round to the same float (0 or
// infinity), so the bits are those of squaring rdft's output.
struct power_out {
    float *power;

    typedef float float4 __attribute__((vector_size(16)));

    void ends(double dc, double) const { power[0] = static_cast<float>(dc * dc); }
    void bin(size_t k, double re, double minus_im) const
    {
        power[k] = static_cast<float>(re * re + minus_im * minus_im);
    }
    void bins(size_t k, pair2 re2, pair2 im2, size_t j, pair2 fre2, pair2 fminus_im2) const
    {
        const pair2 quarter = {0.25, 0.25};
        const pair2 rising = quarter * (re2 * re2 + im2 * im2);
        const pair2 falling = quarter * (fre2 * fre2 + fminus_im2 * fminus_im2);
        const float4 all = __builtin_convertvector(__builtin_shufflevector(rising, falling, 0, 1, 3, 2), float4);
        std::memcpy(power + k, &all, 2 * sizeof(float));
        std::memcpy(power + j - 1, reinterpret_cast<const char *>(&all) + 2 * sizeof(float), 2 * sizeof(float));
    }
};

// Turns the m-point transform Z of the packed input, held as blocks, into
// X_k with the pairs (k, m - k):
//   X_k = (Z_k + conj Z_(m-k)) / 2 - i e^(-2 pi i k/n) (Z_k - conj Z_(m-k)) / 2,
// and X_0, X_(n/2) = Re Z_0 + Im Z_0, Re Z_0 - Im Z_0 (in rdft's layout a[0]
// and a[1]; as power, DC alone). Bin m/2 pairs with itself: X = conj Z.
//
// Positions k and k+1 (k even, one block) pair with m - k (first lane of the
// block at m - k) and m - k - 1 (second lane of the block at m - k - 2).
// X_(m-k) and X_(m-k-1) are written over both, so the first lane of the block
// at m - k - 2 is kept in registers for the next k.
//
// c holds cos(2 pi i / size) for i < size/4, read at stride = size / n; the
// sines are its entries read backwards from c + size/4.
template <bool unit_stride, typename Out>
void split_step(double *a, uint32_t m, const double *c, uint32_t size, uint32_t table_stride, Out out)
{
    const size_t stride = unit_stride ? 1 : table_stride;
    const double *sines = c + size / 4;
    const cpair z01 = load_block(a);
    double kept_re = a[2 * (m - 2)], kept_im = a[2 * (m - 2) + 2]; // Z_(m-k) for the next k
    {
        const double br = a[2 * (m - 2) + 1], bi = a[2 * (m - 2) + 3];
        out.ends(z01.re[0] + z01.im[0], z01.re[0] - z01.im[0]);
        // The pair (1, m - 1).
        const double cs = c[stride], sn = sines[-static_cast<ptrdiff_t>(stride)];
        const double ar = z01.re[1], ai = z01.im[1];
        const double er = ar + br, ei = ai - bi, or_ = ai + bi, oi = br - ar;
        const double xr = cs * or_ + sn * oi, xi = cs * oi - sn * or_;
        out.bin(1, 0.5 * (er + xr), -0.5 * (ei + xi));
        out.bin(m - 1, 0.5 * (er - xr), 0.5 * (ei - xi));
    }
    for (size_t k = 2; k < m / 2; k += 2) {
        const cpair z = load_block(a + 2 * k); // Z_k, Z_(k+1)
        const double *lo = a + 2 * (m - k - 2);
        const cpair partner = {pair2{kept_re, lo[1]}, pair2{kept_im, lo[3]}}; // Z_(m-k), Z_(m-k-1)
        kept_re = lo[0];
        kept_im = lo[2];
        const pair2 cs = pair2{c[k * stride], c[(k + 1) * stride]};
        const pair2 sn = pair2{sines[-static_cast<ptrdiff_t>(k * stride)], sines[-static_cast<ptrdiff_t>((k + 1) * stride)]};
        // Twice the even part E and the odd part O of each pair.
        const pair2 er = z.re + partner.re, ei = z.im - partner.im;
        const pair2 or_ = z.im + partner.im, oi = partner.re - z.re;
        // Twice e^(-2 pi i k/n) O.
        const pair2 xr = cs * or_ + sn * oi, xi = cs * oi - sn * or_;
        out.bins(k, er + xr, ei + xi, m - k, er - xr, ei - xi);
    }
    out.bin(m / 2, kept_re, kept_im);
}

// Tables for n (a power of two from 4 to 32768), built or grown in place.
void prepare_tables(uint32_t n, int *ip, double *w)
{
    // Both tables are sized by the largest n seen: the twiddles take 3n/4
    // doubles and the cosines the n/4 behind them, so a larger n moves the
    // cosines and rebuilds both.
    if (n > 4 * static_cast<int64_t>(ip[0]) || n > 4 * static_cast<int64_t>(ip[1])) {
        make_twiddles(n / 2, w);
        make_cosines(n, w + 3 * (n / 4));
        ip[0] = static_cast<int>(n / 4);
        ip[1] = static_cast<int>(n / 4);
    }
}

// The transform of n >= 8 points (a, or the windowed frame when given)
// through the split step into `out`.
template <typename Out>
void transform(uint32_t n, double *a, const int *ip, const double *w, Out out, const float *frame = nullptr,
               const double *window = nullptr)
{
    const uint32_t built = 4 * static_cast<uint32_t>(ip[0]); // the tables' n
    const uint32_t m = n / 2;
    uint32_t log2m = 0;
    while ((1u << log2m) < m)
        ++log2m;
    complex_fft(a, m, log2m, w, built / 2, frame, window);
    const double *c = w + 3 * (built / 4);
    const uint32_t stride = built / n;
    if (stride == 1)
        split_step<true>(a, m, c, built, stride, out);
    else
        split_step<false>(a, m, c, built, stride, out);
}

bool supported(int n)
{
    return n >= 2 && n <= 32768 && (n & (n - 1)) == 0;
}

} // namespace

void rdft(int n, int isgn, double *a, int *ip, double *w)
{
    if (!supported(n) || isgn < 0)
        return;
    if (n >= 4)
        prepare_tables(static_cast<uint32_t>(n), ip, w);
    if (n >= 8) {
        transform(static_cast<uint32_t>(n), a, ip, w, layout_out{a});
        return;
    }
    if (n == 4) {
        // Z_0 = z_0 + z_1 and Z_1 = z_0 - z_1; X_1 = conj Z_1 is already
        // stored as (Re, -Im).
        const double r = a[2], im = a[3];
        a[2] = a[0] - r;
        a[3] = a[1] - im;
        a[0] += r;
        a[1] += im;
    }
    const double x0 = a[0];
    a[0] = x0 + a[1];
    a[1] = x0 - a[1];
}

void rdft_power(int n, const float *frame, const double *window, double *a, int *ip, double *w, float *power)
{
    if (!supported(n))
        return;
    if (n >= 8) {
        prepare_tables(static_cast<uint32_t>(n), ip, w);
        transform(static_cast<uint32_t>(n), a, ip, w, power_out{power}, frame, window);
        return;
    }
    for (int i = 0; i < n; ++i)
        a[i] = static_cast<double>(frame[i]) * window[i];
    rdft(n, 1, a, ip, w);
    power[0] = static_cast<float>(a[0] * a[0]);
    if (n == 4)
        power[1] = static_cast<float>(a[2] * a[2] + a[3] * a[3]);
}
