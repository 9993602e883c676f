#include "midiport/midisystem.h"

#include "midiport/recording/recordingmidisystem.h"
#include "model/messages.h"

#include <cstdlib>
#include <iostream>
#include <string>

IClock::~IClock() = default;
IMidiOutputListener::~IMidiOutputListener() = default;
IMidiOutput::~IMidiOutput() = default;
IMidiInputListener::~IMidiInputListener() = default;
IMidiInput::~IMidiInput() = default;
IMidiSystem::~IMidiSystem() = default;

void WaitInterrupt::raise()
{
    {
        // Under the lock, so a waiter cannot miss it between its check and its wait.
        const std::lock_guard lock(m_mutex);
        m_raised.store(true, std::memory_order_release);
    }
    m_changed.notify_all();
}

bool WaitInterrupt::waitFor(std::chrono::nanoseconds duration) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, duration, [this] { return isRaised(); });
}

bool IClock::sleepMsUnless(std::uint32_t ms, const WaitInterrupt& interrupt)
{
    if (interrupt.isRaised()) return false;
    sleepMs(ms);
    return true;
}

PortPacing cableRatePacing()
{
    return {kCableBytesPerSecond, 1000, false};
}

std::ostream& IMidiSystem::trace()
{
    return std::cout;
}

namespace {

long environmentNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' ? value : fallback;
}

} // namespace

std::shared_ptr<IMidiSystem> createMidiSystem()
{
    const char* log = std::getenv(kRecordingVariable);
    if (log != nullptr && *log != '\0') {
        RecordingMidiSystem::Options options;
        options.logPath = log;
        options.realTimeSpeed = static_cast<int>(environmentNumber(kRecordingSpeedVariable, 0));
        options.failLongFrom = static_cast<int>(environmentNumber(kRecordingFailVariable, -1));
        if (const char* script = std::getenv(kRecordingLoopbackVariable); script != nullptr && *script != '\0') {
            const std::string text = script;
            RecordingMidiSystem::LoopbackScript loopback;
            const auto number = [&text] { return std::strtoul(text.c_str() + text.find('=') + 1, nullptr, 10); };
            if (text == "silent")
                loopback.silent = true;
            else if (text.rfind("drop-every=", 0) == 0)
                loopback.dropEvery = number();
            else if (text.rfind("change-at=", 0) == 0)
                loopback.changeAt[number()] = 0x7F;
            options.inputPorts = 1;
            options.loopback = loopback;
        }
        options.holdBeforeLong = static_cast<int>(environmentNumber(kRecordingHoldVariable, -1));
        return std::make_shared<RecordingMidiSystem>(options);
    }
    return createPlatformMidiSystem();
}
