#include "midifile/ktmidifilereader.h"

#include "midifile/smfformat.h"
#include "model/error_table.h"

#include <array>
#include <span>
#include <string_view>

namespace {

using smf::kEndOfTrack;
using smf::kEox;
using smf::kMeta;
using smf::kSysEx;

bool readTag(Ktifstream& in, const char (&tag)[5])
{
    std::array<std::uint8_t, 4> b{};
    if (in.readBytes(b.data(), b.size()) != b.size()) return false;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (b[i] != static_cast<std::uint8_t>(tag[i])) return false;
    return true;
}

// Bytes of a message with this status byte, status included; 0 for System
// Exclusive, whose length is found in the file.
std::uint32_t messageLength(std::uint8_t status)
{
    if (status == kSysEx) return 0;
    if (status == 0xF1 || status == 0xF3) return 2;
    if (status == 0xF2) return 3;
    if (status > 0xF0) return 1;
    const std::uint8_t kind = status >> 4;
    return (kind == 0xC || kind == 0xD) ? 2 : 3;
}

} // namespace

namespace {

// The message table, one sentence per kind in the enumeration's order.
constexpr ErrorText<SmfError> kSmfErrorTexts[] = {
    {SmfError::None, ""},
    {SmfError::CannotOpen, "The file cannot be opened."},
    {SmfError::NoHeader, "It is not a Standard MIDI File (no \"MThd\" header)."},
    {SmfError::BadDivision, "Its time division is 0 or too fine."},
    {SmfError::NoTrack, "A track does not start with \"MTrk\"."},
    {SmfError::TrackPastEnd, "A track is longer than the file."},
    {SmfError::EventPastEnd, "An event runs past the end of the file."},
    {SmfError::SysexWithoutEox, "A System Exclusive event has no end (F7)."},
    {SmfError::NoEndOfTrack, "A track has no end-of-track event."},
};
static_assert(coversInOrder(kSmfErrorTexts, SmfError::NoEndOfTrack));

} // namespace

std::string_view smfErrorText(SmfError error)
{
    return errorText(kSmfErrorTexts, error);
}

KtMidiFileReader::KtMidiFileReader(const std::string& path) : Ktifstream(path)
{
    readHeader();
}

KtMidiFileReader::KtMidiFileReader(std::span<const std::uint8_t> bytes) : Ktifstream(bytes)
{
    readHeader();
}

void KtMidiFileReader::readHeader()
{
    if (!is_open()) {
        stop(SmfError::CannotOpen);
        return;
    }
    const bool tagged = readTag(*this, "MThd");
    std::uint32_t headerLength = readU32(true);
    static_cast<void>(headerLength); // other writers' extra header bytes are not expected; as before, not checked
    const std::uint16_t format = readU16(true);
    const std::uint16_t tracks = readU16(true);
    const std::uint16_t division = readU16(true);
    if (!tagged || !good()) {
        stop(SmfError::NoHeader);
        return;
    }
    // Division 0 would divide by zero; values from 1563 up give 0 bytes per tick.
    if (division == 0) {
        stop(SmfError::BadDivision);
        return;
    }
    m_format = format;
    m_tracks = tracks;
    m_division = division;
    m_bytesPerTick = smf::bytesPerTickFor(division);
    if (m_bytesPerTick == 0) {
        m_tracks = 0;
        stop(SmfError::BadDivision);
    }
}

bool KtMidiFileReader::stop(SmfError error)
{
    if (m_error == SmfError::None) m_error = error;
    return false;
}

void KtMidiFileReader::restore(std::uint64_t position)
{
    clear();
    seek(position);
}

bool KtMidiFileReader::readTrackHeader()
{
    if (m_bytesPerTick == 0) return false;
    if (!readTag(*this, "MTrk")) return stop(SmfError::NoTrack);
    const std::uint32_t length = readU32(true);
    // A chunk that claims more than the file holds is a cut-off file.
    if (!good() || length > remaining()) return stop(SmfError::TrackPastEnd);
    m_firstEvent = true;
    m_lastLength = 0;
    return true;
}

