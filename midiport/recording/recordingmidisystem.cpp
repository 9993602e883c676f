#include "midiport/recording/recordingmidisystem.h"

#include "midifile/utf8path.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

namespace {

std::string hexBytes(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, " %02X", static_cast<unsigned>(byte));
        text += digits;
    }
    return text;
}

} // namespace

class RecordingMidiSystem::Clock : public IClock {
public:
    explicit Clock(RecordingMidiSystem& system) : m_system(system) {}

    std::int64_t now() override { return m_system.m_options.startTime + m_system.m_elapsedMs.load() / 1000; }
    std::int64_t monotonicMs() override { return m_system.m_elapsedMs.load(); }

    void sleepMs(std::uint32_t ms) override
    {
        if (m_system.m_options.realTimeSpeed > 0) std::this_thread::sleep_for(realTime(ms));
        pass(ms);
    }

    bool sleepMsUnless(std::uint32_t ms, const WaitInterrupt& interrupt) override
    {
        if (interrupt.isRaised()) return false;
        if (!hold(interrupt)) return false;
        if (m_system.m_options.realTimeSpeed <= 0) {
            pass(ms);
            return true;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!interrupt.waitFor(realTime(ms))) {
            pass(ms);
            return true;
        }
        // Cut short: only the time that really passed, at the clock's speed.
        const auto real = std::chrono::steady_clock::now() - start;
        const auto virtualMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(real * m_system.m_options.realTimeSpeed).count();
        pass(static_cast<std::uint32_t>(std::min<std::int64_t>(virtualMs, ms)));
        return false;
    }

private:
    // False when a stop ended the hold; true at once when there is none here.
    bool hold(const WaitInterrupt& interrupt)
    {
        const auto& options = m_system.m_options;
        if (options.holdBeforeLong < 0 || m_system.m_held || m_system.m_longCount.load() != options.holdBeforeLong)
            return true;
        m_system.m_held = true;
        const std::string line = "hold " + std::to_string(options.holdBeforeLong);
        static_cast<void>(m_system.recordLine(line));
        const std::filesystem::path release = pathFromUtf8(options.logPath + ".release");
        std::error_code ignored;
        while (!std::filesystem::exists(release, ignored))
            if (interrupt.waitFor(std::chrono::milliseconds(5))) return false;
        return true;
    }

    std::chrono::microseconds realTime(std::uint32_t ms) const
    {
        return std::chrono::microseconds(std::int64_t{ms} * 1000 / m_system.m_options.realTimeSpeed);
    }

    void pass(std::uint32_t ms)
    {
        // A wait has no result to refuse; a log that fails here refuses the next message.
        static_cast<void>(m_system.record({RecordedItem::Kind::wait, {}, ms, m_system.m_elapsedMs.load()}));
        m_system.passTo(m_system.m_elapsedMs.load() + ms);
        if (m_system.m_waitHook) m_system.m_waitHook(ms);
    }

    RecordingMidiSystem& m_system;
};

class RecordingMidiSystem::Output : public IMidiOutput {
public:
    // The opening has been recorded by the system.
    Output(RecordingMidiSystem& system, std::size_t index, IMidiOutputListener& listener)
        : m_system(system), m_index(index), m_listener(listener)
    {
        m_listener.portNotification(PortNotification::opened, 0);
    }

    ~Output() override
    {
        // Closing cannot fail; a close line the log cannot take is only missing.
        static_cast<void>(m_system.record(
            {RecordedItem::Kind::close, {static_cast<std::uint8_t>(m_index)}, 0, m_system.elapsedMs()}));
        m_listener.portNotification(PortNotification::closed, 0);
    }

