// The winmm backend on the Windows it runs on. The test machine's Windows
// (wine, headless) offers no MIDI port, which is what these cases need; where
// ports exist they skip.
#include "midiport/ktmidiinterfacereceiver.h"
#include "midiport/ktmidiinterfacetest.h"
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

TEST_F(WinmmWithoutPorts, InterfaceTestWithoutInputPortsSaysSoAndSendsNothing)
{
    KtMidiInterfaceTest test(m_system, 0, 0, KtMidiInterfaceTest::Length::quick);
    const LoopbackReport report = test.run();
    EXPECT_EQ(report.verdict, LoopbackVerdict::failed);
    EXPECT_EQ(report.text, "No MIDI input port was found: the test needs the interface's MIDI IN.");
    EXPECT_TRUE(report.messages.empty());
}

class NoInput : public IMidiInputListener {
public:
    void sysexReceived(std::span<const std::uint8_t>) override {}
};

// Where the Windows has an input port: buffers are added, input started,
// and the port reset and closed again without a hang or a crash.
TEST(WinmmInput, OpensStartsAndClosesAnInputPort)
{
    const auto system = createPlatformMidiSystem();
    if (system->inputPortNames().empty()) GTEST_SKIP() << "this machine has no MIDI input port";
    std::string error;
    auto input = system->openInput(0, error);
    ASSERT_NE(input, nullptr) << error;
    NoInput listener;
    EXPECT_TRUE(input->start(listener));
    EXPECT_FALSE(input->start(listener));
    input->reset();
    input.reset();
    KtMidiInterfaceReceiver receiver(*system, 0);
    EXPECT_TRUE(receiver.start());
}

} // namespace
