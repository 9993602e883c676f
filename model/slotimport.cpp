#include "model/slotimport.h"

#include "audio/converter.h"
#include "audio/fallbackdecoder.h"
#include "audio/ktaudiofilereader.h"
#include "audio/resampler.h"
#include "audio/slotaudio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr std::size_t kFadeLength = 7;
// A bound on the source data one import holds, whatever a header claims:
// 256 bytes per slot byte is 32-bit audio at 192 kHz with 8 channels, so no
// real file is cut short by it, and the largest slot stays under 8 MB.
constexpr std::uint64_t kMaxSourceBytesPerSlotByte = 256;

// The last seven bytes move toward the zero level, halving the distance
// each step, so the sample ends without a click.
void fadeOut(std::vector<std::uint8_t>& slot, std::size_t n)
{
    if (n < kFadeLength) return;
    for (std::size_t k = 1; k <= kFadeLength; ++k) {
        std::uint8_t& b = slot[n - kFadeLength - 1 + k];
        if (b == audio::kZeroLevel) continue;
        const unsigned value = b == 0 ? 1u : b;
        b = value < audio::kZeroLevel ? static_cast<std::uint8_t>(audio::kZeroLevel - ((audio::kZeroLevel - value) >> k))
                                      : static_cast<std::uint8_t>(audio::kZeroLevel + ((value - audio::kZeroLevel) >> k));
    }
}

// Source frames the converter reads to make the first `outputs` slot samples
// from a source at `rate`: frames p and p + 1 around each output instant, and
// enough whole frames for its output length to reach `outputs`.
std::uint64_t framesFor(std::size_t outputs, double rate)
{
    if (outputs == 0) return 0;
    const double ratio = rate / audio::kDeviceSampleRate;
    const double around = std::floor(static_cast<double>(outputs - 1) * ratio) + 2.0;
    const double length = std::ceil(static_cast<double>(outputs) * ratio);
    const double frames = std::max(around, length) + 1.0; // one more against rounding
    return frames < 1e18 ? static_cast<std::uint64_t>(frames) : UINT64_MAX;
}

ImportRoute routeOf(KtAudioFileReader& reader, std::unique_ptr<audio::FallbackDecoder>& fallback)
{
    if (!reader.is_open()) return ImportRoute::Unreadable;
    if (reader.error() == AudioError::None) return ImportRoute::Reader;
    // The fallback is for encodings our reader does not decode. A WAV or AIFF
    // whose structure is broken (no format, no sample data) it cannot decode
    // either, and such files have sent it into endless loops.
    const bool broken = reader.isKnownFormat() && reader.error() >= AudioError::NoFmt;
    if (reader.chunksFit() && !broken) {
        fallback = std::make_unique<audio::FallbackDecoder>(reader);
        if (fallback->isOpen()) return ImportRoute::Fallback;
        fallback.reset();
    }
    if (!reader.isKnownFormat()) return ImportRoute::Raw;
    // A PCM file our reader finds broken is not refused: it imports nothing.
    return reader.isPcm() ? ImportRoute::Unreadable : ImportRoute::Refused;
}

struct Decoded {
    double rate = 0.0;
    std::uint64_t frames = 0;
    std::uint64_t frameBytes = 0;
};

constexpr double kPi = 3.141592653589793238462643383279502884;
constexpr double kRate = audio::kDeviceSampleRate;

