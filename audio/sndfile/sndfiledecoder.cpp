// The fallback decoder over libsndfile, reading through our own stream by
// libsndfile's virtual I/O.
#include "audio/fallbackdecoder.h"

#include "midifile/ktifstream.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace audio {
namespace {

Ktifstream& streamOf(void* user)
{
    return *static_cast<Ktifstream*>(user);
}

sf_count_t streamLength(void* user)
{
    return static_cast<sf_count_t>(streamOf(user).fileSize());
}

sf_count_t streamSeek(sf_count_t offset, int whence, void* user)
{
    Ktifstream& in = streamOf(user);
    in.clear();
    const auto size = static_cast<sf_count_t>(in.fileSize());
    const sf_count_t base = whence == SEEK_CUR ? static_cast<sf_count_t>(in.tell()) : whence == SEEK_END ? size : 0;
    const sf_count_t target = std::clamp<sf_count_t>(base + offset, 0, size);
    in.seek(static_cast<std::uint64_t>(target));
    return static_cast<sf_count_t>(in.tell());
}

sf_count_t streamRead(void* target, sf_count_t count, void* user)
{
    Ktifstream& in = streamOf(user);
    const std::size_t got = in.readBytes(static_cast<std::uint8_t*>(target), static_cast<std::size_t>(count));
    in.clear(); // a short read at the end is no error for libsndfile
    return static_cast<sf_count_t>(got);
}

sf_count_t streamWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t streamTell(void* user)
{
    return static_cast<sf_count_t>(streamOf(user).tell());
}

SF_VIRTUAL_IO kStreamIo{streamLength, streamSeek, streamRead, streamWrite, streamTell};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// libsndfile's own name for a major or sub type, "" when it has none. Asked
// by format code: SFC_GET_FORMAT_MAJOR and _SUBTYPE take a list position.
std::string libraryName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) return {};
    return info.name;
}

std::string encodingName(int subtype)
{
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_PCM_U8:
        return {};
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_ULAW:
        return "mu-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    default:
        return libraryName(subtype);
    }
}

} // namespace

struct FallbackDecoder::Impl {
    std::unique_ptr<SNDFILE, SndfileCloser> file;
    SF_INFO info{};
    bool aifc = false;
    sf_count_t position = 0; // the next frame read, kept here as not every codec can tell
};

FallbackDecoder::FallbackDecoder(Ktifstream& in) : m_impl(std::make_unique<Impl>())
{
    std::array<std::uint8_t, 12> header{};
    in.clear();
    in.seek(0);
    m_impl->aifc = in.readBytes(header) == header.size() && std::equal(header.begin() + 8, header.end(), "AIFC");
    in.clear();
    in.seek(0);
    m_impl->file.reset(sf_open_virtual(&kStreamIo, SFM_READ, &m_impl->info, &in));
    const SF_INFO& info = m_impl->info;
    // libsndfile takes headerless data only when asked to, but never let it.
    const bool usable = m_impl->file && (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RAW && info.channels > 0 &&
                        info.channels <= UINT16_MAX && info.samplerate > 0 && info.frames > 0;
    if (!usable) m_impl->file.reset();
    if (m_impl->file) sf_command(m_impl->file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
}

FallbackDecoder::~FallbackDecoder() = default;

bool FallbackDecoder::built()
{
    return true;
}

bool FallbackDecoder::isOpen() const
{
    return m_impl->file != nullptr;
}

double FallbackDecoder::samplerate() const
{
    return isOpen() ? m_impl->info.samplerate : 0.0;
}

std::uint16_t FallbackDecoder::channels() const
{
    return isOpen() ? static_cast<std::uint16_t>(m_impl->info.channels) : 0;
}

std::uint64_t FallbackDecoder::frames() const
{
    return isOpen() ? static_cast<std::uint64_t>(m_impl->info.frames) : 0;
}

std::string FallbackDecoder::formatName() const
{
    if (!isOpen()) return {};
    const int major = m_impl->info.format & SF_FORMAT_TYPEMASK;
    const int subtype = m_impl->info.format & SF_FORMAT_SUBMASK;
    switch (major) {
    case SF_FORMAT_FLAC:
        return "FLAC";
    case SF_FORMAT_MPEG:
        return subtype == SF_FORMAT_MPEG_LAYER_III ? "MP3" : "MPEG audio";
    case SF_FORMAT_OGG:
        return "Ogg " + (subtype == SF_FORMAT_VORBIS ? std::string("Vorbis")
                         : subtype == SF_FORMAT_OPUS ? std::string("Opus")
                                                     : encodingName(subtype));
    default:
        break;
    }
    std::string name = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX ? "WAV"
                       : major == SF_FORMAT_AIFF                          ? (m_impl->aifc ? "AIFF-C" : "AIFF")
                       : major == SF_FORMAT_W64                           ? "W64"
                       : major == SF_FORMAT_CAF                           ? "CAF"
                       : major == SF_FORMAT_RF64                          ? "RF64"
                                                                          : libraryName(major);
    const std::string encoding = encodingName(subtype);
    if (!encoding.empty()) name += " (" + encoding + ")";
    return name;
}

bool FallbackDecoder::read(sample& out, std::uint64_t firstFrame, std::uint64_t maxFrames)
{
    out.bytes().clear();
    if (!isOpen()) return false;
    const auto channels = static_cast<std::uint16_t>(m_impl->info.channels);
    out.setSamplerate(m_impl->info.samplerate).setChannels(channels).setBitrate(32);
    SNDFILE* file = m_impl->file.get();
    constexpr sf_count_t kBlockFrames = 4096;
    std::vector<double> block(static_cast<std::size_t>(kBlockFrames) * channels);
    // Some codecs (GSM 6.10) cannot seek at all: from the start, frames
    // before the first one are read and dropped instead.
    const auto first = static_cast<sf_count_t>(firstFrame);
    sf_count_t& at = m_impl->position;
    if (at != first) {
        if (sf_seek(file, first, SEEK_SET) == first)
            at = first;
        else if (at > first)
            return false;
        while (at < first) {
            const sf_count_t got = sf_readf_double(file, block.data(), std::min(first - at, kBlockFrames));
            if (got <= 0) return false;
            at += got;
        }
    }
    std::uint64_t left = std::min(maxFrames, frames() - std::min(firstFrame, frames()));
    out.bytes().reserve(left * channels * 4);
    while (left > 0) {
        const sf_count_t want = static_cast<sf_count_t>(std::min<std::uint64_t>(left, kBlockFrames));
        const sf_count_t got = sf_readf_double(file, block.data(), want);
        if (got <= 0) break;
        at += got;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i) {
            // Full scale is 2^31; a float beyond it is clamped, never wrapped.
            const double scaled = std::isnan(block[i])
                                      ? 0.0
                                      : std::clamp(std::trunc(block[i] * 2147483648.0), -2147483648.0, 2147483647.0);
            const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled));
            for (int b = 0; b < 4; ++b) out.bytes().push_back(static_cast<std::uint8_t>(v >> (8 * b)));
        }
        left -= static_cast<std::uint64_t>(got);
    }
    return left == 0 || sf_error(file) == SF_ERR_NO_ERROR;
}

} // namespace audio
