#include "midiport/midisystem.h"
#include "midiport/systemclock.h"

namespace {

// For platforms without a supported MIDI service: no ports at all.
class NullMidiSystem : public IMidiSystem {
public:
    std::vector<std::string> outputPortNames() override { return {}; }
    std::vector<std::string> inputPortNames() override { return {}; }
    IClock& clock() override { return m_clock; }
    PortPacing outputPacing() const override { return cableRatePacing(); }
    std::unique_ptr<IMidiOutput> openOutput(std::size_t, IMidiOutputListener&, std::string& error) override
    {
        error = "MIDI output is not supported on this system.";
        return nullptr;
    }
    std::unique_ptr<IMidiInput> openInput(std::size_t, std::string& error) override
    {
        error = "MIDI input is not supported on this system.";
        return nullptr;
    }

private:
    SystemClock m_clock;
};

} // namespace

std::shared_ptr<IMidiSystem> createPlatformMidiSystem()
{
    return std::make_shared<NullMidiSystem>();
}
