#include "audio/ktaudiofilereader.h"

#include "model/error_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
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
AudioError usability(std::uint16_t channels, std::uint16_t bits, double samplerate)
{
    if (channels == 0) return AudioError::NoChannels;
    if (bits == 0 || bits > 32) return AudioError::BadBitDepth;
    if (!std::isfinite(samplerate) || samplerate <= 0.0) return AudioError::BadSampleRate;
    return AudioError::None;
}

std::uint32_t requestedCount(std::uint32_t available, std::uint32_t maxBytes)
{
    return maxBytes != 0 && maxBytes <= available ? maxBytes : available;
}

// A chunk or form identifier as text, empty when it is not printable.
std::string fourCc(std::uint32_t id)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((id >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return {};
        text.push_back(c);
    }
    return text;
}

std::string quotedFourCc(const char* what, std::uint32_t id)
{
    const std::string text = fourCc(id);
    return text.empty() ? std::string() : std::string(what) + " '" + text + "'";
}

} // namespace

namespace {

// The message table, one sentence per kind in the enumeration's order.
constexpr ErrorText<AudioError> kAudioErrorTexts[] = {
    {AudioError::None, ""},
    {AudioError::CannotOpen, "The file cannot be opened"},
    {AudioError::NotWavOrAiff, "It is neither a WAV nor an AIFF file"},
    {AudioError::OtherForm, "It is an IFF file of another type than AIFF"},
    {AudioError::Aifc, "It is an AIFF-C file"},
    {AudioError::IeeeFloat, "Its samples are IEEE floating point"},
    {AudioError::ALaw, "Its samples are A-law encoded"},
    {AudioError::MuLaw, "Its samples are mu-law encoded"},
    {AudioError::OtherWavEncoding, "Its samples are not uncompressed PCM"},
    {AudioError::ExtensibleNotPcm, "It is an extensible WAV whose sub-format is not integer PCM"},
    {AudioError::NoFmt, "It has no \"fmt \" chunk"},
    {AudioError::TruncatedFmt, "Its \"fmt \" chunk is too short"},
    {AudioError::NoComm, "It has no \"COMM\" chunk"},
    {AudioError::TruncatedComm, "Its \"COMM\" chunk is too short"},
    {AudioError::NoChannels, "It has no channels"},
    {AudioError::BadBitDepth, "Its bit depth is not between 1 and 32"},
    {AudioError::BadSampleRate, "Its sample rate is not usable"},
    {AudioError::NoData, "It has no \"data\" chunk"},
    {AudioError::NoSsnd, "It has no \"SSND\" chunk"},
    {AudioError::NoSamples, "It holds no samples"},
};
static_assert(coversInOrder(kAudioErrorTexts, AudioError::NoSamples));

} // namespace

std::string audioErrorText(AudioError error, std::string_view detail)
{
    if (error == AudioError::None) return {};
    std::string sentence(errorText(kAudioErrorTexts, error));
    if (!detail.empty()) sentence.append(" (").append(detail).append(")");
    return sentence + ".";
}

KtAudioFileReader::KtAudioFileReader(const std::string& path) : Ktifstream(path)
{
    classify();
}

KtAudioFileReader::KtAudioFileReader(std::span<const std::uint8_t> bytes) : Ktifstream(bytes)
{
    classify();
}

void KtAudioFileReader::classify()
{
    if (!is_open()) {
        m_error = AudioError::CannotOpen;
        return;
    }
    m_containerId = readU32(true);
    m_containerType = skip(4) ? readU32(true) : 0;
    m_formatTag = 0;
    if (m_containerType == kWave && findChunk(kFmt, false)) {
        const std::uint32_t size = readU32(false);
        m_formatTag = readU16(false);
        if (m_formatTag == kFormatExtensible && size >= kWavExtensibleSize && skip(22)) {
            std::array<std::uint8_t, 16> guid{};
            m_extensiblePcm = readBytes(guid) == guid.size() && guid == kPcmSubFormat;
        }
    }
    // The diagnosis walks the chunks; the stream is left as classifying left it.
    const auto state = rdstate();
    const std::uint64_t position = tell();
    m_error = diagnose();
    clear();
    m_chunksFit = walkChunks();
    clear();
    seek(position);
    setstate(state);
}

