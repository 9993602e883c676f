#include "midiport/wrapperktmidiinterface.h"

#include "model/messagekind.h"

#include <algorithm>
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

std::uint64_t pauseMs(const CEvent& event)
{
    return static_cast<std::uint64_t>(std::max(0, event.getOffset())) * 1000;
}

} // namespace

ISessionObserver::~ISessionObserver() = default;

const char* sendErrorText(SendError error)
{
    switch (error) {
    case SendError::none:
        return "";
    case SendError::noMidiService:
        return "No MIDI service is available.";
    case SendError::noOutputPort:
        return "No MIDI output port was chosen.";
    case SendError::portNotOpen:
        return "The MIDI output port is not open.";
    case SendError::firmwarePlaceholder:
        return "The firmware bank holds no device firmware, so it was not sent.";
    case SendError::wouldOverwriteFirmware:
        return "The bank would overwrite the machine's firmware, so nothing was sent.";
    case SendError::malformedMessages:
        return "The bank's transfer messages are incomplete, so nothing was sent.";
    case SendError::portFailed:
        return "Sending to the MIDI output port failed, so the bank was sent only in part.";
    case SendError::stopped:
        return "The send was stopped.";
    }
    return "";
}

WrapperKtMidiInterface::WrapperKtMidiInterface(int inputIndex, int outputIndex, std::shared_ptr<IMidiSystem> system,
                                               Opening opening)
    : m_system(std::move(system)), m_inputIndex(inputIndex), m_outputIndex(outputIndex)
{
    if (!m_system)
        fail(SendError::noMidiService);
    else if (outputIndex < 0)
        fail(SendError::noOutputPort);
    if (opening == Opening::now) open();
}

WrapperKtMidiInterface::~WrapperKtMidiInterface()
{
    close();
}

void WrapperKtMidiInterface::fail(SendError kind)
{
    m_errorKind = kind;
    m_error = sendErrorText(kind);
}

bool WrapperKtMidiInterface::open()
{
    if (m_opened || !m_system) return isOpen();
    m_opened = true;
    if (m_inputIndex >= 0)
        m_receiver = std::make_unique<KtMidiInterfaceReceiver>(*m_system, static_cast<std::uint16_t>(m_inputIndex));
    if (m_outputIndex < 0) return false;
    beginStep(KtMidiInterfaceTransmitter::openingMs());
    m_transmitter = std::make_unique<KtMidiInterfaceTransmitter>(*m_system, static_cast<std::uint16_t>(m_outputIndex));
    if (!m_transmitter->isOpen()) {
        m_errorKind = SendError::portNotOpen;
        m_error = m_transmitter->error();
        return false;
    }
    m_quietFromMs = m_system->clock().monotonicMs();
    m_open.store(true, std::memory_order_release);
    return true;
}

void WrapperKtMidiInterface::close()
{
    m_open.store(false, std::memory_order_release);
    m_receiver.reset();
    m_transmitter.reset();
}

SendError WrapperKtMidiInterface::refusal(IBank& bank, std::uint16_t channel)
{
    // The last line of defence for the machine: its firmware blocks are never
    // erased or written with anything but real device firmware.
    if (bank.isFirmwarePlaceholder()) return SendError::firmwarePlaceholder;
    const EventList& events = bank.buildEvents(channel);
    if (!bank.holdsDeviceFirmware() && reachesFirmwareBlocks(events)) return SendError::wouldOverwriteFirmware;
    if (!std::all_of(events.begin(), events.end(), [](const auto& event) { return isSendable(event.get()); }))
        return SendError::malformedMessages;
    return SendError::none;
}

std::uint64_t WrapperKtMidiInterface::bankMs(const PortPacing& pacing, const EventList& events, BlockMask blocks)
{
    std::uint64_t ms = 0;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (const auto& event = events[i]; event && coversEvent(blocks, i))
            ms += pauseMs(*event) + KtMidiInterfaceTransmitter::sendLongMs(pacing, event->getMessageSize()) +
                  kAfterMessageMs;
    return ms;
}

// The next planned step of the timeline begins now.
void WrapperKtMidiInterface::beginStep(std::uint64_t plannedMs)
{
    const std::int64_t now = m_system->clock().monotonicMs();
    const std::lock_guard lock(m_timelineMutex);
    m_stepAtMs = m_plannedMs;
    m_stepMs = plannedMs;
    m_stepStartedMs = now;
    m_plannedMs += plannedMs;
}

