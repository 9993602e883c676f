#pragma once

#include "audio/buffer.h"
#include "midifile/ktifstream.h"

#include <cstdint>
#include <string>

// Reads a Standard MIDI File as the writer lays it out: per track a run of
// meta events, a run of channel and System Exclusive events, end of track.
// Every read that gives false at the start of an item returns the stream to
// where it began, so the caller can try the next kind of item there.
// A header that is not valid (no "MThd", division 0) makes every read fail.
class KtMidiFileReader : public Ktifstream {
public:
    explicit KtMidiFileReader(const std::string& path);
    ~KtMidiFileReader() override = default;

    std::uint16_t trackCount() const { return m_tracks; }
    std::uint16_t format() const { return m_format; }
    std::uint16_t division() const { return m_division; }
    bool isValid() const { return m_bytesPerTick != 0; }

    // False for anything but "MTrk" or a chunk longer than what is left.
    bool readTrackHeader();
    // Any meta event but end of track, empty ones included.
    bool readMeta(std::uint8_t& type, buffer& data);
    // A channel, system common or System Exclusive event; seconds is the
    // whole-second pause before it, less the previous event's transmission.
    bool readEvent(buffer& data, double& seconds);
    bool readEndOfTrack();

private:
    void restore(std::uint64_t position);

    std::uint16_t m_format = 0;
    std::uint16_t m_tracks = 0;
    std::uint16_t m_division = 0;
    std::uint32_t m_bytesPerTick = 0;
    std::uint32_t m_elapsed = 0;
    bool m_firstEvent = false;
    std::uint32_t m_lastLength = 0;
};