// e^x from its series after reducing by whole powers of two, so a gain comes
// out the same to the last bit with every C runtime.
double exactExp(double x)
{
    constexpr double ln2 = 0.693147180559945309417232121458176568;
    const double k = std::floor(x / ln2 + 0.5);
    const double r = x - k * ln2;
    double term = 1.0;
    double sum = 1.0;
    for (int i = 1; i <= 24; ++i) {
        term *= r / i;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

double factorOfDb(double db)
{
    constexpr double ln10 = 2.302585092994045684017960972865223;
    return exactExp(db * ln10 / 20.0);
}

// A fixed-seed generator (splitmix64): the same dither on every run and
// every platform.
class DitherNoise {
public:
    // Triangular between -1 and 1 step: the difference of two uniform values.
    double next() { return uniform() - uniform(); }

private:
    double uniform()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53;
    }
    std::uint64_t m_state = 0x5641524E4F343134ull;
};

// The frames of a decoded sample in the opposite order.
void reverseFrames(audio::sample& s)
{
    const std::size_t frameBytes = std::size_t{s.channels()} * s.byterate();
    const std::uint32_t frames = s.frames();
    if (frameBytes == 0 || frames < 2) return;
    std::uint8_t* data = s.data();
    for (std::uint32_t a = 0, b = frames - 1; a < b; ++a, --b)
        std::swap_ranges(data + std::size_t{a} * frameBytes, data + std::size_t{a + 1} * frameBytes,
                         data + std::size_t{b} * frameBytes);
}

// The decoded audio at 33 kHz in 8-bit steps (128 is full scale), at most
// `outputs` samples, before any rounding. Classic resamples the integer
// values as the machine's conversion does, so that its truncation of these
// steps gives that conversion's bytes.
std::vector<double> toSlotRate(const audio::sample& decoded, std::size_t outputs, ImportOptions::Quality quality)
{
    const double scale = std::ldexp(1.0, 8 - 8 * static_cast<int>(decoded.byterate()));
    std::vector<double> steps;
    if (quality == ImportOptions::Quality::Classic) {
        const audio::converter slotFormat(kRate, 1, 8, true);
        audio::sample mixed;
        slotFormat.convertChannels(mixed, decoded);
        audio::sample resampled;
        slotFormat.convertSamplerate(resampled, mixed,
                                     static_cast<std::uint32_t>(std::min<std::size_t>(outputs, UINT32_MAX)));
        steps.resize(resampled.frames());
        for (std::uint32_t i = 0; i < resampled.frames(); ++i) steps[i] = resampled.value(i, 0) * scale;
        return steps;
    }
    // Clean full scale is 127 steps either way, so a full-scale source does
    // not clip on its positive side.
    const double cleanScale = scale * 127.0 / 128.0;
    const std::uint32_t frames = decoded.frames();
    const std::uint16_t ch = decoded.channels();
    std::vector<double> mono(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (std::uint16_t j = 0; j < ch; ++j) sum += decoded.value(i, j);
        mono[i] = sum / ch * cleanScale;
    }
    return audio::resampler(decoded.samplerate(), kRate).process(mono, outputs);
}

// The mean, then what drifts slower than about 10 Hz (a one-pole high-pass
// that starts from the mean-free signal, so it adds no step of its own).
void removeDc(std::vector<double>& steps)
{
    if (steps.empty()) return;
    double mean = 0.0;
    for (double v : steps) mean += v;
    mean /= static_cast<double>(steps.size());
    const double pole = 1.0 - 2.0 * kPi * 10.0 / kRate;
    double previousIn = 0.0;
    double previousOut = 0.0;
    for (double& v : steps) {
        const double in = v - mean;
        previousOut = in - previousIn + pole * previousOut;
        previousIn = in;
        v = previousOut;
    }
}

// Gain, normalizing, fades and rounding to the slot's bytes; gives the gain
// applied and the samples clipped.
std::vector<std::uint8_t> shape(std::vector<double> steps, const ImportOptions& options, ImportResult& result)
{
    if (options.removeDc) removeDc(steps);
    double gain = factorOfDb(options.gainDb);
    if (options.gainDb == 0.0) gain = 1.0;
    if (options.normalizePeakDb) {
        double peak = 0.0;
        for (double v : steps) peak = std::max(peak, std::fabs(v));
        // Silence stays silence.
        gain = peak > 0.0 ? 127.0 * factorOfDb(*options.normalizePeakDb) / peak : 1.0;
    }
    if (gain != 1.0) {
        for (double& v : steps) v *= gain;
        result.gainDb = 20.0 * std::log10(gain);
    }
    const std::size_t n = steps.size();
    const auto fadeIn = std::min<std::size_t>(n, static_cast<std::size_t>(std::floor(options.fadeInSeconds * kRate + 0.5)));
    for (std::size_t i = 0; i < fadeIn; ++i) steps[i] *= static_cast<double>(i) / static_cast<double>(fadeIn);
    const auto fadeOut = std::min<std::size_t>(n, static_cast<std::size_t>(std::floor(options.fadeOutSeconds * kRate + 0.5)));
    for (std::size_t i = 0; i < fadeOut; ++i) steps[n - 1 - i] *= static_cast<double>(i) / static_cast<double>(fadeOut);

    const bool clean = options.quality == ImportOptions::Quality::Clean;
    DitherNoise noise;
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        double v = steps[i];
        if (clean && options.dither) v += noise.next();
        v = clean ? std::floor(v + 0.5) : std::trunc(v);
        // One step over full scale is the rounding of a full-scale source, not clipping.
        if (gain != 1.0 && (v > 128.0 || v < -129.0)) ++result.clipped;
        bytes[i] = static_cast<std::uint8_t>(static_cast<int>(std::clamp(v, -128.0, 127.0)) + 128);
    }
    return bytes;
}