AudioError KtAudioFileReader::encoding() const
{
    switch (m_formatTag) {
    case kFormatPcm:
        return AudioError::None;
    case kFormatFloat:
        return AudioError::IeeeFloat;
    case kFormatALaw:
        return AudioError::ALaw;
    case kFormatMuLaw:
        return AudioError::MuLaw;
    case kFormatExtensible:
        return m_extensiblePcm ? AudioError::None : AudioError::ExtensibleNotPcm;
    default:
        return AudioError::OtherWavEncoding;
    }
}

// The same steps as readSample, in the same order, without reading samples:
// a file diagnosed None always yields some, one with a fault from NoFmt on none.
AudioError KtAudioFileReader::diagnose()
{
    Format format;
    if (m_containerId == kRiff && m_containerType == kWave) {
        AudioError error = readFmt(format);
        if (error == AudioError::None) error = encoding();
        if (error == AudioError::OtherWavEncoding) {
            m_errorDetail = "format tag 0x";
            for (int shift = 12; shift >= 0; shift -= 4)
                m_errorDetail.push_back("0123456789ABCDEF"[(m_formatTag >> shift) & 0xF]);
        }
        if (error == AudioError::None) error = usability(format.channels, format.bits, format.samplerate);
        std::uint32_t size = 0;
        if (error == AudioError::None) error = findData(size);
        if (error == AudioError::None && std::min<std::uint64_t>(size, remaining()) == 0) error = AudioError::NoSamples;
        if (error == AudioError::BadBitDepth) m_errorDetail = std::to_string(format.bits) + " bits";
        return error;
    }
    if (m_containerId != kForm) return AudioError::NotWavOrAiff;
    if (m_containerType == kAifc) {
        // AIFF-C adds the compression type after the sample rate.
        if (readComm(format) == AudioError::None && format.chunkSize >= kAiffCommMinSize + 4)
            m_errorDetail = quotedFourCc("compression type", readU32(true));
        return AudioError::Aifc;
    }
    if (m_containerType != kAiff) {
        m_errorDetail = quotedFourCc("form type", m_containerType);
        return AudioError::OtherForm;
    }
    AudioError error = readComm(format);
    if (error == AudioError::None) error = usability(format.channels, format.bits, format.samplerate);
    std::uint32_t available = 0;
    std::uint32_t offset = 0;
    std::uint32_t blockSize = 0;
    if (error == AudioError::None) error = findSsnd(available, offset, blockSize);
    // readSample drops the offset bytes from what it reads.
    if (error == AudioError::None && std::min<std::uint64_t>(available, remaining()) <= offset)
        error = AudioError::NoSamples;
    if (error == AudioError::BadBitDepth) m_errorDetail = std::to_string(format.bits) + " bits";
    return error;
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

bool KtAudioFileReader::walkChunks()
{
    const bool bigEndian = m_containerId == kRifx || m_containerId == kForm;
    if (!bigEndian && m_containerId != kRiff && m_containerId != kRf64) return true;
    const std::uint32_t sampleData = m_containerId == kForm ? kSsnd : kData;
    seek(kHeaderSize);
    while (remaining() >= 8) {
        const std::uint32_t id = readU32(true);
        const std::uint64_t size = readU32(bigEndian);
        // Sample data cut short is the common damage, and ends the walk.
        if (size > remaining()) return id == sampleData;
        const std::uint64_t next = tell() + size + (size & 1);
        if (id == kList && !listFits(size, bigEndian)) return false;
        // The pad byte after an odd-sized last chunk may be missing.
        seek(std::min<std::uint64_t>(next, fileSize()));
    }
    return true;
}

// A LIST chunk's type and then sub-chunks that each fit inside it.
bool KtAudioFileReader::listFits(std::uint64_t size, bool bigEndian)
{
    if (size < 4) return false;
    skip(4);
    for (std::uint64_t left = size - 4; left != 0;) {
        if (left < 8) return false;
        readU32(true);
        const std::uint64_t sub = readU32(bigEndian);
        left -= 8;
        if (sub > left) return false;
        // A pad byte after the last sub-chunk may fall outside the list.
        const std::uint64_t taken = std::min(left, sub + (sub & 1));
        skip(taken);
        left -= taken;
    }
    return true;
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

AudioError KtAudioFileReader::readFmt(Format& format)
{
    clear();
    seek(kHeaderSize);
    if (!findChunk(kFmt, false)) return AudioError::NoFmt;
    format.chunkSize = readU32(false);
    // A truncated "fmt " chunk would take its fields from the next chunk.
    if (format.chunkSize < kWavFmtMinSize) return AudioError::TruncatedFmt;
    format.tag = readU16(false);
    format.channels = readU16(false);
    format.samplerate = static_cast<double>(readU32(false));
    skip(6);
    format.bits = readU16(false);
    return AudioError::None;
}

AudioError KtAudioFileReader::readComm(Format& format)
{
    clear();
    seek(kHeaderSize);
    if (!findChunk(kComm, true)) return AudioError::NoComm;
    format.chunkSize = readU32(true);
    if (format.chunkSize < kAiffCommMinSize) return AudioError::TruncatedComm;
    format.channels = readU16(true);
    skip(4);
    format.bits = readU16(true);
    format.samplerate = readExtended();
    return AudioError::None;
}

AudioError KtAudioFileReader::findData(std::uint32_t& size)
{
    clear();
    seek(kHeaderSize);
    if (!findChunk(kData, false)) return AudioError::NoData;
    size = readU32(false);
    return AudioError::None;
}

AudioError KtAudioFileReader::findSsnd(std::uint32_t& available, std::uint32_t& offset, std::uint32_t& blockSize)
{
    clear();
    seek(kHeaderSize);
    if (!findChunk(kSsnd, true)) return AudioError::NoSsnd;
    const std::uint32_t size = readU32(true);
    offset = readU32(true);
    blockSize = readU32(true);
    available = size >= 8 ? size - 8 : 0;
    return AudioError::None;
}

bool KtAudioFileReader::readWavFormat(std::uint16_t& formatTag, double& samplerate, std::uint16_t& channels,
                                      std::uint16_t& bits)
{
    const std::uint64_t start = tell();
    Format format;
    const bool found = readFmt(format) == AudioError::None;
    formatTag = found ? format.tag : 0;
    samplerate = found ? format.samplerate : 0.0;
    channels = found ? format.channels : 0;
    bits = found ? format.bits : 0;
    clear();
    seek(start);
    return found;
}

bool KtAudioFileReader::readWavData(audio::sample& out, std::uint32_t maxBytes)
{
    const std::uint64_t start = tell();
    Format format;
    std::uint32_t size = 0;
    AudioError error = readFmt(format);
    if (error == AudioError::None) error = usability(format.channels, format.bits, format.samplerate);
    if (error == AudioError::None) error = findData(size);
    if (error == AudioError::None) {
        // Never allocate more than the file can still deliver.
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(requestedCount(size, maxBytes), remaining()));
        out.bytes().assign(n, 0);
        readInto(out);
        out.setChannels(format.channels)
            .setSamplerate(format.samplerate)
            .setBitrate(format.bits)
            .setUnsigned8Bit(format.bits <= 8);
    }
    clear();
    seek(start);
    return error == AudioError::None;
}

bool KtAudioFileReader::readAiffCommon(double& samplerate, std::uint16_t& channels, std::uint16_t& bits)
{
    const std::uint64_t start = tell();
    Format format;
    const bool found = readComm(format) == AudioError::None;
    samplerate = found ? format.samplerate : 0.0;
    channels = found ? format.channels : 0;
    bits = found ? format.bits : 0;
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
    Format format;
    std::uint32_t available = 0;
    AudioError error = readComm(format);
    if (error == AudioError::None) error = usability(format.channels, format.bits, format.samplerate);
    if (error == AudioError::None) error = findSsnd(available, offset, blockSize);
    if (error == AudioError::None) {
        const auto n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(requestedCount(available, maxBytes), remaining()));
        out.bytes().assign(n, 0);
        // Values are aligned on the first frame, not on the chunk, so the
        // swap starts after the offset bytes (readSample drops those).
        readSwapped(out, audio::bytesPerValue(format.bits), true, std::min(offset, n));
        out.setChannels(format.channels)
            .setSamplerate(format.samplerate)
            .setBitrate(format.bits)
            .setUnsigned8Bit(false);
    }
    clear();
    seek(start);
    return error == AudioError::None;
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

AudioError KtAudioFileReader::locate(Format& format, std::uint64_t& start, std::uint64_t& bytes)
{
    start = 0;
    bytes = 0;
    if (m_error != AudioError::None) return m_error;
    const bool wave = m_containerType == kWave;
    AudioError error = wave ? readFmt(format) : readComm(format);
    if (error == AudioError::None) error = usability(format.channels, format.bits, format.samplerate);
    if (error != AudioError::None) return error;
    if (wave) {
        std::uint32_t size = 0;
        error = findData(size);
        start = tell();
        bytes = std::min<std::uint64_t>(size, remaining());
        return error;
    }
    std::uint32_t available = 0;
    std::uint32_t offset = 0;
    std::uint32_t blockSize = 0;
    error = findSsnd(available, offset, blockSize);
    // The offset bytes come before the first frame.
    const std::uint64_t held = std::min<std::uint64_t>(available, remaining());
    start = tell() + offset;
    bytes = held > offset ? held - offset : 0;
    return error;
}

bool KtAudioFileReader::streamInfo(StreamInfo& info)
{
    Format format;
    std::uint64_t start = 0;
    std::uint64_t bytes = 0;
    const bool found = locate(format, start, bytes) == AudioError::None;
    clear();
    if (!found) return false;
    info.samplerate = format.samplerate;
    info.channels = format.channels;
    info.bits = format.bits;
    info.frames = bytes / (std::uint64_t{format.channels} * audio::bytesPerValue(format.bits));
    return true;
}

std::uint32_t KtAudioFileReader::readFrames(audio::sample& out, std::uint64_t firstFrame, std::uint32_t maxFrames)
{
    out.bytes().clear();
    Format format;
    std::uint64_t start = 0;
    std::uint64_t bytes = 0;
    if (locate(format, start, bytes) != AudioError::None) {
        clear();
        return 0;
    }
    const std::uint16_t width = audio::bytesPerValue(format.bits);
    const std::uint64_t frameBytes = std::uint64_t{format.channels} * width;
    const std::uint64_t frames = bytes / frameBytes;
    const std::uint64_t count = firstFrame < frames ? std::min<std::uint64_t>(maxFrames, frames - firstFrame) : 0;
    // Up to the end of the data readSample also keeps the bytes of a last,
    // partial frame, which can lengthen a conversion by one sample.
    const std::uint64_t wanted = count != 0 && firstFrame + count == frames ? bytes - firstFrame * frameBytes
                                                                           : count * frameBytes;
    // Never more than 4 GB in one sample.
    out.bytes().assign(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, UINT32_MAX)), 0);
    clear();
    const bool wave = m_containerType == kWave;
    if (count != 0) {
        seek(start + firstFrame * frameBytes);
        if (wave)
            readInto(out);
        else
            readSwapped(out, width, true);
    }
    out.setChannels(format.channels).setSamplerate(format.samplerate).setBitrate(format.bits);
    // WAV keeps 8 bits and fewer as offset binary; AIFF is always signed.
    out.setUnsigned8Bit(wave && format.bits <= 8);
    clear();
    return static_cast<std::uint32_t>(out.size());
}
