#include "midiport/ktmidiinterfacetransmitter.h"

#include <algorithm>
#include <ios>
#include <ostream>

namespace {

constexpr std::uint32_t kSettleMs = 600;
constexpr std::uint32_t kHandOverMs = 1;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kAllNotesOff = 0x7B;

// About the message's time at MIDI speed, so a long block is not busy-polled.
std::uint32_t releasePollMs(std::size_t bytes)
{
    return static_cast<std::uint32_t>(std::max<std::size_t>(1, bytes / 3));
}

} // namespace

std::uint64_t KtMidiInterfaceTransmitter::openingMs()
{
    return 2 * kSettleMs;
}

std::uint64_t KtMidiInterfaceTransmitter::sendLongMs(const PortPacing& pacing, std::size_t bytes)
{
    const std::uint64_t messageMs = pacing.messageMs(bytes);
    if (pacing.startBlocks) return messageMs + kHandOverMs;
    // The release is tried after the hand-over wait and then once a poll,
    // until the port has played the message.
    std::uint64_t elapsed = kHandOverMs;
    while (elapsed < messageMs) elapsed += releasePollMs(bytes);
    return elapsed;
}

KtMidiInterfaceTransmitter::KtMidiInterfaceTransmitter(IMidiSystem& system, std::uint16_t index) : m_system(system)
{
    m_handle = m_system.openOutput(index, *this, m_error);
    if (!m_handle) return;
    m_busy = false;
    IClock& clock = m_system.clock();
    clock.sleepMs(kSettleMs);
    // Silence whatever the port was playing; channel 0 once more, as some
    // devices ignore the first message after opening.
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        m_handle->sendShort(static_cast<std::uint8_t>(kControlChange | channel), kAllNotesOff, 0);
    m_handle->sendShort(kControlChange, kAllNotesOff, 0);
    clock.sleepMs(kSettleMs);
}

KtMidiInterfaceTransmitter::~KtMidiInterfaceTransmitter()
{
    m_handle.reset();
}

bool KtMidiInterfaceTransmitter::sendLong(std::span<const std::uint8_t> message)
{
    if (!m_handle || message.empty()) return false;
    m_busy.store(true, std::memory_order_release);
    if (!m_handle->startLong(message)) {
        m_busy.store(false, std::memory_order_release);
        return false;
    }
    IClock& clock = m_system.clock();
    clock.sleepMs(kHandOverMs);
    const std::uint32_t pollMs = releasePollMs(message.size());
    LongRelease result = m_handle->releaseLong();
    while (result == LongRelease::stillPlaying) {
        m_system.trace() << "midiOutLongMsg() - Asynchron!!!\n";
        clock.sleepMs(pollMs);
        result = m_handle->releaseLong();
    }
    m_busy.store(false, std::memory_order_release);
    return result == LongRelease::released;
}

void KtMidiInterfaceTransmitter::portNotification(PortNotification what, std::uint32_t code)
{
    std::ostream& out = m_system.trace();
    out << "\t\t\tMidiCompletion - ";
    switch (what) {
    case PortNotification::opened:
        out << "MOM_OPEN:\n";
        break;
    case PortNotification::closed:
        out << "MOM_CLOSE:\n";
        break;
    case PortNotification::done:
        out << "MOM_DONE:\n";
        m_busy.store(false, std::memory_order_release);
        break;
    case PortNotification::other:
        out << "DEFAULT: " << std::hex << code << std::dec << " !!!\n";
        break;
    }
}
