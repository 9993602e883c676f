// The winmm backend on the Windows it runs on. The test machine's Windows
// (wine, headless) offers no MIDI port, which is what these cases need; where
// ports exist they skip.
#include "midiport/midisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class NoListener : public IMidiOutputListener {
public:
    void portNotification(PortNotification, std::uint32_t) override {}
};

class WinmmWithoutPorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_system->outputPortNames().empty() || !m_system->inputPortNames().empty())
            GTEST_SKIP() << "this machine has MIDI ports";
    }
    std::shared_ptr<IMidiSystem> m_system = createPlatformMidiSystem();
};

TEST_F(WinmmWithoutPorts, OpeningAMissingPortIsRefusedWithTheSystemsReason)
{
    NoListener listener;
    std::string error;
    EXPECT_EQ(m_system->openOutput(0, listener, error), nullptr);
    // The sentence ends in winmm's own text for the error, not in nothing.
    const std::string prefix = "The MIDI output port could not be opened: ";
    ASSERT_EQ(error.rfind(prefix, 0), 0u) << error;
    EXPECT_GT(error.size(), prefix.size() + 3) << error;

    error.clear();
    EXPECT_EQ(m_system->openInput(0, error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST_F(WinmmWithoutPorts, SessionOnAMissingPortSendsNothingAndSaysWhy)
{
    WrapperKtMidiInterface session(-1, 0, m_system);
    EXPECT_FALSE(session.isOpen());
    CSound bank(0);
    EXPECT_FALSE(session.sendBank(bank, 1));
    EXPECT_FALSE(session.error().empty());
}

} // namespace
