#include "audio/ktaudiofilereader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t kHeaderSize = 12;

// KSDATAFORMAT_SUBTYPE_PCM as it is stored in an extensible "fmt " chunk.
constexpr std::array<std::uint8_t, 16> kPcmSubFormat{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint32_t kWavFmtMinSize = 16;
constexpr std::uint32_t kWavExtensibleSize = 40;
constexpr std::uint32_t kAiffCommMinSize = 18;

// A format that the frame arithmetic and the rate conversion can work with.
// Anything else would divide by zero or ask for absurd buffers downstream.
bool usableFormat(double samplerate, std::uint16_t channels, std::uint16_t bits)
{
    return channels > 0 && bits > 0 && bits <= 32 && std::isfinite(samplerate) && samplerate > 0.0;
}

std::uint32_t requestedCount(std::uint32_t available, std::uint32_t maxBytes)
{
    return maxBytes != 0 && maxBytes <= available ? maxBytes : available;
}

} // namespace

KtAudioFileReader::KtAudioFileReader(const std::string& path) : Ktifstream(path)
{
    if (!is_open()) return;
    m_containerId = readU32(true);
    m_containerType = skip(4) ? readU32(true) : 0;
    m_formatTag = 0;
    if (m_containerType != kWave) return;

    if (!findChunk(kFmt, false)) return;
    const std::uint32_t size = readU32(false);
    m_formatTag = readU16(false);
    if (m_formatTag == kFormatExtensible && size >= kWavExtensibleSize && skip(22)) {
        std::array<std::uint8_t, 16> guid{};
        m_extensiblePcm = readBytes(guid) == guid.size() && guid == kPcmSubFormat;
    }
}

bool KtAudioFileReader::isKnownFormat() const
{
    return (m_containerId == kRiff && m_containerType == kWave) || m_containerId == kForm;
}

bool KtAudioFileReader::isPcm() const
{
    if (m_containerId == kForm) return m_containerType == kAiff;
    if (m_containerId == kRiff && m_containerType == kWave)
        return m_formatTag == kFormatPcm || (m_formatTag == kFormatExtensible && m_extensiblePcm);
    return false;
}

bool KtAudioFileReader::findChunk(std::uint32_t wanted, bool bigEndian)
{
    for (;;) {
        if (remaining() < 4) return false;
        const std::uint32_t id = readU32(true);
        if (id == wanted) return true;
        if (remaining() < 4) return false;
        const std::uint64_t size = readU32(bigEndian);
        // Chunks of odd size are followed by a pad byte that is not counted.
        if (!skip(size + (size & 1))) return false;
    }
}

bool KtAudioFileReader::readWavFormat(std::uint16_t& formatTag, double& samplerate, std::uint16_t& channels,
                                      std::uint16_t& bits)
{
    const std::uint64_t start = tell();
    formatTag = 0;
    samplerate = 0.0;
    channels = 0;
    bits = 0;
    clear();
    seek(kHeaderSize);
    bool found = findChunk(kFmt, false);
    // A truncated "fmt " chunk would take its fields from the next chunk.
    if (found && readU32(false) < kWavFmtMinSize) found = false;
    if (found) {
        formatTag = readU16(false);
        channels = readU16(false);
        samplerate = static_cast<double>(readU32(false));
        skip(6);
        bits = readU16(false);
    }
    clear();
    seek(start);
    return found;
}

bool KtAudioFileReader::readWavData(audio::sample& out, std::uint32_t maxBytes)
{
    const std::uint64_t start = tell();
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    double samplerate = 0.0;
    bool ok = readWavFormat(tag, samplerate, channels, bits) && usableFormat(samplerate, channels, bits);
    if (ok) {
        clear();
        seek(kHeaderSize);
        ok = findChunk(kData, false);
    }
    if (ok) {
        const std::uint32_t size = readU32(false);
        // Never allocate more than the file can still deliver.
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(requestedCount(size, maxBytes), remaining()));
        out.bytes().assign(n, 0);
        readInto(out);
        out.setChannels(channels).setSamplerate(samplerate).setBitrate(bits).setUnsigned8Bit(bits <= 8);
    }
    clear();
    seek(start);
    return ok;
}

