#pragma once

#include "midiport/midisystem.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// Owns one MIDI input port. Once started it keeps every System Exclusive byte
// that arrives, in order, with the time of the latest piece; the port is
// reset and closed on destruction.
class KtMidiInterfaceReceiver : private IMidiInputListener {
public:
    KtMidiInterfaceReceiver(IMidiSystem& system, std::uint16_t index);
    ~KtMidiInterfaceReceiver() override;
    KtMidiInterfaceReceiver(const KtMidiInterfaceReceiver&) = delete;
    KtMidiInterfaceReceiver& operator=(const KtMidiInterfaceReceiver&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    // Why the port could not be opened or started.
    const std::string& error() const { return m_error; }

    // Starts input; false when the port is not open or refuses.
    bool start();

    // Any thread. Bytes received so far, and a copy of those from `from` on.
    std::size_t receivedCount() const { return m_count.load(std::memory_order_acquire); }
    std::vector<std::uint8_t> receivedFrom(std::size_t from) const;
    // The monotonic time at which the latest piece arrived; -1 before any did.
    std::int64_t lastReceivedMs() const { return m_lastMs.load(std::memory_order_acquire); }

private:
    void sysexReceived(std::span<const std::uint8_t> bytes) override;

    IMidiSystem& m_system;
    std::string m_error;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_received;
    std::atomic<std::size_t> m_count{0};
    std::atomic<std::int64_t> m_lastMs{-1};
    std::unique_ptr<IMidiInput> m_handle; // last, so it closes while the rest still stands
};
