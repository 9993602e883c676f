#include "midiport/recording/recordingmidisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/firmware.h"
#include "model/sound.h"
#include "tests/support/scoped_variable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using Kind = RecordedItem::Kind;
using Bytes = std::vector<std::uint8_t>;

// What the recording saw, as text that reads like the port's traffic.
std::vector<std::string> describe(const std::vector<RecordedItem>& items)
{
    std::vector<std::string> lines;
    for (const auto& item : items) {
        char text[64];
        switch (item.kind) {
        case Kind::open:
            lines.emplace_back("open");
            break;
        case Kind::close:
            lines.emplace_back("close");
            break;
        case Kind::wait:
            lines.push_back("wait " + std::to_string(item.ms));
            break;
        case Kind::shortMessage:
            std::snprintf(text, sizeof text, "short %02X %02X %02X", item.bytes[0], item.bytes[1], item.bytes[2]);
            lines.emplace_back(text);
            break;
        case Kind::sysex:
            lines.push_back("sysex " + std::to_string(item.bytes.size()));
            break;
        }
    }
    return lines;
}

std::vector<Bytes> sysexOf(const std::vector<RecordedItem>& items)
{
    std::vector<Bytes> messages;
    for (const auto& item : items)
        if (item.kind == Kind::sysex) messages.push_back(item.bytes);
    return messages;
}

Bytes firmwarePiece(std::size_t size, std::uint8_t block)
{
    Bytes bytes(size, 0x11);
    bytes[0] = 0xF0;
    bytes[1] = kManufacturerId;
    bytes[2] = static_cast<std::uint8_t>(0x40 | block);
    bytes[3] = kDataMessageKind;
    bytes[4] = 0x00; // firmware messages carry no receive channel
    bytes.back() = 0xF7;
    return bytes;
}

// A firmware bank that holds (imitated) device firmware of the real sizes.
CFirmware deviceFirmware()
{
    CFirmware firmware;
    const CMessage presets(firmwarePiece(0x1FF86, 62));
    const CMessage os(firmwarePiece(0x1BE06, 63));
    const CMessage* messages[] = {&presets, &os};
    EXPECT_TRUE(firmware.setContentsFromMessages(messages));
    return firmware;
}

// A sound bank whose transfer messages are broken, as a faulty model might build.
class BrokenSound : public CSound {
public:
    BrokenSound() : CSound(0) {}
    const EventList& buildEvents(std::uint16_t channel) override
    {
        CSound::buildEvents(channel);
        const Bytes garbage{0x01, 0x02, 0x03};
        m_events[3] = std::make_unique<CFlash>(std::make_unique<CMessage>(garbage), kFlashOffset);
        return m_events;
    }
};

struct Session {
    explicit Session(RecordingMidiSystem::Options options = {})
        : system(std::make_shared<RecordingMidiSystem>(std::move(options))), session(-1, 0, system)
    {
        system->clearRecords();
    }
    std::shared_ptr<RecordingMidiSystem> system;
    WrapperKtMidiInterface session;
};

TEST(Transmitter, OpeningSilencesAllChannelsBetweenTwoPauses)
{
    auto system = std::make_shared<RecordingMidiSystem>();
    WrapperKtMidiInterface session(-1, 0, system);
    ASSERT_TRUE(session.isOpen());
    EXPECT_FALSE(session.hasReceiver());

    std::vector<std::string> expected{"open", "wait 600"};
    for (int channel = 0; channel < 16; ++channel) {
        char text[32];
        std::snprintf(text, sizeof text, "short %02X 7B 00", 0xB0 + channel);
        expected.emplace_back(text);
    }
    expected.emplace_back("short B0 7B 00");
    expected.emplace_back("wait 600");
    EXPECT_EQ(describe(system->records()), expected);
    EXPECT_THAT(system->traceText(), ::testing::HasSubstr("\t\t\tMidiCompletion - MOM_OPEN:\n"));
}