bool KtMidiFileReader::readMeta(std::uint8_t& type, buffer& data)
{
    if (m_bytesPerTick == 0) return false;
    const std::uint64_t start = tell();
    std::uint32_t delta = 0;
    std::uint32_t length = 0;
    bool ok = readVarLen(delta) && readU8() == kMeta && good();
    const std::uint8_t kind = ok ? readU8() : 0;
    // End of track belongs to readEndOfTrack; empty meta events of other
    // kinds (an empty name) are ordinary events.
    ok = ok && good() && readVarLen(length) && !(kind == kEndOfTrack && length == 0);
    if (ok && length > remaining()) ok = stop(SmfError::EventPastEnd);
    if (ok) {
        data.bytes().assign(length, 0);
        ok = readBytes(data.data(), length) == length;
    }
    if (!ok) {
        restore(start);
        return false;
    }
    type = kind;
    return true;
}

bool KtMidiFileReader::readEvent(buffer& data, double& seconds)
{
    if (m_bytesPerTick == 0) return false;
    const std::uint64_t start = tell();
    std::uint32_t delta = 0;
    if (!readVarLen(delta)) {
        restore(start);
        return false;
    }
    // The time is booked before the status byte is looked at, as files of
    // earlier versions were read; only the seconds depend on it.
    std::uint32_t t = delta;
    if (m_firstEvent && delta >= m_elapsed) {
        t = delta - m_elapsed;
        m_elapsed += delta;
    } else if (m_firstEvent) {
        m_elapsed = delta;
    } else {
        m_elapsed += delta;
    }
    const std::uint32_t transmission = m_lastLength / m_bytesPerTick;
    // Whole seconds on purpose: the pauses of a transfer are whole seconds.
    const std::uint32_t wholeSeconds = t > transmission ? ((t - transmission) / 2) / m_division : 0;
    seconds = wholeSeconds;
    m_firstEvent = false;

    const int status = get();
    if (status == traits_type::eof() || status == kMeta || status < 0x80) {
        restore(start);
        return false;
    }

    std::uint64_t length = messageLength(static_cast<std::uint8_t>(status));
    if (length == 0) {
        // The declared length only says where to start looking for the F7:
        // the message ends at the first F7 at or after seven eighths of it.
        std::uint32_t declared = 0;
        if (!readVarLen(declared)) return stop(SmfError::EventPastEnd);
        const std::uint64_t dataStart = tell();
        const std::uint64_t skipped = std::uint64_t{declared} * 7 / 8;
        if (skipped > remaining() || !skip(skipped)) return stop(SmfError::EventPastEnd);
        const std::uint64_t left = remaining();
        const std::uint64_t counted = countThrough(kEox);
        if (counted > left) return stop(SmfError::SysexWithoutEox); // no F7 before the end of the file
        length = skipped + counted + 1;
        restore(dataStart);
    }
    if (length - 1 > remaining()) return stop(SmfError::EventPastEnd);
    m_lastLength = static_cast<std::uint32_t>(length);
    data.bytes().assign(static_cast<std::size_t>(length), 0);
    data.bytes()[0] = static_cast<std::uint8_t>(status);
    const auto rest = static_cast<std::size_t>(length - 1);
    return rest == 0 || readBytes(data.data() + 1, rest) == rest;
}

bool KtMidiFileReader::readEndOfTrack()
{
    if (m_bytesPerTick == 0) return false;
    const std::uint64_t start = tell();
    std::uint32_t delta = 0;
    std::uint32_t length = 1;
    const bool ok = readVarLen(delta) && readU8() == kMeta && readU8() == kEndOfTrack && good() && readVarLen(length) &&
                    length == 0;
    if (!ok) {
        restore(start);
        return stop(SmfError::NoEndOfTrack);
    }
    return true;
}
