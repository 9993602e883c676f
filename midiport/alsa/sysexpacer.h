#pragma once

#include "midiport/midisystem.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Where paced pieces of a System Exclusive message go: the sequencer in the
// ALSA backend, a recorder in the tests.
class ISysexSink {
public:
    virtual ~ISysexSink();
    virtual bool writeChunk(std::span<const std::uint8_t> chunk) = 0;
    // Pushes what was written on to the port.
    virtual bool drain() = 0;
};

// The sequencer cannot take a block message whole, and a hardware port that
// is fed faster than its cable drops bytes silently; so messages go out in
// small pieces, no faster than the cable less a margin.
inline constexpr std::size_t kSysexChunkBytes = 256;

// The cable's 3125 bytes per second less 1 % (interfaces may run that much
// slow): 3093.75 bytes per second, 32 ms for every 99 bytes. startLong()
// returns when the message has had that time.
inline constexpr PortPacing kPacedSysexPacing{99, 32, true};

// Milliseconds the cable needs for `bytes` at the paced rate, rounded up.
constexpr std::uint64_t pacedCableMs(std::uint64_t bytes)
{
    return kPacedSysexPacing.messageMs(bytes);
}

// After a stall (a loaded machine) the pacer catches up with its schedule, but
// by no more than this: a longer burst could overrun the port's buffer.
inline constexpr std::int64_t kMaxCatchUpMs = 200;

// Writes the message as consecutive pieces of at most kSysexChunkBytes, each
// drained. Paced, it sleeps after each piece until the cable time of all bytes
// so far has passed since the first piece, measured on the monotonic clock, so
// the timer's overshoot does not add up; it returns only when the message has
// left the cable. False as soon as the sink fails.
bool sendPacedSysex(std::span<const std::uint8_t> message, ISysexSink& sink, IClock& clock, bool paced);