    bool sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        return m_system.record({RecordedItem::Kind::shortMessage, {status, data1, data2}, 0, m_system.elapsedMs()});
    }

    bool startLong(std::span<const std::uint8_t> message) override
    {
        if (m_playing) return false; // one long message at a time, as a real port demands
        const int number = m_system.m_longCount++;
        const auto& options = m_system.m_options;
        if (options.failLongFrom >= 0 && number >= options.failLongFrom) return false;
        if (options.failLongAt.contains(number)) return false;
        const std::int64_t at = m_system.elapsedMs();
        if (!m_system.record({RecordedItem::Kind::sysex, {message.begin(), message.end()}, 0, at})) return false;
        m_finishMs = at + static_cast<std::int64_t>(m_system.outputPacing().messageMs(message.size()));
        if (options.loopback) m_system.loopBack(message, at);
        m_playing = true;
        return true;
    }

    LongRelease releaseLong() override
    {
        if (!m_playing) return LongRelease::failed;
        if (m_system.elapsedMs() < m_finishMs) return LongRelease::stillPlaying;
        m_playing = false;
        m_listener.portNotification(PortNotification::done, 0);
        return LongRelease::released;
    }

private:
    RecordingMidiSystem& m_system;
    std::size_t m_index;
    IMidiOutputListener& m_listener;
    bool m_playing = false;
    std::int64_t m_finishMs = 0;
};

class RecordingMidiSystem::Input : public IMidiInput {
public:
    Input(RecordingMidiSystem& system, std::size_t index) : m_system(system), m_index(index) {}
    ~Input() override { reset(); }

    bool start(IMidiInputListener& listener) override
    {
        if (m_started) return false;
        m_started = true;
        m_system.setListener(m_index, &listener);
        return true;
    }

    void reset() override
    {
        if (m_started) m_system.setListener(m_index, nullptr);
    }

private:
    RecordingMidiSystem& m_system;
    std::size_t m_index;
    bool m_started = false;
};

RecordingMidiSystem::RecordingMidiSystem() : RecordingMidiSystem(Options{}) {}

RecordingMidiSystem::RecordingMidiSystem(Options options)
    : m_options(std::move(options)), m_outputPorts(m_options.outputPorts), m_clock(std::make_unique<Clock>(*this))
{
    if (m_options.logPath.empty()) return;
    errno = 0;
    // Binary: lines end in \n alone on every system, as the tests read them.
    m_log.open(pathFromUtf8(m_options.logPath), std::ios::app | std::ios::binary);
    if (!m_log.is_open()) {
        const int reason = errno;
        m_logError = "The MIDI recording log '" + m_options.logPath + "' cannot be opened";
        m_logError += reason != 0 ? ": " + std::generic_category().message(reason) + "." : ".";
    }
}

RecordingMidiSystem::~RecordingMidiSystem() = default;

std::vector<std::string> RecordingMidiSystem::outputPortNames()
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(std::max(0, m_outputPorts.load())));
    for (int i = 0; i < m_outputPorts.load(); ++i) names.push_back("Recording MIDI Out " + std::to_string(i + 1));
    return names;
}

std::vector<std::string> RecordingMidiSystem::inputPortNames()
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(std::max(0, m_options.inputPorts)));
    for (int i = 0; i < m_options.inputPorts; ++i) names.push_back("Recording MIDI In " + std::to_string(i + 1));
    return names;
}

IClock& RecordingMidiSystem::clock()
{
    return *m_clock;
}

PortPacing RecordingMidiSystem::outputPacing() const
{
    return cableRatePacing();
}

std::unique_ptr<IMidiOutput> RecordingMidiSystem::openOutput(std::size_t index, IMidiOutputListener& listener,
                                                             std::string& error)
{
    if (index >= static_cast<std::size_t>(m_outputPorts.load())) {
        error = "The MIDI output port no longer exists.";
        return nullptr;
    }
    if (m_options.failOpen) {
        error = "The MIDI output port could not be opened: it is in use.";
        return nullptr;
    }
    if (!m_logError.empty()) {
        error = m_logError;
        return nullptr;
    }
    if (!record({RecordedItem::Kind::open, {static_cast<std::uint8_t>(index)}, 0, elapsedMs()})) {
        error = "The MIDI recording log '" + m_options.logPath + "' cannot be written.";
        return nullptr;
    }
    return std::make_unique<Output>(*this, index, listener);
}

