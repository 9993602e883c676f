#include "midiport/ktmidiinterfacetest.h"

#include "midiport/ktmidiinterfacereceiver.h"
#include "midiport/ktmidiinterfacetransmitter.h"
#include "model/messagekind.h"

#include <algorithm>

namespace {

constexpr std::size_t kQuickMessageSize = 4096;
constexpr std::uint32_t kAfterMessageMs = 300; // as after every message of a bank
constexpr std::uint32_t kPollMs = 20;
// Bytes that must agree before the two runs count as lined up again, and how
// many lost (or added) bytes in a row are looked for.
constexpr std::size_t kAgreeBytes = 16;
constexpr std::size_t kLongestGap = 300;

std::vector<std::size_t> messageSizes(KtMidiInterfaceTest::Length length)
{
    return {kEraseMessageSize, length == KtMidiInterfaceTest::Length::quick ? kQuickMessageSize : kBlockMessageSize};
}

// Every value 0x00 to 0x7F in order, then values without a short period,
// so that a lost byte cannot be mistaken for a changed one.
std::vector<std::uint8_t> testMessage(std::size_t size)
{
    std::vector<std::uint8_t> message(size);
    message.front() = 0xF0;
    message[1] = kNonCommercialId;
    std::uint32_t state = 0x9E3779B9u;
    for (std::size_t at = 2, k = 0; at + 1 < size; ++at, ++k) {
        if (k < 0x80) {
            message[at] = static_cast<std::uint8_t>(k);
            continue;
        }
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        auto value = static_cast<std::uint8_t>((state >> 16) & 0x7F);
        // No two neighbours alike, so a lost byte is found exactly where it was.
        if (value == message[at - 1]) value = static_cast<std::uint8_t>((value + 1) & 0x7F);
        message[at] = value;
    }
    message.back() = 0xF7;
    return message;
}

// `sent` from `a` and `received` from `b` agree for the next kAgreeBytes (or
// up to the end of what was sent, which `received` must hold too).
bool agree(std::span<const std::uint8_t> sent, std::size_t a, std::span<const std::uint8_t> received, std::size_t b)
{
    if (a > sent.size() || b > received.size()) return false;
    const std::size_t wanted = std::min(kAgreeBytes, sent.size() - a);
    if (received.size() - b < wanted) return false;
    return std::equal(sent.begin() + static_cast<std::ptrdiff_t>(a),
                      sent.begin() + static_cast<std::ptrdiff_t>(a + wanted),
                      received.begin() + static_cast<std::ptrdiff_t>(b));
}

std::string ordinal(std::size_t n)
{
    const std::size_t lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

std::string hexByte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0x0F];
}

} // namespace

