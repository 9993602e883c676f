#include "midiport/sleepinhibitor.h"

ISleepInhibitor::~ISleepInhibitor() = default;
