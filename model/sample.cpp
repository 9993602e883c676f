#include "model/content.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/converter.h"
#include "audio/ktaudiofilereader.h"

namespace {

constexpr std::uint8_t kZeroLevel = 0x80;
// Source data read per slot byte: enough for 192 kHz 32-bit stereo to fill
// about half the slot, and a bound on what one import reads.
constexpr std::uint64_t kSourceBytesPerSlotByte = 24;
constexpr std::size_t kFadeLength = 7;

// The last seven bytes move toward the zero level, halving the distance
// each step, so the sample ends without a click.
void fadeOut(std::vector<std::uint8_t>& slot, std::size_t n)
{
    if (n < kFadeLength) return;
    for (std::size_t k = 1; k <= kFadeLength; ++k) {
        std::uint8_t& b = slot[n - kFadeLength - 1 + k];
        if (b == kZeroLevel) continue;
        const unsigned value = b == 0 ? 1u : b;
        b = value < kZeroLevel ? static_cast<std::uint8_t>(kZeroLevel - ((kZeroLevel - value) >> k))
                               : static_cast<std::uint8_t>(kZeroLevel + ((value - kZeroLevel) >> k));
    }
}

} // namespace

// A WAV or AIFF file is converted to 33000 Hz mono unsigned 8-bit; any other
// file is taken as raw sample bytes. The slot changes only when the file
// delivered at least one byte.
bool CSample::load(const std::string& path)
{
    KtAudioFileReader reader(path);
    return loadFrom(reader);
}

bool CSample::load(std::span<const std::uint8_t> bytes)
{
    KtAudioFileReader reader(bytes);
    return loadFrom(reader);
}

bool CSample::loadFrom(KtAudioFileReader& reader)
{
    if (!reader.is_open()) return false;

    const std::size_t slotSize = m_data.size();
    std::vector<std::uint8_t> slot(slotSize, kZeroLevel);
    std::size_t got = 0;
    if (reader.isKnownFormat()) {
        const auto limit =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kSourceBytesPerSlotByte * slotSize, UINT32_MAX));
        audio::sample source;
        if (limit != 0 && reader.readSample(source, limit) != 0) {
            audio::sample converted;
            // Only the first slotSize samples can be kept, so none beyond are made.
            audio::converter(33000.0, 1, 8, true)
                .convert(converted, source, static_cast<std::uint32_t>(std::min<std::size_t>(slotSize, UINT32_MAX)));
            got = converted.size();
            std::copy_n(converted.bytes().begin(), std::min(slotSize, got), slot.begin());
        }
    } else {
        // The header read may have hit the end of a short file.
        reader.clear();
        reader.seek(0);
        got = reader.readBytes(slot.data(), slotSize);
    }
    reader.close();

    const std::size_t n = std::min(slotSize, got);
    if (n == 0) return false;
    fadeOut(slot, n);
    slot[0] = kZeroLevel;
    m_data.swap(slot);
    return true;
}
