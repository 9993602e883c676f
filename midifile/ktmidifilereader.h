#pragma once

#include "audio/buffer.h"
#include "midifile/ktifstream.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Why the reader stopped: the first fault that ends reading, kept for the
// caller (reads that only find another kind of item than asked set None).
enum class SmfError : std::uint8_t {
    None,
    CannotOpen,
    NoHeader,        // no "MThd" at the start, or the header is cut short
    BadDivision,     // division 0, or so fine that a tick is less than a byte
    NoTrack,         // no "MTrk" where a track should start
    TrackPastEnd,    // a track claims more bytes than the file holds
    EventPastEnd,    // an event, or its length, runs past the end of the file
    SysexWithoutEox, // no F7 after a System Exclusive event's start
    NoEndOfTrack,    // the events of a track end without an end of track
};
// One sentence for the user.
std::string_view smfErrorText(SmfError error);

// Reads a Standard MIDI File as the writer lays it out: per track a run of
// meta events, a run of channel and System Exclusive events, end of track.
// Every read that gives false at the start of an item returns the stream to
// where it began, so the caller can try the next kind of item there.
// A header that is not valid (no "MThd", division 0) makes every read fail.
class KtMidiFileReader : public Ktifstream {
public:
    explicit KtMidiFileReader(const std::string& path);
    // Reads the bytes where they are: they must outlive the reader.
    explicit KtMidiFileReader(std::span<const std::uint8_t> bytes);
    ~KtMidiFileReader() override = default;

    std::uint16_t trackCount() const { return m_tracks; }
    std::uint16_t format() const { return m_format; }
    std::uint16_t division() const { return m_division; }
    bool isValid() const { return m_bytesPerTick != 0; }
    SmfError error() const { return m_error; }

    // False for anything but "MTrk" or a chunk longer than what is left.
    bool readTrackHeader();
    // Any meta event but end of track, empty ones included.
    bool readMeta(std::uint8_t& type, buffer& data);
    // A channel, system common or System Exclusive event; seconds is the
    // whole-second pause before it, less the previous event's transmission.
    bool readEvent(buffer& data, double& seconds);
    bool readEndOfTrack();

private:
    void readHeader();
    void restore(std::uint64_t position);
    // Keeps the first fault; returns false for the caller to pass on.
    bool stop(SmfError error);

    std::uint16_t m_format = 0;
    std::uint16_t m_tracks = 0;
    std::uint16_t m_division = 0;
    std::uint32_t m_bytesPerTick = 0;
    std::uint32_t m_elapsed = 0;
    bool m_firstEvent = false;
    std::uint32_t m_lastLength = 0;
    SmfError m_error = SmfError::None;
};
