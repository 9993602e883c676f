#include "midiport/sleepinhibitor.h"

// No inhibitor the core can offer on this platform.
std::unique_ptr<ISleepInhibitor> createPlatformSleepInhibitor()
{
    return nullptr;
}