std::string dbText(double db, const char* unit)
{
    char text[32];
    // A level below full scale reads "-1.0 dBFS"; a gain carries its sign.
    std::snprintf(text, sizeof text, unit[2] == 'F' ? "%.1f %s" : "%+.1f %s", db == 0.0 ? 0.0 : db, unit);
    return text;
}

// What the options did, after `lead`, or nothing when they shaped nothing.
// The reverse and trimming notes belong to the sound; the conversion's to
// converted audio only.
std::string shapingText(const ImportResult& result, const char* lead, bool converted)
{
    const ImportOptions& o = result.options;
    std::vector<std::string> parts;
    if (converted && o.quality == ImportOptions::Quality::Clean)
        parts.emplace_back(o.dither ? "clean conversion, dithered" : "clean conversion");
    if (o.removeDc) parts.emplace_back("DC removed");
    if (o.normalizePeakDb)
        parts.push_back("normalized to " + dbText(*o.normalizePeakDb, "dBFS") + " (" + dbText(result.gainDb, "dB") + ")");
    else if (o.gainDb != 0.0)
        parts.push_back("gain " + dbText(o.gainDb, "dB"));
    if (o.reverse) parts.emplace_back("reversed");
    if (o.fadeInSeconds > 0) parts.push_back("faded in over " + audio::secondsText(o.fadeInSeconds));
    if (o.fadeOutSeconds > 0) parts.push_back("faded out over " + audio::secondsText(o.fadeOutSeconds));
    if (result.clipped > 0)
        parts.push_back(std::to_string(result.clipped) + (result.clipped == 1 ? " sample" : " samples") + " clipped");
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? lead : ", ") + part;
    return converted || text.empty() ? text : " (" + text.substr(std::string(lead).size()) + ")";
}

} // namespace

std::string importOptionsProblem(const ImportOptions& o)
{
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!finite(o.startSeconds) || o.startSeconds < 0) return "The start must be 0 seconds or more.";
    if (o.endSeconds && (!finite(*o.endSeconds) || *o.endSeconds <= o.startSeconds))
        return "The end must lie after the start.";
    if (!finite(o.gainDb) || std::fabs(o.gainDb) > 60.0) return "The gain must lie between -60 dB and +60 dB.";
    if (o.normalizePeakDb && (!finite(*o.normalizePeakDb) || *o.normalizePeakDb > 0.0 || *o.normalizePeakDb < -60.0))
        return "The peak to normalize to must lie between -60 dBFS and 0 dBFS.";
    if (!finite(o.fadeInSeconds) || o.fadeInSeconds < 0 || !finite(o.fadeOutSeconds) || o.fadeOutSeconds < 0)
        return "Fades must be 0 seconds or longer.";
    if (o.dither && o.quality != ImportOptions::Quality::Clean) return "Dither needs the clean conversion.";
    return {};
}

