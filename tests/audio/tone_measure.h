#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace audiotest {

// RMS of slot bytes around the zero level.
inline double rms(const std::vector<std::uint8_t>& bytes)
{
    double sum = 0;
    for (const std::uint8_t b : bytes) sum += (b - 128.0) * (b - 128.0);
    return std::sqrt(sum / static_cast<double>(bytes.size()));
}

// SINAD of a tone of known frequency (cycles per sample) in slot bytes: the
// least-squares fit of a sin + b cos + c is the signal, what is left over is
// noise and distortion. The first and last 256 bytes are left out: the slot
// starts at the zero level and fades at its end.
inline double sinad(const std::vector<std::uint8_t>& bytes, double cycles)
{
    const std::size_t from = 256;
    const std::size_t to = bytes.size() - 256;
    // Normal equations of the three basis functions, solved by Cramer's rule.
    double m[3][3] = {};
    double r[3] = {};
    const auto basis = [&](std::size_t i, double out[3]) {
        const double w = 2.0 * std::numbers::pi * cycles * static_cast<double>(i);
        out[0] = std::sin(w);
        out[1] = std::cos(w);
        out[2] = 1.0;
    };
    for (std::size_t i = from; i < to; ++i) {
        double f[3];
        basis(i, f);
        for (int a = 0; a < 3; ++a) {
            r[a] += f[a] * (bytes[i] - 128.0);
            for (int b = 0; b < 3; ++b) m[a][b] += f[a] * f[b];
        }
    }
    const auto det = [](const double x[3][3]) {
        return x[0][0] * (x[1][1] * x[2][2] - x[1][2] * x[2][1]) - x[0][1] * (x[1][0] * x[2][2] - x[1][2] * x[2][0]) +
               x[0][2] * (x[1][0] * x[2][1] - x[1][1] * x[2][0]);
    };
    const double d = det(m);
    double k[3];
    for (int c = 0; c < 3; ++c) {
        double t[3][3];
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) t[a][b] = b == c ? r[a] : m[a][b];
        k[c] = det(t) / d;
    }
    double signal = 0;
    double rest = 0;
    for (std::size_t i = from; i < to; ++i) {
        double f[3];
        basis(i, f);
        const double fit = k[0] * f[0] + k[1] * f[1];
        const double e = (bytes[i] - 128.0) - fit - k[2];
        signal += fit * fit;
        rest += e * e;
    }
    return 10.0 * std::log10(signal / rest);
}

} // namespace audiotest