TEST(Transmitter, LongMessagesArePolledAtAboutTheirCableTime)
{
    RecordingMidiSystem system;
    KtMidiInterfaceTransmitter transmitter(system, 0);
    system.clearRecords();

    const Bytes erase{0xF0, 0x31, 0x0D, 0x79, 0x04, 0xF7};
    EXPECT_TRUE(transmitter.sendLong(erase));
    EXPECT_FALSE(transmitter.isBusy());
    EXPECT_EQ(describe(system.records()), (std::vector<std::string>{"sysex 6", "wait 1", "wait 2"}));

    system.clearRecords();
    Bytes block(kBlockMessageSize, 0);
    block.front() = 0xF0;
    block.back() = 0xF7;
    EXPECT_TRUE(transmitter.sendLong(block));
    EXPECT_EQ(describe(system.records()), (std::vector<std::string>{"sysex 131078", "wait 1", "wait 43692"}));
    EXPECT_THAT(system.traceText(), ::testing::HasSubstr("midiOutLongMsg() - Asynchron!!!\n"));
    EXPECT_THAT(system.traceText(), ::testing::HasSubstr("MidiCompletion - MOM_DONE:\n"));
}

TEST(Session, PortsThatCannotBeOpenedAreReportedAndNothingIsSent)
{
    RecordingMidiSystem::Options failing;
    failing.failOpen = true;
    RecordingMidiSystem::Options onePort;
    for (auto [options, output] : {std::pair{failing, 0}, std::pair{onePort, 3}, std::pair{onePort, -1}}) {
        auto system = std::make_shared<RecordingMidiSystem>(options);
        WrapperKtMidiInterface session(-1, output, system);
        EXPECT_FALSE(session.isOpen());
        EXPECT_FALSE(session.error().empty());
        CSound bank(0);
        EXPECT_FALSE(session.sendBank(bank, 0));
        EXPECT_FALSE(session.error().empty());
        EXPECT_EQ(session.progress(), 0);
        // No sending and no two-minute wait for a port that is not there.
        EXPECT_TRUE(sysexOf(system->records()).empty());
        EXPECT_EQ(system->elapsedMs(), 0);
    }
}

TEST(Session, SoundBankGoesOutAsFourPacedMessages)
{
    Session s;
    CSound bank(5);
    const std::int64_t before = s.system->elapsedMs();
    ASSERT_TRUE(s.session.sendBank(bank, 3));

    const auto records = s.system->records();
    const std::vector<std::string> expected{"wait 3000", "sysex 6",      "wait 1", "wait 2",     "wait 300",
                                            "wait 6000", "sysex 131078", "wait 1", "wait 43692", "wait 300",
                                            "wait 3000", "sysex 6",      "wait 1", "wait 2",     "wait 300",
                                            "wait 6000", "sysex 131078", "wait 1", "wait 43692", "wait 300"};
    EXPECT_EQ(describe(records), expected);

    const auto messages = sysexOf(records);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], (Bytes{0xF0, 0x31, 0x0D, 0x79, 10, 0xF7}));
    EXPECT_EQ(messages[2], (Bytes{0xF0, 0x31, 0x0D, 0x79, 11, 0xF7}));
    const auto& events = bank.buildEvents(3);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(messages[i], events[i]->getMessageData()) << "message " << i;
    EXPECT_EQ(messages[1][2], 0x40 | 10);
    EXPECT_EQ(messages[1][4], 0x20 | 3);
    EXPECT_EQ(messages[3][2], 0x40 | 11);

    // As the machine sees it: no message is handed over before the previous
    // one has left the cable, and the whole bank takes under 106.6 s.
    std::int64_t cableFree = 0;
    for (const auto& item : records) {
        if (item.kind != Kind::sysex) continue;
        EXPECT_GE(item.atMs, cableFree);
        cableFree = item.atMs + (static_cast<std::int64_t>(item.bytes.size()) * 1000 + 3124) / 3125;
    }
    EXPECT_LE(cableFree, s.system->elapsedMs());
    // The plan knows the bank's time to the millisecond.
    EXPECT_EQ(s.system->elapsedMs() - before, 106592);
    EXPECT_EQ(WrapperKtMidiInterface::bankMs(s.system->outputPacing(), bank.buildEvents(3)), 106592u);
}