ImportCheck checkImport(const std::string& path)
{
    KtAudioFileReader reader(path);
    std::unique_ptr<audio::FallbackDecoder> fallback;
    const ImportRoute route = routeOf(reader, fallback);
    return {route, route == ImportRoute::Reader || route == ImportRoute::Fallback ? std::string()
                                                                                  : reader.errorMessage()};
}

ImportResult importIntoSlot(KtAudioFileReader& reader, std::vector<std::uint8_t>& slot, const ImportOptions& options)
{
    const std::size_t slotSize = slot.size();
    ImportResult result;
    result.options = options;
    result.capacitySeconds = audio::slotSeconds(slotSize);
    if (std::string problem = importOptionsProblem(options); !problem.empty()) {
        result.kind = ImportResult::Kind::BadOptions;
        result.reason = std::move(problem);
        return result;
    }
    result.startSeconds = options.startSeconds;
    const bool clean = options.quality == ImportOptions::Quality::Clean;

    std::unique_ptr<audio::FallbackDecoder> fallback;
    const ImportRoute route = routeOf(reader, fallback);
    std::vector<double> steps; // the sound at the slot's rate, 8-bit steps around 0

    if (route == ImportRoute::Reader || route == ImportRoute::Fallback) {
        Decoded source;
        KtAudioFileReader::StreamInfo info;
        if (fallback) {
            source = {fallback->samplerate(), fallback->frames(), std::uint64_t{fallback->channels()} * 4};
            result.decoder = fallback->formatName();
            result.fallback = true;
        } else if (reader.streamInfo(info)) {
            source = {info.samplerate, info.frames, std::uint64_t{info.channels} * audio::bytesPerValue(info.bits)};
            result.decoder = reader.containerType() == KtAudioFileReader::kWave ? "WAV" : "AIFF";
        }
        if (!(source.rate > 0) || source.frameBytes == 0) {
            result.reason = audioErrorText(AudioError::NoSamples);
            return result;
        }
        result.kind = ImportResult::Kind::Converted;
        result.sourceSeconds = static_cast<double>(source.frames) / source.rate;
        const double first = std::floor(result.startSeconds * source.rate);
        if (result.startSeconds > 0 && first >= static_cast<double>(source.frames)) {
            result.kind = ImportResult::Kind::StartBeyondEnd;
            return result;
        }
        const auto firstFrame = static_cast<std::uint64_t>(first);
        std::uint64_t rangeEnd = source.frames;
        if (options.endSeconds)
            rangeEnd = std::min(std::max(static_cast<std::uint64_t>(
                                             std::min(std::ceil(*options.endSeconds * source.rate), 1e18)),
                                         firstFrame + 1),
                                source.frames);
        const std::uint64_t available = rangeEnd - firstFrame;
        // What fills the slot, never more than the bound or the file holds.
        const std::uint64_t bound = kMaxSourceBytesPerSlotByte * slotSize / source.frameBytes;
        const std::uint64_t needed =
            clean ? audio::resampler(source.rate, kRate).framesFor(slotSize) : framesFor(slotSize, source.rate);
        const std::uint64_t wanted = std::min({needed, bound, available});
        result.cut = static_cast<double>(available) * kRate / source.rate > static_cast<double>(slotSize);
        // Backwards, the slot begins with the end of the chosen part.
        const std::uint64_t readFrom = options.reverse ? rangeEnd - wanted : firstFrame;

        audio::sample decoded;
        if (fallback)
            fallback->read(decoded, readFrom, wanted);
        else
            reader.readFrames(decoded, readFrom, static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, UINT32_MAX)));
        if (options.reverse) reverseFrames(decoded);
        // Only the first slotSize samples can be kept, so none beyond are made.
        if (!decoded.empty()) steps = toSlotRate(decoded, slotSize, options.quality);
    } else if (route == ImportRoute::Raw) {
        // The machine's own format: a second is kDeviceSampleRate bytes.
        result.kind = ImportResult::Kind::Raw;
        const std::uint64_t size = reader.fileSize();
        result.sourceSeconds = audio::slotSeconds(size);
        const double first = std::floor(result.startSeconds * kRate);
        if (result.startSeconds > 0 && first >= static_cast<double>(size)) {
            result.kind = ImportResult::Kind::StartBeyondEnd;
            return result;
        }
        const auto firstByte = static_cast<std::uint64_t>(first);
        std::uint64_t rangeEnd = size;
        if (options.endSeconds)
            rangeEnd = std::min(
                std::max(static_cast<std::uint64_t>(std::min(std::ceil(*options.endSeconds * kRate), 1e18)),
                         firstByte + 1),
                size);
        result.cut = rangeEnd - firstByte > slotSize;
        const std::uint64_t count = std::min<std::uint64_t>(rangeEnd - firstByte, slotSize);
        // The header read may have hit the end of a short file.
        reader.clear();
        reader.seek(options.reverse ? rangeEnd - count : firstByte);
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(count));
        raw.resize(reader.readBytes(raw.data(), raw.size()));
        if (options.reverse) std::reverse(raw.begin(), raw.end());
        steps.assign(raw.begin(), raw.end());
        for (double& v : steps) v -= audio::kZeroLevel;
    } else {
        result.kind = route == ImportRoute::Refused ? ImportResult::Kind::Refused : ImportResult::Kind::Unreadable;
        result.reason = reader.errorMessage();
        return result;
    }

    const std::size_t n = std::min(slotSize, steps.size());
    if (n == 0) {
        result.kind = ImportResult::Kind::Unreadable;
        result.reason = reader.error() == AudioError::None || route == ImportRoute::Raw
                            ? audioErrorText(AudioError::NoSamples)
                            : reader.errorMessage();
        result.cut = false;
        return result;
    }
    steps.resize(n);
    std::vector<std::uint8_t> bytes = shape(std::move(steps), options, result);
    bytes.resize(slotSize, audio::kZeroLevel);
    fadeOut(bytes, n);
    bytes[0] = audio::kZeroLevel;
    slot.swap(bytes);
    result.usedSeconds = audio::slotSeconds(n);
    return result;
}

