#include "midiport/alsa/sysexpacer.h"

#include "model/messages.h"

#include <algorithm>
#include <cmath>

ISysexSink::~ISysexSink() = default;

namespace {

// Sleeps until `deadline`, or, when already later than it by more than the
// catch-up bound, moves the schedule's origin so that it is no later than that.
void waitFor(IClock& clock, std::int64_t& origin, std::uint64_t cableMs)
{
    const std::int64_t deadline = origin + static_cast<std::int64_t>(cableMs);
    const std::int64_t now = clock.monotonicMs();
    if (now < deadline)
        clock.sleepMs(static_cast<std::uint32_t>(deadline - now));
    else if (now - deadline > kMaxCatchUpMs)
        origin += now - deadline - kMaxCatchUpMs;
}

} // namespace

bool sendPacedSysex(std::span<const std::uint8_t> message, ISysexSink& sink, IClock& clock, bool paced)
{
    // Deadlines count from a whole millisecond at or before the first piece,
    // so a piece may go up to 1 ms early: well inside the 1 % margin.
    std::int64_t origin = clock.monotonicMs();
    // When the cable itself, at its full rate, will have sent every byte
    // handed over so far. A catch-up after a stall queues bytes that the
    // cable sends later than the schedule says.
    auto cableIdleMs = static_cast<double>(origin);
    std::size_t sent = 0;
    while (sent < message.size()) {
        // Each piece waits until the bytes before it have had their cable time.
        if (paced && sent > 0) waitFor(clock, origin, pacedCableMs(sent));
        const std::size_t count = std::min(kSysexChunkBytes, message.size() - sent);
        if (!sink.writeChunk(message.subspan(sent, count)) || !sink.drain()) return false;
        cableIdleMs = std::max(cableIdleMs, static_cast<double>(clock.monotonicMs())) +
                      static_cast<double>(count) * 1000.0 / kCableBytesPerSecond;
        sent += count;
    }
    if (!paced) return true;
    waitFor(clock, origin, pacedCableMs(sent));
    // The pause that follows must begin on the cable, not in the queue.
    const auto idle = static_cast<std::int64_t>(std::ceil(cableIdleMs));
    if (const std::int64_t now = clock.monotonicMs(); now < idle) clock.sleepMs(static_cast<std::uint32_t>(idle - now));
    return true;
}
