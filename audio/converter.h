#pragma once

#include <cstdint>

#include "audio/sample.h"

namespace audio {

// Converts any sample to one target format in four fixed stages: channel
// count, sample rate, bit depth, signedness. Stateless apart from the target.
class converter {
public:
    // With unsigned8Bit the bit depth given is ignored: the target is 8 bits.
    converter(double samplerate, std::uint16_t channels, std::uint16_t bits, bool unsigned8Bit);

    // result receives source in the target format. maxFrames (0: all) stops
    // the conversion after that many output frames, so a caller that keeps
    // only the start never pays for, or allocates, the rest. A source or
    // target that cannot be walked (no channels, no bytes per value, a rate
    // that is not a positive number) gives an empty result.
    void convert(sample& result, const sample& source, std::uint32_t maxFrames = 0) const;

    // The stages; each output starts empty.
    void convertChannels(sample& mixed, const sample& source) const;
    void convertSamplerate(sample& resampled, const sample& mixed, std::uint32_t maxFrames = 0) const;
    void convertBitrate(sample& scaled, const sample& resampled) const;
    void convertSign(sample& result, const sample& scaled) const;

    double targetSamplerate() const { return m_targetSamplerate; }
    std::uint16_t targetChannels() const { return m_targetChannels; }
    std::uint16_t targetBitrate() const { return m_targetBitrate; }
    bool targetUnsigned8Bit() const { return m_targetUnsigned8Bit; }

private:
    double m_targetSamplerate;
    std::uint16_t m_targetChannels;
    std::uint16_t m_targetBitrate;
    bool m_targetUnsigned8Bit;
};

} // namespace audio
