#include "midiport/wrapperktmidiinterface.h"

#include "model/messagekind.h"

#include <algorithm>
#include <ctime>
#include <limits>

namespace {

constexpr std::uint32_t kPollMs = 300;
constexpr std::uint32_t kAfterMessageMs = 300;

// Only complete System Exclusive messages with a sensible pause are sent:
// anything else would reach the machine's flash as garbage.
bool isSendable(const CEvent* event)
{
    return event != nullptr && event->getOffset() >= 0 && isCompleteSysEx(event->getMessageData());
}

bool reachesFirmwareBlocks(const EventList& events)
{
    return std::any_of(events.begin(), events.end(), [](const auto& event) {
        return event && classifyMessage(event->getMessageData()).touchesFirmwareBlock();
    });
}

void sleepSeconds(IClock& clock, std::int32_t seconds)
{
    std::uint64_t ms = static_cast<std::uint64_t>(seconds) * 1000;
    while (ms > 0) {
        const auto step =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
        clock.sleepMs(step);
        ms -= step;
    }
}

} // namespace

WrapperKtMidiInterface::WrapperKtMidiInterface(int inputIndex, int outputIndex, std::shared_ptr<IMidiSystem> system)
    : m_system(std::move(system))
{
    if (!m_system) {
        m_error = "No MIDI service is available.";
        return;
    }
    if (inputIndex >= 0)
        m_receiver = std::make_unique<KtMidiInterfaceReceiver>(*m_system, static_cast<std::uint16_t>(inputIndex));
    if (outputIndex >= 0) {
        m_transmitter =
            std::make_unique<KtMidiInterfaceTransmitter>(*m_system, static_cast<std::uint16_t>(outputIndex));
        if (!m_transmitter->isOpen()) m_error = m_transmitter->error();
    } else {
        m_error = "No MIDI output port was chosen.";
    }
}

WrapperKtMidiInterface::~WrapperKtMidiInterface()
{
    m_receiver.reset();
    m_transmitter.reset();
}

bool WrapperKtMidiInterface::isOpen() const
{
    return m_transmitter && m_transmitter->isOpen();
}

std::uint64_t WrapperKtMidiInterface::estimateFor(const EventList& events)
{
    std::uint64_t bytes = 0;
    for (const auto& event : events) {
        if (event)
            bytes += event->getMessageSize() +
                     static_cast<std::uint64_t>(std::max(0, event->getOffset())) * kCableBytesPerSecond;
    }
    return bytes / kCableBytesPerSecond + 1;
}

bool WrapperKtMidiInterface::sendBank(IBank& bank, std::uint16_t channel)
{
    if (!isOpen()) {
        if (m_error.empty()) m_error = "The MIDI output port is not open.";
        return false;
    }
    // The last line of defence for the machine: its firmware blocks are never
    // erased or written with anything but real device firmware.
    if (bank.isFirmwarePlaceholder()) {
        m_error = "The firmware bank holds no device firmware, so it was not sent.";
        return false;
    }
    const EventList& events = bank.buildEvents(channel);
    if (!bank.holdsDeviceFirmware() && reachesFirmwareBlocks(events)) {
        m_error = "The bank would overwrite the machine's firmware, so nothing was sent.";
        return false;
    }
    if (!std::all_of(events.begin(), events.end(), [](const auto& event) { return isSendable(event.get()); })) {
        m_error = "The bank's transfer messages are incomplete, so nothing was sent.";
        return false;
    }

    IClock& clock = m_system->clock();
    m_estimate.store(estimateFor(events), std::memory_order_relaxed);
    m_startTime.store(clock.now(), std::memory_order_relaxed);
    // Publishes the estimate and start time to progress() on the window's thread.
    m_sending.store(true, std::memory_order_release);

    bool sent = true;
    for (const auto& event : events) {
        sleepSeconds(clock, event->getOffset());
        if (!m_transmitter->sendLong(event->getMessageData())) {
            // Writing a block after a failed erase would leave it garbled: stop.
            m_error = "Sending to the MIDI output port failed, so the bank was sent only in part.";
            sent = false;
            break;
        }
        while (m_transmitter->isBusy()) clock.sleepMs(kPollMs);
        clock.sleepMs(kAfterMessageMs);
    }
    m_sending.store(false, std::memory_order_release);
    return sent;
}

int WrapperKtMidiInterface::progress() const
{
    if (!m_sending.load(std::memory_order_acquire)) return 0;
    const auto start = static_cast<std::time_t>(m_startTime.load(std::memory_order_relaxed));
    const auto now = static_cast<std::time_t>(m_system->clock().now());
    const double elapsed = std::difftime(now, start);
    const auto estimate = static_cast<double>(std::max<std::uint64_t>(1, m_estimate.load(std::memory_order_relaxed)));
    return static_cast<int>(elapsed * 100.0 / estimate);
}
