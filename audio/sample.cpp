#include "audio/sample.h"

#include <ostream>
#include <sstream>

namespace audio {

sample& sample::setBitrate(std::uint16_t bits)
{
    m_bitrate = bits;
    m_byterate = bytesPerValue(bits);
    // Wraps for values wider than 4 bytes; value() reads those as 0.
    m_shiftoffset = static_cast<std::uint16_t>(32u - 8u * m_byterate);
    if (bits != 8) m_unsigned8Bit = false;
    return *this;
}

sample& sample::setUnsigned8Bit(bool flag)
{
    m_unsigned8Bit = flag;
    if (flag) setBitrate(8);
    return *this;
}

std::uint32_t sample::frames() const
{
    if (m_channels == 0 || m_byterate == 0) return 0;
    const std::uint64_t count = m_bytes.size() / m_channels / m_byterate;
    return count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count);
}

std::int32_t sample::value(std::uint32_t frame, std::uint16_t channel) const
{
    if (m_channels == 0) return 0;
    if (channel >= m_channels) channel = static_cast<std::uint16_t>(m_channels - 1);
    const std::uint64_t index = std::uint64_t{m_byterate} * (std::uint64_t{frame} * m_channels + channel);
    if (index + m_byterate > m_bytes.size()) return 0;

    if (m_unsigned8Bit) return static_cast<std::int32_t>(m_bytes[index]) - 128;
    if (m_byterate == 0 || m_byterate > 4) return 0;
    std::uint32_t raw = 0;
    for (std::uint16_t i = 0; i < m_byterate; ++i) raw |= std::uint32_t{m_bytes[index + i]} << (8 * i);
    // Move the top byte up to bit 31, then shift back arithmetically to
    // sign-extend from the value's own top bit.
    return static_cast<std::int32_t>(raw << m_shiftoffset) >> m_shiftoffset;
}

std::string sample::dump() const
{
    std::ostringstream out;
    out << "audio::sample   < " << static_cast<const void*>(this) << " >\n";
    out << "m_samplerate: " << m_samplerate << std::endl;
    out << "m_channels: " << m_channels << std::endl;
    out << "m_bitrate: " << m_bitrate << std::endl;
    out << "m_byterate: " << m_byterate << std::endl;
    out << "m_shiftoffset: " << m_shiftoffset << std::endl;
    out << "m_unsigned8Bit: " << (m_unsigned8Bit ? 1 : 0) << " ";
    return out.str();
}

} // namespace audio
