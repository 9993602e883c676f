#include "midifile/ktmidifilewriter.h"

#include "midifile/smfformat.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using smf::bytesPerTickFor;
using smf::kEndOfTrack;
using smf::kMeta;
using smf::kSysEx;
constexpr std::uint32_t kMaxVarLen = 0x0FFFFFFF;

} // namespace

KtMidiFileWriter::KtMidiFileWriter(const std::string& path, std::uint16_t division)
    : Ktofstream(path), m_division(division), m_bytesPerTick(bytesPerTickFor(division))
{
    writeHeader();
}

std::uint32_t KtMidiFileWriter::byteTimes(double seconds) const
{
    const double value = std::ceil(m_division * 2.0 * seconds * m_bytesPerTick);
    // Negative or absurd pauses must not turn into undefined conversions.
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(value);
}

std::uint32_t KtMidiFileWriter::ticks(std::uint32_t byteTimeCount) const
{
    if (m_bytesPerTick == 0) return 0;
    return static_cast<std::uint32_t>((std::uint64_t{byteTimeCount} + m_bytesPerTick - 1) / m_bytesPerTick);
}

void KtMidiFileWriter::writeHeader()
{
    const std::uint64_t position = tell();
    seek(0);
    static constexpr std::array<std::uint8_t, 4> complete{'M', 'T', 'h', 'd'};
    static constexpr std::array<std::uint8_t, 4> incomplete{'M', 'I', 'D', 'I'};
    writeBytes(m_tracks > 0 ? complete : incomplete);
    writeU32(6, true);
    writeU16(m_tracks > 1 ? 1 : 0, true);
    writeU16(m_tracks, true);
    writeU16(m_division, true);
    if (position != 0) seek(position);
}

void KtMidiFileWriter::beginTrack(bool chain)
{
    m_trackLength = 0;
    m_carry = chain ? m_totalTime : 0;
    m_trackStart = tell();
    static constexpr std::array<std::uint8_t, 4> placeholder{'-', '-', '-', '-'};
    writeBytes(placeholder);
    writeU32(0, true);
}

void KtMidiFileWriter::writeMeta(std::uint8_t type, std::span<const std::uint8_t> data, bool useCarry)
{
    if (data.size() > kMaxVarLen) return;
    std::size_t written = useCarry ? writeVarLen(std::min(ticks(m_carry), kMaxVarLen)) : writeU8(0);
    written += writeU8(kMeta);
    written += writeU8(type);
    written += writeVarLen(static_cast<std::uint32_t>(data.size()));
    written += writeBytes(data);
    m_trackLength += static_cast<std::uint32_t>(written);
}

bool KtMidiFileWriter::writeEvent(std::span<const std::uint8_t> bytes, double seconds)
{
    if (bytes.empty()) return true;
    if (bytes.size() - 1 > kMaxVarLen) return false;
    const std::uint32_t pause = byteTimes(seconds);
    std::size_t written = writeVarLen(std::min(ticks(pause + m_carry), kMaxVarLen));
    written += writeU8(bytes[0]);
    if (bytes[0] == kSysEx) written += writeVarLen(static_cast<std::uint32_t>(bytes.size() - 1));
    if (bytes.size() > 1) written += writeBytes(bytes.subspan(1));
    m_trackLength += static_cast<std::uint32_t>(written);
    m_carry = tickRounded(static_cast<std::uint32_t>(bytes.size()));
    m_totalTime += tickRounded(pause + m_carry);
    return true;
}

void KtMidiFileWriter::passEvent(std::size_t size, double seconds)
{
    const std::uint32_t pause = byteTimes(seconds);
    const std::uint32_t transmission = tickRounded(static_cast<std::uint32_t>(std::min<std::size_t>(size, kMaxVarLen)));
    m_carry += pause + transmission;
    m_totalTime += tickRounded(pause + transmission);
}

void KtMidiFileWriter::endTrack()
{
    writeMeta(kEndOfTrack, std::span<const std::uint8_t>{}, true);
    m_savedPosition = tell();
    seek(m_trackStart);
    static constexpr std::array<std::uint8_t, 4> complete{'M', 'T', 'r', 'k'};
    writeBytes(complete);
    writeU32(m_trackLength, true);
    seek(m_savedPosition);
    ++m_tracks;
    writeHeader();
}