// A pause until a point of the monotonic clock, which a stop cuts short;
// false when it did.
bool WrapperKtMidiInterface::pauseUntil(std::int64_t deadlineMs)
{
    IClock& clock = m_system->clock();
    for (std::int64_t now = clock.monotonicMs(); now < deadlineMs; now = clock.monotonicMs()) {
        const auto step =
            static_cast<std::uint32_t>(std::min<std::int64_t>(deadlineMs - now, std::numeric_limits<std::uint32_t>::max()));
        if (!clock.sleepMsUnless(step, m_stop)) return false;
    }
    return !m_stop.isRaised();
}

bool WrapperKtMidiInterface::sendBank(IBank& bank, std::uint16_t channel, BlockMask blocks)
{
    m_messagesSent.store(0, std::memory_order_release);
    if (!isOpen()) {
        if (m_errorKind == SendError::none) fail(SendError::portNotOpen);
        return false;
    }
    if (const SendError refused = refusal(bank, channel); refused != SendError::none) {
        fail(refused);
        return false;
    }
    if (m_stop.isRaised()) {
        fail(SendError::stopped);
        return false;
    }
    const EventList& events = bank.buildEvents(channel);
    const PortPacing pacing = m_system->outputPacing();
    const std::uint64_t plannedBankMs = bankMs(pacing, events, blocks);
    std::size_t toSend = 0;
    for (std::size_t i = 0; i < events.size(); ++i) toSend += coversEvent(blocks, i) ? 1 : 0;
    const std::uint64_t bankEnd = m_plannedMs + plannedBankMs;
    {
        const std::lock_guard lock(m_timelineMutex);
        m_bankAtMs = m_plannedMs;
        m_bankMs = plannedBankMs;
        m_sendingBank = true;
    }

    IClock& clock = m_system->clock();
    bool sent = true;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (!coversEvent(blocks, i)) continue;
        const auto& event = events[i];
        const std::uint64_t waitMs = pauseMs(*event);
        beginStep(waitMs);
        if (!pauseUntil(m_quietFromMs + static_cast<std::int64_t>(waitMs))) {
            fail(SendError::stopped);
            sent = false;
            break;
        }
        const auto& message = event->getMessageData();
        const std::uint64_t messageMs = KtMidiInterfaceTransmitter::sendLongMs(pacing, message.size());
        beginStep(messageMs);
        if (m_observer != nullptr) m_observer->messageStarting(*event);
        if (!m_transmitter->sendLong(message)) {
            // Writing a block after a failed erase would leave it garbled: stop.
            fail(SendError::portFailed);
            sent = false;
            break;
        }
        m_messagesSent.fetch_add(1, std::memory_order_acq_rel);
        while (m_transmitter->isBusy()) clock.sleepMs(kPollMs);
        if (m_observer != nullptr) m_observer->messageSent(*event);
        beginStep(kAfterMessageMs);
        m_quietFromMs = clock.monotonicMs() + kAfterMessageMs;
        // After a stop the machine needs no settle: nothing follows.
        if (!pauseUntil(m_quietFromMs) && messagesSent() < toSend) {
            fail(SendError::stopped);
            sent = false;
            break;
        }
    }
    const std::lock_guard lock(m_timelineMutex);
    m_plannedMs = bankEnd;
    m_sendingBank = false;
    return sent;
}

SessionPosition WrapperKtMidiInterface::position() const
{
    const std::int64_t now = m_system ? m_system->clock().monotonicMs() : 0;
    const std::lock_guard lock(m_timelineMutex);
    const auto into = static_cast<std::uint64_t>(std::max<std::int64_t>(0, now - m_stepStartedMs));
    return {m_stepAtMs + std::min(into, m_stepMs), m_bankAtMs, m_bankMs, m_sendingBank};
}

int WrapperKtMidiInterface::progress() const
{
    const SessionPosition now = position();
    if (!now.sendingBank || now.bankMs == 0) return 0;
    const std::uint64_t into = now.atMs - std::min(now.atMs, now.bankAtMs);
    return static_cast<int>(std::min<std::uint64_t>(99, into * 100 / now.bankMs));
}

std::uint64_t WrapperKtMidiInterface::estimate() const
{
    const std::lock_guard lock(m_timelineMutex);
    return (m_bankMs + 999) / 1000;
}