// On the recording clock the plan is exact, so progress is exactly the time
// that has passed, and it stays below 100 until the bank is over.
TEST(Session, ProgressFollowsThePlanAndStaysBelow100)
{
    Session s;
    CSound bank(0);
    EXPECT_EQ(s.session.progress(), 0);
    const std::int64_t start = s.system->elapsedMs();
    std::vector<int> seen;
    s.system->setWaitHook([&](std::uint32_t) {
        const auto into = static_cast<std::uint64_t>(s.system->elapsedMs() - start);
        EXPECT_EQ(s.session.progress(), static_cast<int>(std::min<std::uint64_t>(99, into * 100 / 106592)));
        seen.push_back(s.session.progress());
    });
    ASSERT_TRUE(s.session.sendBank(bank, 0));
    EXPECT_EQ(s.session.progress(), 0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 99);
}

TEST(Session, FirmwareIsSentOnlyWhenItIsDeviceFirmware)
{
    Session placeholder;
    CFirmware factory;
    ASSERT_TRUE(factory.isFirmwarePlaceholder());
    EXPECT_FALSE(placeholder.session.sendBank(factory, 0));
    EXPECT_THAT(placeholder.session.error(), ::testing::HasSubstr("firmware"));
    EXPECT_TRUE(placeholder.system->records().empty());
    EXPECT_EQ(placeholder.session.progress(), 0);

    // Firmware-shaped messages of another length and a sound bank numbered
    // into the firmware blocks are refused before anything reaches the port.
    CFirmware shortFirmware;
    const CMessage presets(Bytes{0xF0, 0x31, 0x40, 0x38, 0x00, 0xF7});
    const CMessage os(Bytes{0xF0, 0x31, 0x7F, 0x38, 0x10, 0xF7});
    const CMessage* pieces[] = {&presets, &os};
    ASSERT_TRUE(shortFirmware.setContentsFromMessages(pieces));
    CSound intoFirmwareBlocks(30);
    intoFirmwareBlocks.setIndex(kFirmwareIndex);
    for (IBank* bank : std::initializer_list<IBank*>{&shortFirmware, &intoFirmwareBlocks}) {
        EXPECT_FALSE(placeholder.session.sendBank(*bank, 0));
        EXPECT_THAT(placeholder.session.error(), ::testing::HasSubstr("firmware"));
    }
    EXPECT_TRUE(placeholder.system->records().empty());

    Session device;
    CFirmware firmware = deviceFirmware();
    const std::int64_t before = device.system->elapsedMs();
    ASSERT_TRUE(device.session.sendBank(firmware, 0));
    EXPECT_EQ(device.system->elapsedMs() - before,
              static_cast<std::int64_t>(WrapperKtMidiInterface::bankMs(device.system->outputPacing(),
                                                                       firmware.buildEvents(0))));
    const auto messages = sysexOf(device.system->records());
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], (Bytes{0xF0, 0x31, 0x0D, 0x79, 62, 0xF7}));
    EXPECT_EQ(messages[1], firmwarePiece(0x1FF86, 62));
    EXPECT_EQ(messages[2], (Bytes{0xF0, 0x31, 0x0D, 0x79, 63, 0xF7}));
    EXPECT_EQ(messages[3], firmwarePiece(0x1BE06, 63));
}

TEST(Session, BrokenMessagesAndPortFailuresStopTheSend)
{
    Session broken;
    BrokenSound bank;
    EXPECT_FALSE(broken.session.sendBank(bank, 0));
    EXPECT_TRUE(broken.system->records().empty());

    // A failed erase must not be followed by the block write, which the port
    // would take: writing over an unerased block garbles the flash.
    RecordingMidiSystem::Options options;
    options.failLongAt = {0};
    Session failing(options);
    CSound sound(1);
    EXPECT_FALSE(failing.session.sendBank(sound, 0));
    EXPECT_FALSE(failing.session.error().empty());
    EXPECT_TRUE(sysexOf(failing.system->records()).empty());
    EXPECT_EQ(failing.session.progress(), 0);

    options.failLongAt = {};
    options.failLongFrom = 1;
    Session halfway(options);
    EXPECT_FALSE(halfway.session.sendBank(sound, 0));
    EXPECT_EQ(sysexOf(halfway.system->records()).size(), 1u);
}

