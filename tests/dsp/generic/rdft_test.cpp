#include "dsp/generic/rdft.h"
#include "support/reference_dft.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Neumaier's compensated summation: the running error of the sum is carried
// alongside it, so the result is as good as the terms themselves.
struct CompensatedSum {
    long double sum = 0, carry = 0;

    void add(long double term)
    {
        const long double t = sum + term;
        carry += std::fabs(sum) >= std::fabs(term) ? (sum - t) + term : (term - t) + sum;
        sum = t;
    }
    long double value() const { return sum + carry; }
};

// cos and sin of 2 pi m / n (n a power of two), the angle folded into
// [0, pi/4] by exact steps first, so that rounding the angle costs little even
// where long double is double.
void unit_circle(int m, int n, long double &c, long double &s)
{
    const long double quarters = 4.0L * m / n; // exact
    const int q = static_cast<int>(quarters);
    long double u = quarters - q; // [0, 1) of a quarter turn
    const bool flip = u > 0.5L;
    if (flip)
        u = 1.0L - u;
    const long double angle = std::numbers::pi_v<long double> / 2.0L * u;
    long double cu = cosl(angle), su = sinl(angle);
    if (flip)
        std::swap(cu, su);
    const long double cs[4][2] = {{cu, su}, {-su, cu}, {-cu, -su}, {su, -cu}};
    c = cs[q][0];
    s = cs[q][1];
}

// Bin k of rdft's layout as (R_k, I_k): a[0] and a[1] hold R_0 and R_(n/2).
void layout_bin(const std::vector<double> &a, int n, int k, double &re, double &im)
{
    re = k == 0 ? a[0] : k == n / 2 ? a[1] : a[2 * k];
    im = k == 0 || k == n / 2 ? 0.0 : a[2 * k + 1];
}

TEST(RdftTest, MatchesExactDftAtEveryPowerOfTwo)
{
    for (int n = 2; n <= 32768; n *= 2) {
        SCOPED_TRACE(n);
        const std::vector<double> x = random_samples<double>(static_cast<uint32_t>(n), static_cast<uint32_t>(n));
        std::vector<double> a = x;
        std::vector<int> ip(n > 2 ? n : 2);
        std::vector<double> w(n);
        rdft(n, 1, a.data(), ip.data(), w.data());

        // R_k and I_k (the +sin sum) in long double, j k reduced mod n first,
        // with compensated sums: where long double is no wider than double
        // (32-bit ARM), a plain sum's own rounding would grow with n past the
        // transform's. Every bin up to 4096; above that a spread of bins and
        // the edges keeps the O(n) per bin oracle fast.
        std::vector<long double> c(n), s(n);
        for (int m = 0; m < n; ++m)
            unit_circle(m, n, c[m], s[m]);
        std::vector<int> bins = {1, n / 4, n / 2 - 1, n / 2};
        for (int k = 0; k <= n / 2; k += n <= 4096 ? 1 : n / 256 + 1)
            bins.push_back(k);
        long double err2 = 0, ref2 = 0, worst = 0;
        for (int k : bins) {
            CompensatedSum re, im;
            for (uint64_t j = 0, m = 0; j < static_cast<uint64_t>(n); ++j, m = (m + k) % n) {
                re.add(x[j] * c[m]);
                im.add(x[j] * s[m]);
            }
            double gr, gi;
            layout_bin(a, n, k, gr, gi);
            const long double e2 = (gr - re.value()) * (gr - re.value()) + (gi - im.value()) * (gi - im.value());
            err2 += e2;
            ref2 += re.value() * re.value() + im.value() * im.value();
            worst = std::max(worst, sqrtl(e2));
        }
        // Double rounding through log2(n) stages: measured at about a tenth of
        // eps x log2(n) relative RMS error. An oracle in double precision adds
        // its own rounding of each product and table entry, about eps relative.
        const double oracle = sizeof(long double) > sizeof(double) ? 0.0 : 2.0 * DBL_EPSILON;
        const double bound = DBL_EPSILON * std::log2(n) + oracle;
        EXPECT_LT(static_cast<double>(sqrtl(err2 / ref2)), bound);
        EXPECT_LT(static_cast<double>(worst / sqrtl(ref2 / bins.size())), 4.0 * bound);
    }
}

