#include "audio/audiooutput.h"

namespace {

// For platforms without a supported audio service: no output at all.
class NullAudioSystem : public IAudioSystem {
public:
    std::unique_ptr<IAudioOutput> openOutput(std::uint32_t, std::string& error) override
    {
        error = "This system offers no audio output that the program can use.";
        return nullptr;
    }
};

} // namespace

std::shared_ptr<IAudioSystem> createPlatformAudioSystem()
{
    return std::make_shared<NullAudioSystem>();
}
