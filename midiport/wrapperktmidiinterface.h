#pragma once

#include "midiport/ktmidiinterfacereceiver.h"
#include "midiport/ktmidiinterfacetransmitter.h"
#include "midiport/midisystem.h"
#include "model/bank.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// One transmission session with the machine: owns the chosen ports, sends
// the transfer events of one bank at a time paced by each event's pause, and
// answers progress queries from another thread.
class WrapperKtMidiInterface {
public:
    // A port is opened for each index that is 0 or more.
    WrapperKtMidiInterface(int inputIndex, int outputIndex, std::shared_ptr<IMidiSystem> system);
    virtual ~WrapperKtMidiInterface();
    WrapperKtMidiInterface(const WrapperKtMidiInterface&) = delete;
    WrapperKtMidiInterface& operator=(const WrapperKtMidiInterface&) = delete;

    // False when no output port was chosen or it could not be opened.
    bool isOpen() const;
    // One sentence for the user after isOpen() or sendBank() answered false.
    const std::string& error() const { return m_error; }
    bool hasReceiver() const { return m_receiver != nullptr; }

    // Sends the bank's transfer events for a receive channel and returns when
    // the last one has left the port. False, with nothing sent, for a firmware
    // bank without device firmware, a closed port or a malformed message;
    // false as well when the port fails part-way (the rest is not sent).
    bool sendBank(IBank& bank, std::uint16_t channel);
    // Percentage of the current bank's estimated time that has passed; 0 when
    // no bank is being sent. It may pass 100 near the end of a bank.
    int progress() const;
    // Estimated seconds of the bank being (or last) sent.
    std::uint64_t estimate() const { return m_estimate.load(std::memory_order_acquire); }

    // The estimate in seconds for a bank's events, at the cable's rate.
    static std::uint64_t estimateFor(const EventList& events);

private:
    std::shared_ptr<IMidiSystem> m_system; // first, so the ports close before it goes
    std::unique_ptr<KtMidiInterfaceReceiver> m_receiver;
    std::unique_ptr<KtMidiInterfaceTransmitter> m_transmitter;
    std::atomic<std::int64_t> m_startTime{0};
    std::atomic<std::uint64_t> m_estimate{0};
    std::atomic<bool> m_sending{false};
    std::string m_error;
};
