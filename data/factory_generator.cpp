// Synthesises the factory content of the 31 sound banks and the firmware
// placeholder. Only + - * / on doubles and integer arithmetic are used (no
// libm), so the same source always yields the same bytes on every IEEE machine.
//
// usage: varno_factory_generator SAMPLES.bin FIRMWARE.bin

#include "model/messagekind.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr double kRate = 33000.0;
constexpr double kPi = 3.14159265358979323846;
constexpr int kBanks = 31;
constexpr std::array<std::size_t, 6> kSlotSizes{0x6000, 0x2000, 0x6000, 0x2000, 0x8000, 0x8000};

class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_state(seed ? seed : 0x9E3779B9u) {}
    // Uniform in [-1, 1).
    double next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<double>(m_state) / 2147483648.0 - 1.0;
    }
    double unit() { return (next() + 1.0) * 0.5; }

private:
    std::uint32_t m_state;
};

// Sine of a phase given in turns, by a polynomial on [-1/2, 1/2] turns.
double sineTurns(double turns)
{
    double t = turns - static_cast<double>(static_cast<long long>(turns));
    if (t < 0) t += 1.0;
    if (t > 0.5) t -= 1.0;
    double x = t * 2.0 * kPi;
    // Fold into [-pi/2, pi/2] where the series converges fast.
    if (x > kPi / 2) x = kPi - x;
    if (x < -kPi / 2) x = -kPi - x;
    const double x2 = x * x;
    return x * (1 - x2 / 6 * (1 - x2 / 20 * (1 - x2 / 42 * (1 - x2 / 72 * (1 - x2 / 110)))));
}

struct OnePole {
    double a = 0.5; // 0..1, larger is brighter
    double y = 0;
    double lowpass(double x) { return y += a * (x - y); }
    double highpass(double x) { return x - lowpass(x); }
};

// Six detuned square oscillators: the metallic core of hats and cymbals.
class Metal {
public:
    Metal(double base, double spread)
    {
        constexpr std::array<double, 6> ratios{1.0, 1.4471, 1.6170, 1.9265, 2.5028, 2.6637};
        for (std::size_t i = 0; i < ratios.size(); ++i) m_step[i] = base * (1.0 + (ratios[i] - 1.0) * spread) / kRate;
    }
    double next()
    {
        double sum = 0;
        for (std::size_t i = 0; i < m_phase.size(); ++i) {
            m_phase[i] += m_step[i];
            if (m_phase[i] >= 1.0) m_phase[i] -= 1.0;
            sum += m_phase[i] < 0.5 ? 1.0 : -1.0;
        }
        return sum / 6.0;
    }
    // Starts the oscillators out of phase, so the first cycles do not add up to one spike.
    void scatter(Noise& r)
    {
        for (double& phase : m_phase) phase = r.unit();
    }

private:
    std::array<double, 6> m_phase{};
    std::array<double, 6> m_step{};
};

double decayFactor(double seconds)
{
    return 1.0 - 1.0 / (seconds * kRate);
}

// Per-bank character: every bank is tuned, damped and coloured differently.
struct BankVoice {
    double tune;       // 0.7 .. 1.45
    double decay;      // 0.6 .. 1.6
    double brightness; // 0 .. 1
    double grit;       // share of noise against the metallic tone, 0 .. 1
    std::uint32_t seed;
};

BankVoice voiceFor(int bank)
{
    Noise r(0xA5A5u + static_cast<std::uint32_t>(bank) * 7919u);
    for (int i = 0; i < 8; ++i) r.next();
    BankVoice v{};
    v.tune = 0.7 + 0.75 * r.unit();
    v.decay = 0.6 + 1.0 * r.unit();
    v.brightness = r.unit();
    v.grit = 0.15 + 0.7 * r.unit();
    v.seed = 0x1234567u + static_cast<std::uint32_t>(bank) * 104729u;
    return v;
}

std::vector<double> openHat(const BankVoice& v, std::size_t n, bool open)
{
    Noise noise(v.seed ^ (open ? 0x11u : 0x22u));
    Metal metal(310.0 * v.tune, 1.0 + 0.2 * v.brightness);
    OnePole hp{0.55 - 0.35 * v.brightness};
    OnePole smooth{0.55 + 0.4 * v.brightness};
    double env = 1.0;
    const double k = decayFactor((open ? 0.16 : 0.028) * v.decay);
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double src = (1.0 - v.grit) * metal.next() + v.grit * noise.next();
        out[i] = smooth.lowpass(hp.highpass(src)) * env;
        env *= k;
    }
    return out;
}

