#pragma once

#include "audio/buffer.h"
#include "midifile/ktofstream.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Writes a Standard MIDI File one track at a time. Event times are given as
// pauses in seconds (120 quarter notes per minute, no tempo event) and each
// delta also carries the time the previous event takes on a MIDI cable
// (3125 bytes per second), so a player never starts an event before the one
// before it has left the cable.
//
// The header says "MIDI" until a track is complete and each track chunk
// says "----" until it is ended, so a file whose writing stopped halfway is
// never taken for a complete one.
class KtMidiFileWriter : public Ktofstream {
public:
    KtMidiFileWriter(const std::string& path, std::uint16_t division);
    ~KtMidiFileWriter() override = default;

    // chain: the track's first delta also covers everything written before,
    // so a player that plays all tracks at once plays them one after another.
    void beginTrack(bool chain);
    // useCarry false writes the delta as a single 00.
    void writeMeta(std::uint8_t type, std::span<const std::uint8_t> data, bool useCarry);
    void writeMeta(std::uint8_t type, const buffer& data, bool useCarry)
    {
        writeMeta(type, std::span(data.bytes()), useCarry);
    }
    // A channel, system common or System Exclusive message, complete. False,
    // writing nothing, for a message too long for a variable-length quantity.
    bool writeEvent(std::span<const std::uint8_t> bytes, double seconds);
    // Lets the time of an event pass as if it had been written: its pause and
    // transmission time go into the next delta.
    void passEvent(std::size_t size, double seconds);
    void endTrack();

    std::uint16_t trackCount() const { return m_tracks; }
    std::uint32_t bytesPerTick() const { return m_bytesPerTick; }
    std::uint32_t totalTime() const { return m_totalTime; }

private:
    std::uint32_t byteTimes(double seconds) const;
    std::uint32_t ticks(std::uint32_t byteTimeCount) const;
    std::uint32_t tickRounded(std::uint32_t byteTimeCount) const { return ticks(byteTimeCount) * m_bytesPerTick; }
    void writeHeader();

    std::uint16_t m_tracks = 0;
    std::uint16_t m_division;
    std::uint32_t m_bytesPerTick;
    std::uint32_t m_trackLength = 0;
    std::uint32_t m_carry = 0;
    std::uint32_t m_totalTime = 0;
    std::uint64_t m_trackStart = 0;
    std::uint64_t m_savedPosition = 0;
};
