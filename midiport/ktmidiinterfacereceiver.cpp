#include "midiport/ktmidiinterfacereceiver.h"

#include <algorithm>

KtMidiInterfaceReceiver::KtMidiInterfaceReceiver(IMidiSystem& system, std::uint16_t index)
    : m_system(system), m_handle(system.openInput(index, m_error))
{
}

KtMidiInterfaceReceiver::~KtMidiInterfaceReceiver()
{
    if (!m_handle) return;
    m_handle->reset();
    // Give the driver time to hand back its buffers before closing.
    m_system.clock().sleepMs(600);
    m_handle.reset();
}

bool KtMidiInterfaceReceiver::start()
{
    if (!m_handle) return false;
    if (m_handle->start(*this)) return true;
    m_error = "MIDI input could not be started on the port.";
    return false;
}

std::vector<std::uint8_t> KtMidiInterfaceReceiver::receivedFrom(std::size_t from) const
{
    const std::lock_guard lock(m_mutex);
    const std::size_t at = std::min(from, m_received.size());
    return {m_received.begin() + static_cast<std::ptrdiff_t>(at), m_received.end()};
}

void KtMidiInterfaceReceiver::sysexReceived(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty()) return;
    const std::int64_t now = m_system.clock().monotonicMs();
    const std::lock_guard lock(m_mutex);
    m_received.insert(m_received.end(), bytes.begin(), bytes.end());
    m_lastMs.store(now, std::memory_order_release);
    m_count.store(m_received.size(), std::memory_order_release);
}