std::vector<double> clap(const BankVoice& v, std::size_t n)
{
    Noise noise(v.seed ^ 0x33u);
    OnePole lp{0.25 + 0.3 * v.brightness};
    OnePole hp{0.06};
    const std::size_t gap = static_cast<std::size_t>((0.008 + 0.006 * v.tune) * kRate);
    const int bursts = 3 + static_cast<int>(v.grit * 2.0);
    const double burstK = decayFactor(0.006);
    const double tailK = decayFactor(0.09 * v.decay + 0.04);
    std::vector<double> out(n);
    double tail = 0;
    double burstEnv = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t burst = i / gap;
        double env;
        if (burst < static_cast<std::size_t>(bursts)) {
            if (i % gap == 0) burstEnv = 1.0;
            env = burstEnv;
            burstEnv *= burstK;
            tail = 0.8;
        } else {
            tail *= tailK;
            env = tail;
        }
        out[i] = hp.highpass(lp.lowpass(noise.next())) * env;
    }
    return out;
}

std::vector<double> rimShot(const BankVoice& v, std::size_t n)
{
    Noise noise(v.seed ^ 0x44u);
    const double f1 = (480.0 + 900.0 * v.brightness) * v.tune;
    const double f2 = f1 * (2.3 + 0.4 * v.grit);
    const double k = decayFactor(0.012 * v.decay + 0.004);
    const double clickK = decayFactor(0.0015);
    double env = 1.0;
    double click = 1.0;
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        out[i] = env * (0.7 * sineTurns(f1 * t) + 0.3 * sineTurns(f2 * t)) + click * 0.6 * noise.next();
        env *= k;
        click *= clickK;
    }
    return out;
}

// A crash: a loud burst of noise and metal that dies away within the slot.
std::vector<double> crash(const BankVoice& v, std::size_t n)
{
    Noise noise(v.seed ^ 0x66u);
    Metal metal(530.0 * v.tune, 1.1 + 0.3 * v.grit);
    Metal shimmer(890.0 * v.tune, 1.3);
    OnePole hp{0.3};
    OnePole lp{0.5 + 0.45 * v.brightness};
    const double k = decayFactor(0.3 * v.decay);
    const double noiseShare = 0.35 + 0.4 * v.grit;
    double env = 1.0;
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double tone = 0.6 * metal.next() + 0.4 * shimmer.next();
        const double src = (1.0 - noiseShare) * tone + noiseShare * noise.next();
        out[i] = lp.lowpass(hp.highpass(src)) * env;
        env *= k;
    }
    return out;
}

// Newton's method instead of libm's sqrt, which is not the same everywhere.
double squareRoot(double x)
{
    if (x <= 0) return 0;
    double r = x > 1 ? x : 1;
    for (int i = 0; i < 64; ++i) r = 0.5 * (r + x / r);
    return r;
}

double energy(const std::vector<double>& x)
{
    double e = 0;
    for (double s : x) e += s * s;
    return e;
}

// A ride: a bright wash that rings through the slot, from high metal partials
// made denser by ring modulation with a lower bank and highpassed twice so
// most of the energy lies above 4 kHz; a short stick ping on top; and a bell
// tone mixed to a set share of the energy, an accent rather than the sound.
std::vector<double> ride(const BankVoice& v, std::size_t n)
{
    // Ride-only traits come from their own stream, so the other sounds keep their bytes.
    Noise traits(v.seed ^ 0x77u);
    const double bellShare = 0.05 + 0.17 * traits.unit();
    const double bellPitch = (620.0 + 700.0 * traits.unit()) * v.tune;
    const double pingShare = 0.35 + 0.4 * traits.unit();

    Noise noise(v.seed ^ 0x55u);
    Metal low(1150.0 * v.tune, 1.0 + 0.4 * v.grit);
    Metal high(2900.0 * v.tune, 1.2 + 0.3 * v.brightness);
    low.scatter(traits);
    high.scatter(traits);
    const double hpA = 0.62 - 0.12 * v.brightness;
    OnePole hp1{hpA};
    OnePole hp2{hpA};
    OnePole lp{0.6 + 0.38 * v.brightness};
    const double noiseShare = 0.05 + 0.2 * v.grit;
    const double washK = decayFactor(0.5 * v.decay + 0.12);
    const double pingK = decayFactor(0.03 + 0.03 * v.grit);
    const double bellK = decayFactor(0.3 * v.decay + 0.1);

    std::vector<double> wash(n);
    std::vector<double> bell(n);
    double washEnv = 1.0;
    double pingEnv = 1.0;
    double bellEnv = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double a = low.next();
        const double b = high.next();
        const double src = (1.0 - noiseShare) * (0.35 * a * b + 0.65 * b) + noiseShare * noise.next();
        const double env = (1.0 - pingShare) * washEnv + pingShare * pingEnv;
        wash[i] = lp.lowpass(hp2.highpass(hp1.highpass(src))) * env;
        bell[i] = bellEnv * (sineTurns(bellPitch * t) + 0.6 * sineTurns(bellPitch * 2.76 * t) +
                             0.3 * sineTurns(bellPitch * 5.4 * t));
        washEnv *= washK;
        pingEnv *= pingK;
        bellEnv *= bellK;
    }
    const double bellGain = squareRoot(bellShare * energy(wash) / ((1.0 - bellShare) * energy(bell)));
    for (std::size_t i = 0; i < n; ++i) wash[i] += bellGain * bell[i];
    return wash;
}

