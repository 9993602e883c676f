#include "midiport/systemclock.h"

#include <chrono>
#include <ctime>
#include <thread>

std::int64_t SystemClock::now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

void SystemClock::sleepMs(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