std::string groupedNumber(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

LoopbackComparison compareLoopback(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> received)
{
    LoopbackComparison result;
    result.sent = sent.size();
    result.received = received.size();
    std::size_t i = 0, j = 0;
    std::optional<std::size_t> lastDrop;
    bool regular = true; // every loss so far one byte at the same distance
    const auto noteDifference = [&] {
        if (!result.firstDifference)
            result.firstDifference = LoopbackComparison::Difference{
                i, sent[i], j < received.size() ? std::optional<std::uint8_t>(received[j]) : std::nullopt};
    };
    const auto drop = [&](std::size_t count) {
        for (std::size_t k = 0; k < count; ++k, ++i) {
            if (lastDrop) {
                const std::size_t distance = i - *lastDrop;
                if (result.dropInterval == 0) result.dropInterval = distance;
                regular = regular && distance == result.dropInterval && distance > 1;
            }
            lastDrop = i;
            ++result.dropped;
        }
    };
    while (i < sent.size() && j < received.size()) {
        if (sent[i] == received[j]) {
            ++i, ++j;
            continue;
        }
        noteDifference();
        if (agree(sent, i + 1, received, j + 1)) {
            ++result.changed, ++i, ++j;
            continue;
        }
        bool lined = false;
        for (std::size_t gap = 1; gap <= kLongestGap && !lined; ++gap) {
            if (agree(sent, i + gap, received, j)) {
                drop(gap);
                lined = true;
            } else if (agree(sent, i, received, j + gap)) {
                result.changed += gap;
                j += gap;
                lined = true;
            }
        }
        if (!lined) ++result.changed, ++i, ++j; // garbled beyond recognition
    }
    if (i < sent.size()) {
        noteDifference();
        drop(sent.size() - i);
    }
    if (j < received.size()) {
        if (!result.firstDifference)
            result.firstDifference = LoopbackComparison::Difference{sent.size(), 0, received[j]};
        result.changed += received.size() - j;
    }
    if (!regular || result.dropped < 2 || result.changed != 0) result.dropInterval = 0;
    return result;
}

std::string loopbackVerdictText(const LoopbackReport& report, bool quick, const std::string& inputName)
{
    switch (report.verdict) {
    case LoopbackVerdict::notRun:
        return "";
    case LoopbackVerdict::nothingBack:
        return "Nothing came back on " + inputName +
               ": connect the interface's MIDI OUT to its MIDI IN with a cable";
    case LoopbackVerdict::stopped:
        return "The test was stopped before it finished.";
    case LoopbackVerdict::failed:
        return report.text;
    case LoopbackVerdict::clean:
    case LoopbackVerdict::damaged:
        break;
    }
    if (report.messages.empty()) return "";
    const LoopbackComparison& c = report.messages[report.decisive].comparison;
    const std::string of = " of " + groupedNumber(c.sent) + " bytes";
    const bool isLong = c.sent > kEraseMessageSize;
    const std::string damage = "; banks sent through it will be damaged";
    if (report.verdict == LoopbackVerdict::clean) {
        std::string text = "This interface carried " + groupedNumber(c.received) + of + " correctly at " +
                           groupedNumber(report.bytesPerSecond) + " bytes/s";
        return text + (quick ? ": a quick test only; the full test shows whether it can send banks"
                             : ": it can send banks");
    }
    if (c.changed == 0) {
        std::string text = "Lost " + groupedNumber(c.dropped) + of;
        if (c.dropInterval != 0) text += ", every " + ordinal(c.dropInterval);
        return text + ": this interface drops " + (isLong ? "long " : "") + "System Exclusive messages" + damage;
    }
    if (c.dropped == 0) {
        std::string text = "Changed " + groupedNumber(c.changed) + of;
        if (c.firstDifference && c.firstDifference->received && c.firstDifference->offset < c.sent)
            text += ", the first at byte " + groupedNumber(c.firstDifference->offset) + " (sent " +
                    hexByte(c.firstDifference->sent) + ", received " + hexByte(*c.firstDifference->received) + ")";
        return text + ": this interface alters System Exclusive messages" + damage;
    }
    return "Lost " + groupedNumber(c.dropped) + " and changed " + groupedNumber(c.changed) + of +
           ": this interface damages System Exclusive messages" + damage;
}

KtMidiInterfaceTest::KtMidiInterfaceTest(std::shared_ptr<IMidiSystem> system, int outputIndex, int inputIndex,
                                         Length length)
    : m_system(std::move(system)), m_outputIndex(outputIndex), m_inputIndex(inputIndex), m_length(length)
{
    if (m_system) m_plannedMs = plannedMs(m_system->outputPacing(), m_length);
}

KtMidiInterfaceTest::~KtMidiInterfaceTest() = default;

std::vector<std::vector<std::uint8_t>> KtMidiInterfaceTest::messages(Length length)
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const std::size_t size : messageSizes(length)) result.push_back(testMessage(size));
    return result;
}

std::uint64_t KtMidiInterfaceTest::plannedMs(const PortPacing& pacing, Length length)
{
    std::uint64_t ms = KtMidiInterfaceTransmitter::openingMs();
    for (const std::size_t size : messageSizes(length))
        ms += KtMidiInterfaceTransmitter::sendLongMs(pacing, size) + kAfterMessageMs;
    return ms;
}

int KtMidiInterfaceTest::progress() const
{
    if (m_done.load(std::memory_order_acquire)) return 100;
    if (!m_running.load(std::memory_order_acquire) || m_plannedMs == 0) return 0;
    const std::int64_t into = m_system->clock().monotonicMs() - m_startedMs.load(std::memory_order_acquire);
    return static_cast<int>(std::min<std::uint64_t>(99, static_cast<std::uint64_t>(std::max<std::int64_t>(0, into)) *
                                                            100 / m_plannedMs));
}

LoopbackReport KtMidiInterfaceTest::result() const
{
    const std::lock_guard lock(m_resultMutex);
    return m_result;
}

// Waits until the message's F7 is back, or nothing more has come for
// kQuietMs; false when stopped.
bool KtMidiInterfaceTest::waitForEcho(const KtMidiInterfaceReceiver& receiver, std::size_t from, std::int64_t sentMs)
{
    IClock& clock = m_system->clock();
    for (;;) {
        const std::size_t count = receiver.receivedCount();
        if (count > from && receiver.receivedFrom(count - 1) == std::vector<std::uint8_t>{0xF7}) return true;
        const std::int64_t quietSince = std::max(receiver.lastReceivedMs(), sentMs);
        if (clock.monotonicMs() - quietSince >= kQuietMs) return true;
        if (!clock.sleepMsUnless(kPollMs, m_stop)) return false;
    }
}