// Scales to most of the 8-bit range, ramps in from silence, fades out to
// silence at the end, and writes unsigned bytes with 0x80 as zero.
void finish(std::vector<double>& x, std::uint8_t* out)
{
    const std::size_t n = x.size();
    const std::size_t attack = 12;
    const std::size_t release = n / 16;
    for (std::size_t i = 0; i < attack && i < n; ++i) x[i] *= static_cast<double>(i) / attack;
    for (std::size_t i = 0; i < release; ++i) x[n - 1 - i] *= static_cast<double>(i) / release;
    double peak = 0;
    for (double s : x) peak = s > peak ? s : (-s > peak ? -s : peak);
    const double gain = peak > 0 ? 120.0 / peak : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = x[i] * gain;
        long v = static_cast<long>(s < 0 ? s - 0.5 : s + 0.5);
        v = v < -127 ? -127 : (v > 127 ? 127 : v);
        out[i] = static_cast<std::uint8_t>(128 + v);
    }
    out[0] = 0x80;
    out[n - 1] = 0x80;
}

std::vector<std::uint8_t> samples()
{
    std::vector<std::uint8_t> all;
    all.reserve(kBanks * 0x20000);
    for (int bank = 0; bank < kBanks; ++bank) {
        const BankVoice v = voiceFor(bank);
        std::array<std::vector<double>, 6> slots{openHat(v, kSlotSizes[0], true), openHat(v, kSlotSizes[1], false),
                                                 clap(v, kSlotSizes[2]),          rimShot(v, kSlotSizes[3]),
                                                 crash(v, kSlotSizes[4]),         ride(v, kSlotSizes[5])};
        for (auto& slot : slots) {
            const std::size_t at = all.size();
            all.resize(at + slot.size());
            finish(slot, all.data() + at);
        }
    }
    return all;
}

// A firmware-shaped placeholder that the machine ignores: the manufacturer
// byte is 7D (non-commercial), never the machine's own, and the payload is a
// repeated notice in 7-bit pairs.
std::vector<std::uint8_t> firmware()
{
    constexpr std::string_view notice = "VARNO414Editor firmware placeholder - not device firmware. ";
    struct Piece {
        std::array<std::uint8_t, 5> header;
        std::size_t payload;
    };
    // Header, payload and F7: the device firmware's message lengths.
    constexpr std::array<Piece, 2> pieces{
        Piece{{0xF0, 0x7D, kBlockByteFlag, kDataMessageKind, 0x00}, kFirmwareMessageSizes[0] - 6},
        Piece{{0xF0, 0x7D, kBlockByteFlag | kBlockMask, kDataMessageKind, 0x10}, kFirmwareMessageSizes[1] - 6}};
    constexpr std::size_t kPieceSize = kBlockMessageSize;
    std::vector<std::uint8_t> out;
    for (const Piece& p : pieces) {
        const std::size_t start = out.size();
        out.insert(out.end(), p.header.begin(), p.header.end());
        for (std::size_t i = 0; i < p.payload / 2; ++i) {
            const auto b = static_cast<std::uint8_t>(notice[i % notice.size()]);
            out.push_back(b >= 0x80 ? 1 : 0);
            out.push_back(b & 0x7F);
        }
        out.push_back(0xF7);
        out.resize(start + kPieceSize, 0x00);
    }
    return out;
}

bool write(const char* path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SAMPLES.bin FIRMWARE.bin\n", argv[0]);
        return 2;
    }
    if (!write(argv[1], samples()) || !write(argv[2], firmware())) {
        std::fprintf(stderr, "%s: cannot write the factory data\n", argv[0]);
        return 1;
    }
    return 0;
}
