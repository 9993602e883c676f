#include "midiport/midisystem.h"

#include "midiport/recording/recordingmidisystem.h"

#include <cstdlib>
#include <iostream>

IClock::~IClock() = default;
IMidiOutputListener::~IMidiOutputListener() = default;
IMidiOutput::~IMidiOutput() = default;
IMidiInput::~IMidiInput() = default;
IMidiSystem::~IMidiSystem() = default;

std::ostream& IMidiSystem::trace()
{
    return std::cout;
}

std::shared_ptr<IMidiSystem> createMidiSystem()
{
    const char* log = std::getenv(kRecordingVariable);
    if (log != nullptr && *log != '\0') {
        RecordingMidiSystem::Options options;
        options.logPath = log;
        return std::make_shared<RecordingMidiSystem>(options);
    }
    return createPlatformMidiSystem();
}