std::unique_ptr<IMidiInput> RecordingMidiSystem::openInput(std::size_t index, std::string& error)
{
    if (index >= static_cast<std::size_t>(m_options.inputPorts) || m_options.failOpen) {
        error = "The MIDI input port could not be opened.";
        return nullptr;
    }
    return std::make_unique<Input>(*this, index);
}

void RecordingMidiSystem::setListener(std::size_t port, IMidiInputListener* listener)
{
    const std::lock_guard lock(m_inputMutex);
    if (listener != nullptr)
        m_listeners[port] = listener;
    else
        m_listeners.erase(port);
}

void RecordingMidiSystem::playInput(std::size_t port, std::vector<std::uint8_t> bytes, std::int64_t atMs)
{
    const std::lock_guard lock(m_inputMutex);
    m_pendingInput.emplace(atMs, PendingInput{port, std::move(bytes)});
}

void RecordingMidiSystem::loopBack(std::span<const std::uint8_t> message, std::int64_t atMs)
{
    const LoopbackScript& script = *m_options.loopback;
    if (script.silent) return;
    const PortPacing pacing = outputPacing();
    // In pieces as a driver delivers them, each when its last byte has played.
    constexpr std::size_t kPiece = 256;
    for (std::size_t from = 0; from < message.size(); from += kPiece) {
        const std::size_t to = std::min(message.size(), from + kPiece);
        std::vector<std::uint8_t> piece;
        for (std::size_t at = from; at < to; ++at) {
            if (script.dropEvery > 0 && (at + 1) % script.dropEvery == 0) continue;
            if (script.dropAt.contains(at)) continue;
            const auto changed = script.changeAt.find(at);
            piece.push_back(changed != script.changeAt.end() ? changed->second : message[at]);
        }
        if (piece.empty()) continue;
        const auto due = atMs + static_cast<std::int64_t>(pacing.messageMs(to) + script.delayMs);
        playInput(0, std::move(piece), due);
    }
}

void RecordingMidiSystem::passTo(std::int64_t untilMs)
{
    for (;;) {
        // Under the lock, so that a reset input hears nothing more.
        const std::lock_guard lock(m_inputMutex);
        const auto next = m_pendingInput.begin();
        if (next == m_pendingInput.end() || next->first > untilMs) break;
        if (next->first > m_elapsedMs.load()) m_elapsedMs = next->first;
        const PendingInput input = std::move(next->second);
        m_pendingInput.erase(next);
        // Input that arrives on a port nobody listens to is lost, as on a real one.
        if (const auto found = m_listeners.find(input.port); found != m_listeners.end())
            found->second->sysexReceived(input.bytes);
    }
    if (untilMs > m_elapsedMs.load()) m_elapsedMs = untilMs;
}

std::vector<RecordedItem> RecordingMidiSystem::records() const
{
    std::lock_guard lock(m_mutex);
    return m_records;
}

void RecordingMidiSystem::clearRecords()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

bool RecordingMidiSystem::recordLine(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    if (!m_log.is_open()) return true;
    m_log << line << '\n';
    m_log.flush();
    return static_cast<bool>(m_log);
}

bool RecordingMidiSystem::record(RecordedItem item)
{
    std::lock_guard lock(m_mutex);
    if (m_log.is_open()) {
        switch (item.kind) {
        case RecordedItem::Kind::open:
            m_log << "open output " << unsigned{item.bytes[0]} << '\n';
            break;
        case RecordedItem::Kind::close:
            m_log << "close output " << unsigned{item.bytes[0]} << '\n';
            break;
        case RecordedItem::Kind::shortMessage:
            m_log << "short" << hexBytes(item.bytes) << '\n';
            break;
        case RecordedItem::Kind::sysex:
            m_log << "sysex " << item.bytes.size() << hexBytes(item.bytes) << '\n';
            break;
        case RecordedItem::Kind::wait:
            m_log << "wait " << item.ms << '\n';
            break;
        }
        m_log.flush();
        // A full disk or a file-size limit: the line is missing or cut short.
        if (!m_log) return false;
    }
    m_records.push_back(std::move(item));
    return true;
}
