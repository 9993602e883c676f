#include "midiport/ktmidiinterfacereceiver.h"

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
