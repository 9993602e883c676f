#pragma once

#include "midiport/midisystem.h"

#include <memory>

// The ALSA sequencer backend: a client named after the program, one port
// subscribed to the chosen destination. Without a sequencer device it offers
// no ports.
class AlsaMidiSystem : public IMidiSystem {
public:
    // `paced` false sends System Exclusive messages as fast as the sequencer
    // takes them: only for tests against a virtual port.
    explicit AlsaMidiSystem(bool paced = true);
    ~AlsaMidiSystem() override;

    std::vector<std::string> outputPortNames() override;
    std::vector<std::string> inputPortNames() override;
    IClock& clock() override;
    PortPacing outputPacing() const override;
    std::unique_ptr<IMidiOutput> openOutput(std::size_t index, IMidiOutputListener& listener,
                                            std::string& error) override;
    std::unique_ptr<IMidiInput> openInput(std::size_t index, std::string& error) override;
    // Counts the sequencer's announcements of clients and ports coming and going.
    std::uint64_t portListChanges() override;
    std::string noPortsReason(bool outputs) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
