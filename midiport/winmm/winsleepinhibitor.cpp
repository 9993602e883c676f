// Keeping Windows awake during a transfer.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "midiport/sleepinhibitor.h"

namespace {

class WindowsSleepInhibitor : public ISleepInhibitor {
public:
    ~WindowsSleepInhibitor() override { release(); }

    // The display may still turn off; only the system must stay up. The
    // state holds until it is cleared on the same thread.
    bool inhibit(const std::string&) override
    {
        m_held = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
        return m_held;
    }

    void release() override
    {
        if (m_held) SetThreadExecutionState(ES_CONTINUOUS);
        m_held = false;
    }

private:
    bool m_held = false;
};

} // namespace

std::unique_ptr<ISleepInhibitor> createPlatformSleepInhibitor()
{
    return std::make_unique<WindowsSleepInhibitor>();
}
