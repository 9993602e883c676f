#include "audio/audiooutput.h"

IAudioOutput::~IAudioOutput() = default;
IAudioSystem::~IAudioSystem() = default;

bool IAudioSystem::available(std::string& reason)
{
    reason.clear();
    return openOutput(kPreferredOutputRate, reason) != nullptr;
}