std::string describeImport(std::string_view fileName, const ImportResult& result)
{
    using Kind = ImportResult::Kind;
    const ImportOptions& options = result.options;
    std::string line(fileName);
    line += ": ";
    std::string from;
    if (options.endSeconds)
        from = ", from " + audio::secondsText(result.startSeconds) + " to " + audio::secondsText(*options.endSeconds);
    else if (result.startSeconds > 0)
        from = ", from " + audio::secondsText(result.startSeconds) + " on";
    switch (result.kind) {
    case Kind::Raw:
        return line + "not an audio file, imported as raw 8-bit data" + from + shapingText(result, "; ", false);
    case Kind::Stored:
        return line + "stored as it is";
    case Kind::Refused:
    case Kind::Unreadable:
    case Kind::BadOptions:
        return line + "nothing imported. " + result.reason;
    case Kind::StartBeyondEnd:
        return line + "nothing imported. It is only " + audio::secondsText(result.sourceSeconds) +
               " long, so it cannot start at " + audio::secondsText(result.startSeconds) + ".";
    case Kind::Converted:
        break;
    }
    const std::string used = audio::secondsText(result.usedSeconds);
    if (result.cut || !from.empty())
        line += used + " of " + audio::secondsText(result.sourceSeconds) + " used" + from;
    else
        line += "all " + used + " used";
    std::string notes;
    if (result.fallback) notes = "decoded from " + result.decoder + "; ";
    notes += result.cut ? "cut to fit the slot" : "the slot holds " + audio::secondsText(result.capacitySeconds);
    return line + " (" + notes + shapingText(result, "; ", true) + ")";
}
