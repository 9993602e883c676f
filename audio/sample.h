#pragma once

#include <cstdint>
#include <string>

#include "audio/buffer.h"

namespace audio {

// Interleaved PCM with its format. Values are stored least significant byte
// first, as two's complement of 8 x byterate bits, or as 8-bit offset binary
// when unsigned8Bit is set. Every conversion stage reads values through
// value(), so it never has to care about the storage form.
class sample : public buffer {
public:
    sample() = default;

    double samplerate() const { return m_samplerate; }
    sample& setSamplerate(double rate)
    {
        m_samplerate = rate;
        return *this;
    }
    std::uint16_t channels() const { return m_channels; }
    sample& setChannels(std::uint16_t channels)
    {
        m_channels = channels;
        return *this;
    }
    std::uint16_t bitrate() const { return m_bitrate; }
    std::uint16_t byterate() const { return m_byterate; }
    std::uint16_t shiftoffset() const { return m_shiftoffset; }
    bool unsigned8Bit() const { return m_unsigned8Bit; }

    // Bit depth; byterate and shift follow. Any depth but 8 clears the
    // unsigned flag, 8 keeps it, so callers set the depth first.
    sample& setBitrate(std::uint16_t bits);
    // True forces the depth to 8.
    sample& setUnsigned8Bit(bool flag);

    // Whole frames; 0 for a format that cannot be walked (no channels or
    // no bytes per value).
    std::uint32_t frames() const;
    // One value as a signed integer centred on 0. A channel past the last
    // reads the last; a position outside the bytes reads 0.
    std::int32_t value(std::uint32_t frame, std::uint16_t channel) const;

    std::string dump() const override;

private:
    double m_samplerate = 44100.0;
    std::uint16_t m_channels = 2;
    std::uint16_t m_bitrate = 16;
    std::uint16_t m_byterate = 2;
    std::uint16_t m_shiftoffset = 16;
    bool m_unsigned8Bit = false;
};

// Bytes per value for a bit depth: ceil(bits / 8).
constexpr std::uint16_t bytesPerValue(std::uint16_t bits)
{
    return static_cast<std::uint16_t>((bits + 7u) / 8u);
}

} // namespace audio
