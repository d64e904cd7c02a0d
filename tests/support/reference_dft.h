// Double-precision references for the transform tests: test frames, a direct
// DFT and the power of a Hann-windowed frame, all computed without the code
// under test.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

// n values uniform in [-1, 1), the same sequence for the same seed.
template <typename T>
std::vector<T> random_samples(uint32_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<T> d(-1, 1);
    std::vector<T> x(n);
    for (T &v : x)
        v = d(gen);
    return x;
}

// X_k = sum_j x_j e^(-2 pi i j k / n) in double, k = 0 .. n/2.
inline std::vector<std::complex<double>> direct_dft(const std::vector<float> &x)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j < n; ++j) {
            const double phase = 2.0 * std::numbers::pi * static_cast<double>((j * k) % n) / n;
            sum += static_cast<double>(x[j]) * std::complex<double>(std::cos(phase), -std::sin(phase));
        }
        out[k] = sum;
    }
    return out;
}

// |X_k|^2 of x_j = frame_j window_j for the requested bins, in double: window
// values are the symmetric Hann window computed in double, so the reference
// owes nothing to the backend.
struct HannPowerReference {
    explicit HannPowerReference(const std::vector<float> &frame) : n(frame.size()), x(n), c(n), s(n)
    {
        for (size_t j = 0; j < n; ++j) {
            const double w = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * j / (n - 1)));
            x[j] = frame[j] * w;
            c[j] = std::cos(2.0 * std::numbers::pi * j / n);
            s[j] = std::sin(2.0 * std::numbers::pi * j / n);
        }
    }
    double power(size_t k) const
    {
        double re = 0, im = 0;
        for (size_t j = 0; j < n; ++j) {
            re += x[j] * c[(j * k) % n];
            im -= x[j] * s[(j * k) % n];
        }
        return re * re + im * im;
    }
    size_t n;
    std::vector<double> x, c, s;
};

// A test frame of n samples by the first letter of `kind`: 'n' noise seeded
// with n, 't' a tone of amplitude 0.5 at bin n/8, 'q' alternation at the
// Nyquist frequency, anything else zeros.
inline std::vector<float> make_test_frame(const char *kind, uint32_t n)
{
    std::vector<float> x(n);
    std::mt19937 gen(n);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (uint32_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        switch (kind[0]) {
        case 'n': x[i] = d(gen); break;
        case 't': x[i] = static_cast<float>(0.5 * std::cos(2 * std::numbers::pi * (n / 8) * t / n)); break;
        case 'q': x[i] = (i % 2 == 0) ? 0.75f : -0.75f; break;
        default: x[i] = 0.0f; break;
        }
    }
    return x;
}