bool KtAudioFileReader::readAiffCommon(double& samplerate, std::uint16_t& channels, std::uint16_t& bits)
{
    const std::uint64_t start = tell();
    samplerate = 0.0;
    channels = 0;
    bits = 0;
    clear();
    seek(kHeaderSize);
    bool found = findChunk(kComm, true);
    if (found && readU32(true) < kAiffCommMinSize) found = false;
    if (found) {
        channels = readU16(true);
        skip(4);
        bits = readU16(true);
        samplerate = readExtended();
    }
    clear();
    seek(start);
    return found;
}

bool KtAudioFileReader::readAiffData(std::uint32_t& offset, std::uint32_t& blockSize, audio::sample& out,
                                     std::uint32_t maxBytes)
{
    const std::uint64_t start = tell();
    offset = 0;
    blockSize = 0;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    double samplerate = 0.0;
    bool ok = readAiffCommon(samplerate, channels, bits) && usableFormat(samplerate, channels, bits);
    if (ok) {
        clear();
        seek(kHeaderSize);
        ok = findChunk(kSsnd, true);
    }
    if (ok) {
        const std::uint32_t size = readU32(true);
        offset = readU32(true);
        blockSize = readU32(true);
        const std::uint32_t available = size >= 8 ? size - 8 : 0;
        const auto n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(requestedCount(available, maxBytes), remaining()));
        out.bytes().assign(n, 0);
        // Values are aligned on the first frame, not on the chunk, so the
        // swap starts after the offset bytes (readSample drops those).
        readSwapped(out, audio::bytesPerValue(bits), true, std::min(offset, n));
        out.setChannels(channels).setSamplerate(samplerate).setBitrate(bits).setUnsigned8Bit(false);
    }
    clear();
    seek(start);
    return ok;
}

std::uint32_t KtAudioFileReader::readInto(audio::sample& out)
{
    if (out.empty()) return 0;
    const std::size_t got = readBytes(out.data(), out.size());
    out.bytes().resize(got);
    return static_cast<std::uint32_t>(got);
}

std::uint32_t KtAudioFileReader::readSwapped(audio::sample& out, std::uint16_t bytesPerValue, bool reverse,
                                             std::uint32_t start)
{
    const std::uint32_t got = readInto(out);
    if (start > got) start = got;
    const std::uint32_t count = bytesPerValue == 0 ? 0 : (got - start) / bytesPerValue;
    if (bytesPerValue < 2 || count == 0) return static_cast<std::uint32_t>(out.size());

    auto& bytes = out.bytes();
    bytes.resize(start + std::size_t{count} * bytesPerValue);
    if (reverse) {
        for (std::uint32_t i = 0; i < count; ++i) {
            auto first = bytes.begin() + start + std::ptrdiff_t{i} * bytesPerValue;
            std::reverse(first, first + bytesPerValue);
        }
    }
    return static_cast<std::uint32_t>(out.size());
}

std::uint32_t KtAudioFileReader::readSample(audio::sample& out, std::uint32_t maxBytes)
{
    if (m_containerType == kWave && readWavData(out, maxBytes)) return static_cast<std::uint32_t>(out.size());
    std::uint32_t offset = 0;
    std::uint32_t blockSize = 0;
    if (m_containerType == kAiff && readAiffData(offset, blockSize, out, maxBytes)) {
        auto& bytes = out.bytes();
        bytes.erase(bytes.begin(), bytes.begin() + std::min<std::size_t>(offset, bytes.size()));
        return static_cast<std::uint32_t>(out.size());
    }
    out.bytes().clear();
    return 0;
}
