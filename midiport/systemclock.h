#pragma once

#include "midiport/midisystem.h"

// The real calendar, the steady clock and real sleeping, the same on every platform.
class SystemClock : public IClock {
public:
    std::int64_t now() override;
    std::int64_t monotonicMs() override;
    void sleepMs(std::uint32_t ms) override;
    bool sleepMsUnless(std::uint32_t ms, const WaitInterrupt& interrupt) override;
};
