#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/sample.h"

class Ktifstream;

namespace audio {

// Decodes the audio files our own reader refuses or does not know (float and
// companded WAV and AIFF-C, FLAC, Ogg Vorbis and Opus, MP3, W64, CAF and
// more) through libsndfile, where the build has it; without it nothing opens.
// It reads through the given stream, so it works on a file or on bytes alike
// and never loads a whole file. A file whose type it cannot tell from its
// contents does not open: nothing is taken as headerless raw audio.
class FallbackDecoder {
public:
    // The stream must outlive the decoder; its position is the decoder's.
    explicit FallbackDecoder(Ktifstream& in);
    ~FallbackDecoder();
    FallbackDecoder(const FallbackDecoder&) = delete;
    FallbackDecoder& operator=(const FallbackDecoder&) = delete;

    // Whether the build has a fallback decoder at all.
    static bool built();

    // Opened, with at least one frame, a channel and a usable rate.
    bool isOpen() const;
    double samplerate() const;
    std::uint16_t channels() const;
    std::uint64_t frames() const;
    // What the file is, for the user: "FLAC", "Ogg Vorbis", "float WAV".
    std::string formatName() const;

    // Up to maxFrames frames from firstFrame on, as signed 32-bit PCM (every
    // source scaled so that full scale is full scale, float sources clamped):
    // 32 bits keep 24-bit and float sources as fine as our own reader keeps
    // 32-bit PCM, so the converter treats them alike. False on a read error.
    bool read(sample& out, std::uint64_t firstFrame, std::uint64_t maxFrames);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace audio
