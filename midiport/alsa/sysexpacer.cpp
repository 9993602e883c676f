#include "midiport/alsa/sysexpacer.h"

#include <algorithm>

ISysexSink::~ISysexSink() = default;

bool sendPacedSysex(std::span<const std::uint8_t> message, ISysexSink& sink, IClock& clock, bool paced)
{
    std::size_t sent = 0;
    std::uint64_t sleptMs = 0;
    while (sent < message.size()) {
        const std::size_t count = std::min(kSysexChunkBytes, message.size() - sent);
        if (!sink.writeChunk(message.subspan(sent, count)) || !sink.drain()) return false;
        sent += count;
        if (paced) {
            // Sleeping to a running target keeps the rounding from adding up.
            const std::uint64_t target = pacedCableMs(sent);
            clock.sleepMs(static_cast<std::uint32_t>(target - sleptMs));
            sleptMs = target;
        }
    }
    return true;
}