LoopbackReport KtMidiInterfaceTest::run()
{
    LoopbackReport report;
    if (!m_system) {
        report.verdict = LoopbackVerdict::failed;
        report.text = "No MIDI service is available.";
        return finish(std::move(report));
    }
    IClock& clock = m_system->clock();
    m_startedMs.store(clock.monotonicMs(), std::memory_order_release);
    m_running.store(true, std::memory_order_release);

    const auto inputs = m_system->inputPortNames();
    m_inputName = m_inputIndex >= 0 && static_cast<std::size_t>(m_inputIndex) < inputs.size()
                                      ? inputs[static_cast<std::size_t>(m_inputIndex)]
                                      : "MIDI input port " + std::to_string(m_inputIndex);
    const auto failed = [&](std::string text) {
        report.verdict = LoopbackVerdict::failed;
        report.text = std::move(text);
        return finish(std::move(report));
    };
    if (inputs.empty()) return failed("No MIDI input port was found: the test needs the interface's MIDI IN.");
    if (m_inputIndex < 0 || static_cast<std::size_t>(m_inputIndex) >= inputs.size())
        return failed("The MIDI input port no longer exists.");
    if (m_outputIndex < 0) return failed("No MIDI output port was chosen.");

    auto receiver = std::make_unique<KtMidiInterfaceReceiver>(*m_system, static_cast<std::uint16_t>(m_inputIndex));
    if (!receiver->isOpen() || !receiver->start()) return failed(receiver->error());
    auto transmitter =
        std::make_unique<KtMidiInterfaceTransmitter>(*m_system, static_cast<std::uint16_t>(m_outputIndex));
    if (!transmitter->isOpen()) return failed(transmitter->error());

    for (const auto& message : messages(m_length)) {
        if (m_stop.isRaised()) break;
        const std::size_t from = receiver->receivedCount();
        const std::int64_t handedMs = clock.monotonicMs();
        // Sent as a bank's block is sent: the same pacing and release.
        if (!transmitter->sendLong(message)) return failed("Sending to the MIDI output port failed.");
        const bool waited = waitForEcho(*receiver, from, clock.monotonicMs());
        LoopbackMessageResult result;
        result.comparison = compareLoopback(message, receiver->receivedFrom(from));
        const std::int64_t lastMs = receiver->lastReceivedMs();
        if (result.comparison.received > 0 && lastMs > handedMs)
            result.bytesPerSecond = (result.comparison.received * 1000 + static_cast<std::uint64_t>(lastMs - handedMs) / 2) /
                                    static_cast<std::uint64_t>(lastMs - handedMs);
        report.messages.push_back(result);
        if (!waited) break;
        // Nothing at all: no cable, or the wrong port; the block would only take long.
        if (result.comparison.received == 0 && report.messages.size() == 1) break;
        if (!clock.sleepMsUnless(kAfterMessageMs, m_stop)) break;
    }
    transmitter.reset();
    const bool complete = report.messages.size() == messageSizes(m_length).size();
    if (m_stop.isRaised() && !complete)
        report.verdict = LoopbackVerdict::stopped;
    else if (!report.messages.empty() && report.messages.front().comparison.received == 0)
        report.verdict = LoopbackVerdict::nothingBack;
    return finish(std::move(report));
}

LoopbackReport KtMidiInterfaceTest::finish(LoopbackReport report)
{
    for (std::size_t k = 0; k < report.messages.size(); ++k) {
        const LoopbackComparison& c = report.messages[k].comparison;
        report.bytesSent += c.sent;
        report.bytesReceived += c.received;
        report.dropped += c.dropped;
        report.changed += c.changed;
    }
    if (report.verdict == LoopbackVerdict::notRun && !report.messages.empty()) {
        const auto damaged = std::find_if(report.messages.begin(), report.messages.end(),
                                          [](const auto& m) { return !m.comparison.clean(); });
        report.verdict = damaged == report.messages.end() ? LoopbackVerdict::clean : LoopbackVerdict::damaged;
        report.decisive = damaged == report.messages.end() ? report.messages.size() - 1
                                                           : static_cast<std::size_t>(damaged - report.messages.begin());
    }
    if (!report.messages.empty()) report.bytesPerSecond = report.messages[report.decisive].bytesPerSecond;
    if (report.verdict != LoopbackVerdict::failed)
        report.text = loopbackVerdictText(report, m_length == Length::quick, m_inputName);
    {
        const std::lock_guard lock(m_resultMutex);
        m_result = report;
    }
    m_done.store(true, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    return report;
}
