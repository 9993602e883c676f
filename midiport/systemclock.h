#pragma once

#include "midiport/midisystem.h"

// The real calendar and real sleeping, the same on every platform.
class SystemClock : public IClock {
public:
    std::int64_t now() override;
    void sleepMs(std::uint32_t ms) override;
};