#ifndef _WIN32
// A file-size limit stands in for a full disk while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_previous(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit small = m_saved;
        small.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previous);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_previous)(int);
};
#endif

// A log that cannot be written must fail the send: a test reading it would
// otherwise pass on a missing or cut-off log.
TEST(Session, RecordingLogThatCannotBeWrittenFailsTheSend)
{
    TempDir dir;
    RecordingMidiSystem::Options options;
    options.logPath = dir.file("no-such-folder/midi.log");
    Session unopened(options);
    EXPECT_FALSE(unopened.session.isOpen());
    EXPECT_THAT(unopened.session.error(), ::testing::HasSubstr("no-such-folder/midi.log' cannot be opened"));

#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit to play the full disk";
#else
    // The opening lines fit, a block's line (about 390 KB) does not.
    options.logPath = dir.file("midi.log");
    auto system = std::make_shared<RecordingMidiSystem>(options);
    {
        const FileSizeLimit limit(64 * 1024);
        WrapperKtMidiInterface session(-1, 0, system);
        CSound bank(1);
        EXPECT_FALSE(session.sendBank(bank, 0));
        EXPECT_FALSE(session.error().empty());
    }
    EXPECT_EQ(sysexOf(system->records()).size(), 1u) << "only the erase reached the log";

    struct : IMidiOutputListener {
        void portNotification(PortNotification, std::uint32_t) override {}
    } listener;
    RecordingMidiSystem shortOnly(options);
    std::string error;
    auto output = shortOnly.openOutput(0, listener, error);
    ASSERT_TRUE(output) << error;
    const FileSizeLimit limit(std::filesystem::file_size(options.logPath));
    EXPECT_FALSE(output->sendShort(0xB0, 0x7B, 0));
#endif
}

TEST(Session, ReceiverOpensOnlyWhenAsked)
{
    RecordingMidiSystem::Options options;
    options.inputPorts = 1;
    auto system = std::make_shared<RecordingMidiSystem>(options);
    {
        WrapperKtMidiInterface session(0, -1, system);
        EXPECT_TRUE(session.hasReceiver());
        EXPECT_FALSE(session.isOpen());
    }
    // Reset, then time for the driver before closing.
    EXPECT_EQ(describe(system->records()), (std::vector<std::string>{"wait 600"}));
}

TEST(Session, EnvironmentVariableSelectsTheRecordingLog)
{
    const std::string path = ::testing::TempDir() + "midiport_recording.log";
    std::remove(path.c_str());
    const auto system = [&] {
        const ScopedVariable selected(kRecordingVariable, path);
        return createMidiSystem();
    }();
    EXPECT_EQ(system->outputPortNames().size(), 1u);
    {
        WrapperKtMidiInterface session(-1, 0, system);
        CSound bank(2);
        ASSERT_TRUE(session.sendBank(bank, 1));
    }
    std::ifstream log(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 24u);
    EXPECT_EQ(lines[0], "open output 0");
    EXPECT_EQ(lines[1], "wait 600");
    EXPECT_EQ(lines[2], "short B0 7B 00");
    EXPECT_EQ(lines[20], "wait 3000");
    EXPECT_EQ(lines[21], "sysex 6 F0 31 0D 79 04 F7");
    EXPECT_EQ(lines[26].rfind("sysex 131078 F0 31 44 38 21 ", 0), 0u);
    EXPECT_EQ(lines[26].size(), 12 + 3 * kBlockMessageSize);
    EXPECT_EQ(lines.back(), "close output 0");
}

} // namespace
