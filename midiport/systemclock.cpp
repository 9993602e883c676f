#include "midiport/systemclock.h"

#include <chrono>
#include <ctime>
#include <thread>

std::int64_t SystemClock::now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t SystemClock::monotonicMs()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void SystemClock::sleepMs(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SystemClock::sleepMsUnless(std::uint32_t ms, const WaitInterrupt& interrupt)
{
    return !interrupt.waitFor(std::chrono::milliseconds(ms));
}
