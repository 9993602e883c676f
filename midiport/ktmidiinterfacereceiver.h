#pragma once

#include "midiport/midisystem.h"

#include <cstdint>
#include <memory>
#include <string>

// Owns one MIDI input port. Input is never started, so nothing is received;
// the port is only opened, and reset and closed on destruction.
class KtMidiInterfaceReceiver {
public:
    KtMidiInterfaceReceiver(IMidiSystem& system, std::uint16_t index);
    virtual ~KtMidiInterfaceReceiver();
    KtMidiInterfaceReceiver(const KtMidiInterfaceReceiver&) = delete;
    KtMidiInterfaceReceiver& operator=(const KtMidiInterfaceReceiver&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    const std::string& error() const { return m_error; }

private:
    IMidiSystem& m_system;
    std::string m_error;
    std::unique_ptr<IMidiInput> m_handle;
};