TEST(RdftTest, SmallestSizes)
{
    double two[2] = {3.0, -1.25};
    int ip[4] = {0, 0, 0, 0};
    double w[4] = {0, 0, 0, 0};
    rdft(2, 1, two, ip, w);
    EXPECT_EQ(two[0], 1.75);
    EXPECT_EQ(two[1], 4.25);

    // n = 4: R0 and R2 in a[0], a[1]; R1 = a0 - a2; I1 = a1 - a3.
    double four[4] = {1.0, 2.0, 4.0, 8.0};
    rdft(4, 1, four, ip, w);
    EXPECT_EQ(four[0], 15.0);
    EXPECT_EQ(four[1], -5.0);
    EXPECT_EQ(four[2], -3.0);
    EXPECT_EQ(four[3], -6.0);
    EXPECT_EQ(ip[0], 1);
    EXPECT_EQ(ip[1], 1);
}

TEST(RdftTest, TablesAreCachedAndGrow)
{
    // One pair of table arrays across sizes: small, larger (rebuilt), smaller
    // again (served by the larger tables). Every call must give the bits of a
    // call on fresh tables, and a repeat call the same bits again.
    std::vector<int> ip(4096);
    std::vector<double> w(8192);
    int built = 0;
    for (int n : {64, 1024, 64, 256, 16, 4096, 4096}) {
        SCOPED_TRACE(n);
        const std::vector<double> x = random_samples<double>(n, static_cast<uint32_t>(n) + 1);
        std::vector<double> cached = x;
        rdft(n, 1, cached.data(), ip.data(), w.data());
        built = std::max(built, n / 4);
        EXPECT_EQ(ip[0], built);
        EXPECT_EQ(ip[1], built);
        for (int i = 4 * built; i < 8192; ++i)
            ASSERT_EQ(w[i], 0.0) << "tables spill past w[n] at " << i;

        std::vector<int> fresh_ip(n);
        std::vector<double> fresh_w(n), direct = x;
        rdft(n, 1, direct.data(), fresh_ip.data(), fresh_w.data());
        EXPECT_EQ(cached, direct);
    }
}

TEST(RdftTest, PowerIsTheSquaredSpectrumBitForBit)
{
    // The backend's spectra come from rdft_power on a frame and its window:
    // every bin must be what squaring rdft's own output on the products
    // gives, DC alone in bin 0, for every size. Besides audio levels, frames
    // loud or quiet enough that the powers straddle float's overflow and its
    // subnormal range, where a power formed by another order of scalings
    // would round differently.
    for (const float scale : {1.0f, 0x1p60f, 0x1p-80f})
    for (int n = 2; n <= 32768; n *= 2) {
        SCOPED_TRACE(testing::Message() << "n " << n << " scale " << scale);
        std::vector<float> frame = random_samples<float>(static_cast<uint32_t>(n), static_cast<uint32_t>(n) + 7);
        for (float &v : frame)
            v *= scale;
        const std::vector<double> window = random_samples<double>(static_cast<uint32_t>(n), static_cast<uint32_t>(n) + 8);
        std::vector<double> a(n), b(n, 0.5), w(n), v(n);
        for (int i = 0; i < n; ++i)
            a[i] = static_cast<double>(frame[i]) * window[i];
        std::vector<int> ip(n > 2 ? n : 2), iq(n > 2 ? n : 2);
        rdft(n, 1, a.data(), ip.data(), w.data());
        std::vector<float> want(n / 2), got(n / 2, -1.0f);
        want[0] = static_cast<float>(a[0] * a[0]);
        for (int k = 1; k < n / 2; ++k)
            want[k] = static_cast<float>(a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1]);
        rdft_power(n, frame.data(), window.data(), b.data(), iq.data(), v.data(), got.data());
        EXPECT_EQ(got, want);
        EXPECT_EQ(iq, ip);
        EXPECT_EQ(v, w);
    }
}

TEST(RdftTest, UnsupportedCallsLeaveEverythingUntouched)
{
    const int cases[][2] = {{0, 1}, {1, 1}, {3, 1}, {6, 1}, {1000, 1}, {65536, 1}, {-8, 1}, {64, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << " isgn " << c[1]);
        std::vector<double> a(70000, 0.5), w(70000, 0.25);
        std::vector<int> ip(70000, 3);
        std::vector<float> power(70000, 0.75f);
        const std::vector<float> frame(70000, 0.125f);
        rdft(c[0], c[1], a.data(), ip.data(), w.data());
        if (c[1] >= 0)
            rdft_power(c[0], frame.data(), w.data(), a.data(), ip.data(), w.data(), power.data());
        EXPECT_EQ(power, std::vector<float>(70000, 0.75f));
        EXPECT_EQ(a, std::vector<double>(70000, 0.5));
        EXPECT_EQ(ip, std::vector<int>(70000, 3));
        EXPECT_EQ(w, std::vector<double>(70000, 0.25));
    }
}

} // namespace
