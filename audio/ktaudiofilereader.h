#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "audio/sample.h"
#include "midifile/ktifstream.h"

// Why the audio file reader cannot deliver a file's samples. Code decides by
// the kind (what our reader refuses, another decoder may take); the user
// reads audioErrorText. The kinds before NoFmt say what the file is (or that
// it cannot be opened); from NoFmt on, readSample yields nothing.
enum class AudioError : std::uint8_t {
    None,
    CannotOpen,
    NotWavOrAiff, // any other file: the slot import takes its bytes raw
    OtherForm,    // an IFF FORM of another type than AIFF or AIFC
    Aifc,         // AIFF-C, whatever its compression type
    IeeeFloat,
    ALaw,
    MuLaw,
    OtherWavEncoding, // a WAV format tag other than PCM, float, A-law, mu-law
    ExtensibleNotPcm,
    NoFmt,
    TruncatedFmt,
    NoComm,
    TruncatedComm,
    NoChannels,
    BadBitDepth, // 0 or above 32
    BadSampleRate,
    NoData,
    NoSsnd,
    NoSamples, // the data chunk holds no sample bytes
};
// One sentence for the user; a detail (a format tag, a compression type)
// goes in parentheses before its full stop.
std::string audioErrorText(AudioError error, std::string_view detail = {});

// Reads WAV (RIFF/WAVE) and AIFF (FORM/AIFF) files: classifies the container
// on construction and reads the PCM data with its format into an
// audio::sample, least significant byte first whatever the file's order.
class KtAudioFileReader : public Ktifstream {
public:
    explicit KtAudioFileReader(const std::string& path);
    // Reads the bytes where they are: they must outlive the reader.
    explicit KtAudioFileReader(std::span<const std::uint8_t> bytes);
    ~KtAudioFileReader() override = default;

    // RIFF/WAVE, or FORM of any form type.
    bool isKnownFormat() const;
    // Uncompressed integer PCM: FORM/AIFF, or RIFF/WAVE with format tag 1 or
    // an extensible format whose sub-format is integer PCM.
    bool isPcm() const;
    // False for a chunked file (RIFF, RIFX, RF64, FORM) with a chunk other
    // than the sample data running past the end of the file, or a LIST
    // chunk whose sub-chunks run past its own end. Such damage can
    // send other decoders into loops that last minutes, so the import hands
    // them only files that pass; sample data cut short at the end of the file
    // is common and passes.
    bool chunksFit() const { return m_chunksFit; }
    // Why the file's samples cannot be delivered, found on construction from
    // the headers alone; None when readSample will yield PCM audio. Kept
    // apart from isKnownFormat and isPcm, which decide what the import does.
    AudioError error() const { return m_error; }
    std::string errorMessage() const { return audioErrorText(m_error, m_errorDetail); }

    // Fills out with the data (at most maxBytes of it, 0: no limit) and its
    // format; returns the byte count. 0 and an empty sample when the file
    // holds no readable audio.
    std::uint32_t readSample(audio::sample& out, std::uint32_t maxBytes);

    // The format and whole-frame length of what readSample delivers. False
    // when error() is not None.
    struct StreamInfo {
        double samplerate = 0.0;
        std::uint16_t channels = 0;
        std::uint16_t bits = 0;
        std::uint64_t frames = 0;
    };
    bool streamInfo(StreamInfo& info);
    // Up to maxFrames whole frames from firstFrame on: the bytes and format
    // readSample gives for those frames. Returns the byte count.
    std::uint32_t readFrames(audio::sample& out, std::uint64_t firstFrame, std::uint32_t maxFrames);

    // The steps of readSample. Each starts its chunk search right after the
    // container header and puts the stream back where it found it.
    bool readWavFormat(std::uint16_t& formatTag, double& samplerate, std::uint16_t& channels, std::uint16_t& bits);
    bool readWavData(audio::sample& out, std::uint32_t maxBytes);
    bool readAiffCommon(double& samplerate, std::uint16_t& channels, std::uint16_t& bits);
    bool readAiffData(std::uint32_t& offset, std::uint32_t& blockSize, audio::sample& out, std::uint32_t maxBytes);
    // Reads as many bytes as out holds; shrinks it to what arrived.
    std::uint32_t readInto(audio::sample& out);
    // readInto, then keeps only whole values from byte `start` on, each
    // reversed when asked; the first `start` bytes stay as read.
    std::uint32_t readSwapped(audio::sample& out, std::uint16_t bytesPerValue, bool reverse, std::uint32_t start = 0);

    std::uint32_t containerId() const { return m_containerId; }
    std::uint32_t containerType() const { return m_containerType; }
    std::uint16_t formatTag() const { return m_formatTag; }

    static constexpr std::uint32_t kRiff = 0x52494646;
    static constexpr std::uint32_t kWave = 0x57415645;
    static constexpr std::uint32_t kFmt = 0x666D7420;
    static constexpr std::uint32_t kData = 0x64617461;
    static constexpr std::uint32_t kList = 0x4C495354;
    static constexpr std::uint32_t kForm = 0x464F524D;
    static constexpr std::uint32_t kRifx = 0x52494658;
    static constexpr std::uint32_t kRf64 = 0x52463634;
    static constexpr std::uint32_t kAiff = 0x41494646;
    static constexpr std::uint32_t kComm = 0x434F4D4D;
    static constexpr std::uint32_t kSsnd = 0x53534E44;
    static constexpr std::uint32_t kAifc = 0x41494643;
    static constexpr std::uint16_t kFormatPcm = 1;
    static constexpr std::uint16_t kFormatFloat = 3;
    static constexpr std::uint16_t kFormatALaw = 6;
    static constexpr std::uint16_t kFormatMuLaw = 7;
    static constexpr std::uint16_t kFormatExtensible = 0xFFFE;

private:
    struct Format {
        std::uint16_t tag = 0;
        std::uint16_t channels = 0;
        std::uint16_t bits = 0;
        double samplerate = 0.0;
        std::uint32_t chunkSize = 0;
    };

    void classify();
    AudioError diagnose();
    bool walkChunks();
    bool listFits(std::uint64_t size, bool bigEndian);
    AudioError encoding() const;
    // Find and read the format chunk from offset 12, leaving the stream after
    // the fields read; NoFmt/TruncatedFmt or NoComm/TruncatedComm on failure.
    AudioError readFmt(Format& format);
    AudioError readComm(Format& format);
    // Find the data chunk from offset 12 and read its size (for "SSND" also
    // the offset and block size), leaving the stream on the first data byte.
    AudioError findData(std::uint32_t& size);
    AudioError findSsnd(std::uint32_t& available, std::uint32_t& offset, std::uint32_t& blockSize);
    // The format and where the first sample frame and the frames' bytes lie.
    AudioError locate(Format& format, std::uint64_t& start, std::uint64_t& bytes);
    // Walks the chunks from where the stream stands; true leaves it on the
    // wanted chunk's size field.
    bool findChunk(std::uint32_t wanted, bool bigEndian);

    std::uint32_t m_containerId = 0;
    std::uint32_t m_containerType = 0;
    std::uint16_t m_formatTag = 0;
    // Extensible format whose sub-format GUID is integer PCM.
    bool m_extensiblePcm = false;
    AudioError m_error = AudioError::None;
    bool m_chunksFit = true;
    std::string m_errorDetail;
};
