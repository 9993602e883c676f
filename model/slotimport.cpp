#include "model/slotimport.h"

#include "audio/converter.h"
#include "audio/fallbackdecoder.h"
#include "audio/ktaudiofilereader.h"
#include "audio/slotaudio.h"

#include <algorithm>
#include <cmath>
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

} // namespace

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
    result.capacitySeconds = audio::slotSeconds(slotSize);
    result.startSeconds = std::max(0.0, options.startSeconds);

    std::unique_ptr<audio::FallbackDecoder> fallback;
    const ImportRoute route = routeOf(reader, fallback);
    std::vector<std::uint8_t> bytes(slotSize, audio::kZeroLevel);
    std::size_t got = 0;

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
        const std::uint64_t available = source.frames - firstFrame;
        // What fills the slot, never more than the bound or the file holds.
        const std::uint64_t bound = kMaxSourceBytesPerSlotByte * slotSize / source.frameBytes;
        const std::uint64_t wanted = std::min({framesFor(slotSize, source.rate), bound, available});
        result.cut = static_cast<double>(available) * audio::kDeviceSampleRate / source.rate > static_cast<double>(slotSize);

        audio::sample decoded;
        if (fallback)
            fallback->read(decoded, firstFrame, wanted);
        else
            reader.readFrames(decoded, firstFrame, static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, UINT32_MAX)));
        if (!decoded.empty()) {
            audio::sample converted;
            // Only the first slotSize samples can be kept, so none beyond are made.
            audio::converter(audio::kDeviceSampleRate, 1, 8, true)
                .convert(converted, decoded, static_cast<std::uint32_t>(std::min<std::size_t>(slotSize, UINT32_MAX)));
            got = converted.size();
            std::copy_n(converted.bytes().begin(), std::min(slotSize, got), bytes.begin());
        }
    } else if (route == ImportRoute::Raw) {
        // The machine's own format: a second is kDeviceSampleRate bytes.
        result.kind = ImportResult::Kind::Raw;
        const std::uint64_t size = reader.fileSize();
        result.sourceSeconds = audio::slotSeconds(size);
        const double first = std::floor(result.startSeconds * audio::kDeviceSampleRate);
        if (result.startSeconds > 0 && first >= static_cast<double>(size)) {
            result.kind = ImportResult::Kind::StartBeyondEnd;
            return result;
        }
        const auto firstByte = static_cast<std::uint64_t>(first);
        result.cut = size - firstByte > slotSize;
        // The header read may have hit the end of a short file.
        reader.clear();
        reader.seek(firstByte);
        got = reader.readBytes(bytes.data(), slotSize);
    } else {
        result.kind = route == ImportRoute::Refused ? ImportResult::Kind::Refused : ImportResult::Kind::Unreadable;
        result.reason = reader.errorMessage();
        return result;
    }

    const std::size_t n = std::min(slotSize, got);
    if (n == 0) {
        result.kind = ImportResult::Kind::Unreadable;
        result.reason = reader.error() == AudioError::None || route == ImportRoute::Raw
                            ? audioErrorText(AudioError::NoSamples)
                            : reader.errorMessage();
        result.cut = false;
        return result;
    }
    fadeOut(bytes, n);
    bytes[0] = audio::kZeroLevel;
    slot.swap(bytes);
    result.usedSeconds = audio::slotSeconds(n);
    return result;
}

std::string describeImport(std::string_view fileName, const ImportResult& result)
{
    using Kind = ImportResult::Kind;
    std::string line(fileName);
    line += ": ";
    const std::string from = result.startSeconds > 0 ? ", from " + audio::secondsText(result.startSeconds) + " on" : "";
    switch (result.kind) {
    case Kind::Raw:
        return line + "not an audio file, imported as raw 8-bit data" + from;
    case Kind::Stored:
        return line + "stored as it is";
    case Kind::Refused:
    case Kind::Unreadable:
        return line + "nothing imported. " + result.reason;
    case Kind::StartBeyondEnd:
        return line + "nothing imported. It is only " + audio::secondsText(result.sourceSeconds) +
               " long, so it cannot start at " + audio::secondsText(result.startSeconds) + ".";
    case Kind::Converted:
        break;
    }
    const std::string used = audio::secondsText(result.usedSeconds);
    if (result.cut || result.startSeconds > 0)
        line += used + " of " + audio::secondsText(result.sourceSeconds) + " used" + from;
    else
        line += "all " + used + " used";
    std::string notes;
    if (result.fallback) notes = "decoded from " + result.decoder + "; ";
    notes += result.cut ? "cut to fit the slot" : "the slot holds " + audio::secondsText(result.capacitySeconds);
    return line + " (" + notes + ")";
}
