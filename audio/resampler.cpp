#include "audio/resampler.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace audio {
namespace {

constexpr double kPi = 3.141592653589793238462643383279502884;
// Stopband attenuation and width of the transition band below the lower
// Nyquist frequency, as fractions of it. 55 dB is well past what 8 bits
// resolve (about 50 dB), and a transition of 12 % keeps the filter short.
constexpr double kStopbandDb = 55.0;
constexpr double kTransition = 0.12;
// Rates whose ratio needs more phases than this are stepped on a grid of
// at most this many phases: the instants move by under 1/2000 of a frame.
constexpr std::uint64_t kMaxPhases = 2048;
constexpr std::size_t kMaxTableSize = std::size_t{1} << 19;

// sin(pi x) from its series after exact reductions, so the taps do not
// depend on a C runtime's sin. Error below 1e-16 on the reduced range.
double sinPi(double x)
{
    x -= 2.0 * std::floor(x / 2.0); // [0, 2)
    double sign = 1.0;
    if (x >= 1.0) {
        x -= 1.0;
        sign = -1.0;
    }
    if (x > 0.5) x = 1.0 - x; // [0, 0.5]
    const double a = kPi * x;
    const double a2 = a * a;
    double term = a;
    double sum = a;
    for (int k = 1; k <= 12; ++k) {
        term *= -a2 / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return sign * sum;
}

// The modified Bessel function I0 from its power series, a fixed number of
// terms (enough for the arguments a Kaiser window of beta < 10 gives).
double besselI0(double x)
{
    const double q = x * x / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 40; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// Source and target rates as whole numbers of a common unit, when both are
// whole numbers of hertz.
bool wholeRates(double source, double target, std::uint64_t& s, std::uint64_t& t)
{
    if (!(source >= 1.0 && target >= 1.0 && source < 1e9 && target < 1e9)) return false;
    if (source != std::floor(source) || target != std::floor(target)) return false;
    s = static_cast<std::uint64_t>(source);
    t = static_cast<std::uint64_t>(target);
    const std::uint64_t g = std::gcd(s, t);
    s /= g;
    t /= g;
    return true;
}

} // namespace

resampler::resampler(double sourceRate, double targetRate)
{
    if (!(sourceRate > 0.0 && targetRate > 0.0 && std::isfinite(sourceRate) && std::isfinite(targetRate))) return;
    // Frequencies below in cycles per source frame.
    const double nyquist = std::min(sourceRate, targetRate) / 2.0 / sourceRate;
    const double width = kTransition * nyquist;
    const double cutoff = nyquist - width / 2.0;
    const double beta = 0.1102 * (kStopbandDb - 8.7);
    // Kaiser's estimate of the length for this attenuation and width.
    const double length = (kStopbandDb - 8.0) / (2.285 * 2.0 * kPi * width);
    const auto half = static_cast<std::size_t>(std::ceil(length / 2.0));
    m_taps = 2 * std::max<std::size_t>(half, 1);

    std::uint64_t s = 0;
    std::uint64_t t = 0;
    if (wholeRates(sourceRate, targetRate, s, t) && t <= kMaxPhases) {
        m_phases = t;
        m_step = s;
    } else {
        m_phases = std::clamp<std::uint64_t>(kMaxTableSize / m_taps, 64, kMaxPhases);
        m_step = static_cast<std::uint64_t>(std::llround(sourceRate / targetRate * static_cast<double>(m_phases)));
        m_step = std::max<std::uint64_t>(m_step, 1);
    }
    if (identity()) {
        m_phases = m_step = 1;
        return;
    }

    // Row p holds the taps for an instant p / m_phases of a frame after a
    // source frame; tap j weighs the frame j - (m_taps / 2 - 1) from it.
    const auto halfTaps = m_taps / 2; // whole taps on each side, by design
    const auto halfSpan = static_cast<double>(halfTaps);
    const double norm = besselI0(beta);
    m_table.resize(m_phases * m_taps);
    for (std::uint64_t p = 0; p < m_phases; ++p) {
        double* row = m_table.data() + p * m_taps;
        const double frac = static_cast<double>(p) / static_cast<double>(m_phases);
        double sum = 0.0;
        for (std::size_t j = 0; j < m_taps; ++j) {
            const double x = static_cast<double>(j) - (halfSpan - 1.0) - frac; // frames from the instant
            const double r = x / halfSpan;
            const double window = r * r < 1.0 ? besselI0(beta * std::sqrt(1.0 - r * r)) / norm : 0.0;
            const double arg = 2.0 * cutoff * x;
            const double sinc = arg == 0.0 ? 1.0 : sinPi(arg) / (kPi * arg);
            row[j] = 2.0 * cutoff * sinc * window;
            sum += row[j];
        }
        // Each phase passes a constant exactly, so no phase adds a ripple.
        if (sum != 0.0)
            for (std::size_t j = 0; j < m_taps; ++j) row[j] /= sum;
    }
}

std::uint64_t resampler::outputsFor(std::uint64_t frames) const
{
    if (m_taps == 0) return 0;
    return frames * m_phases / m_step;
}

std::uint64_t resampler::framesFor(std::uint64_t outputs) const
{
    if (m_taps == 0 || outputs == 0) return 0;
    const std::uint64_t last = (outputs - 1) * m_step / m_phases;
    return identity() ? last + 1 : last + m_taps / 2 + 1;
}

std::vector<double> resampler::process(std::span<const double> source, std::size_t maxOutputs) const
{
    std::uint64_t count = outputsFor(source.size());
    if (maxOutputs != 0) count = std::min<std::uint64_t>(count, maxOutputs);
    std::vector<double> out(static_cast<std::size_t>(count));
    if (identity()) {
        std::copy_n(source.begin(), out.size(), out.begin());
        return out;
    }
    const auto n = static_cast<std::int64_t>(source.size());
    const auto lead = static_cast<std::int64_t>(m_taps / 2 - 1);
    const auto taps = static_cast<std::int64_t>(m_taps);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = i * m_step;
        const auto base = static_cast<std::int64_t>(at / m_phases);
        const double* row = m_table.data() + (at % m_phases) * m_taps;
        const std::int64_t first = base - lead;
        // Only the taps over frames inside the source count.
        const std::int64_t from = std::max<std::int64_t>(0, -first);
        const std::int64_t to = std::min<std::int64_t>(taps, n - first);
        double sum = 0.0;
        for (std::int64_t j = from; j < to; ++j) sum += row[j] * source[static_cast<std::size_t>(first + j)];
        out[static_cast<std::size_t>(i)] = sum;
    }
    return out;
}

} // namespace audio
