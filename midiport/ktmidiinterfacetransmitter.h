#pragma once

#include "midiport/midisystem.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Owns one MIDI output port: silences it on opening and sends complete System
// Exclusive messages one at a time, each returning only when the port has
// finished with it.
class KtMidiInterfaceTransmitter : private IMidiOutputListener {
public:
    // Opens output port `index` of the system; see isOpen().
    KtMidiInterfaceTransmitter(IMidiSystem& system, std::uint16_t index);
    ~KtMidiInterfaceTransmitter() override;
    KtMidiInterfaceTransmitter(const KtMidiInterfaceTransmitter&) = delete;
    KtMidiInterfaceTransmitter& operator=(const KtMidiInterfaceTransmitter&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    // Why the port could not be opened.
    const std::string& error() const { return m_error; }

    // Sends one message (F0 .. F7) and waits until the port has released it.
    // False when the port is not open, refused the message or failed to release it.
    bool sendLong(std::span<const std::uint8_t> message);
    bool isBusy() const { return m_busy.load(std::memory_order_acquire); }

    // Milliseconds that opening and silencing a port waits.
    static std::uint64_t openingMs();
    // Milliseconds sendLong() takes for a message of `bytes` on a port paced so.
    static std::uint64_t sendLongMs(const PortPacing& pacing, std::size_t bytes);

private:
    void portNotification(PortNotification what, std::uint32_t code) override;

    IMidiSystem& m_system;
    std::string m_error;
    std::atomic<bool> m_busy{false};
    std::unique_ptr<IMidiOutput> m_handle; // last, so it closes while the rest still stands
};
