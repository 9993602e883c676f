// The interface loopback test against the recording backend's scripted cable,
// on its virtual clock: a 45-second test runs in milliseconds.
#include "midiport/ktmidiinterfacetest.h"
#include "midiport/recording/recordingmidisystem.h"
#include "model/messagekind.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Script = RecordingMidiSystem::LoopbackScript;

std::shared_ptr<RecordingMidiSystem> cabled(std::optional<Script> script)
{
    RecordingMidiSystem::Options options;
    options.inputPorts = 1;
    options.loopback = script;
    return std::make_shared<RecordingMidiSystem>(options);
}

LoopbackReport runTest(std::optional<Script> script,
                       KtMidiInterfaceTest::Length length = KtMidiInterfaceTest::Length::full)
{
    KtMidiInterfaceTest test(cabled(std::move(script)), 0, 0, length);
    return test.run();
}

TEST(InterfaceLoopback, CleanCableCarriesEveryByteAndSaysBanksCanBeSent)
{
    const LoopbackReport report = runTest(Script{});
    EXPECT_EQ(report.verdict, LoopbackVerdict::clean);
    EXPECT_EQ(report.bytesSent, 6u + kBlockMessageSize);
    EXPECT_EQ(report.bytesReceived, report.bytesSent);
    EXPECT_EQ(report.dropped + report.changed, 0u);
    // The recording port plays at the cable's full 3125 bytes/s.
    EXPECT_EQ(report.text,
              "This interface carried 131,078 of 131,078 bytes correctly at 3,125 bytes/s: it can send banks");
}

TEST(InterfaceLoopback, OneDroppedAndOneChangedByteAreFoundWhereTheyHappened)
{
    Script dropped;
    dropped.dropAt = {1000};
    LoopbackReport report = runTest(dropped);
    EXPECT_EQ(report.verdict, LoopbackVerdict::damaged);
    const auto& c = report.messages.at(1).comparison;
    EXPECT_EQ(c.dropped, 1u);
    EXPECT_EQ(c.changed, 0u);
    ASSERT_TRUE(c.firstDifference);
    EXPECT_EQ(c.firstDifference->offset, 1000u);
    EXPECT_EQ(report.text, "Lost 1 of 131,078 bytes: this interface drops long System Exclusive messages; banks "
                           "sent through it will be damaged");

    const auto block = KtMidiInterfaceTest::messages(KtMidiInterfaceTest::Length::full).at(1);
    Script changed;
    changed.changeAt = {{5000, static_cast<std::uint8_t>(block[5000] ^ 0x01)}};
    report = runTest(changed);
    const auto& d = report.messages.at(1).comparison;
    EXPECT_EQ(d.changed, 1u);
    EXPECT_EQ(d.dropped, 0u);
    ASSERT_TRUE(d.firstDifference && d.firstDifference->received);
    EXPECT_EQ(d.firstDifference->offset, 5000u);
    EXPECT_EQ(d.firstDifference->sent, block[5000]);
    EXPECT_EQ(*d.firstDifference->received, block[5000] ^ 0x01);
    EXPECT_EQ(report.verdict, LoopbackVerdict::damaged);
}

TEST(InterfaceLoopback, EveryTwoHundredFiftyFifthByteLostIsNamed)
{
    Script script;
    script.dropEvery = 255;
    const LoopbackReport report = runTest(script);
    EXPECT_EQ(report.verdict, LoopbackVerdict::damaged);
    EXPECT_EQ(report.text, "Lost 514 of 131,078 bytes, every 255th: this interface drops long System Exclusive "
                           "messages; banks sent through it will be damaged");
}

TEST(InterfaceLoopback, NothingBackNamesTheInputPortAndSkipsTheBlock)
{
    Script silent;
    silent.silent = true;
    const LoopbackReport report = runTest(silent);
    EXPECT_EQ(report.verdict, LoopbackVerdict::nothingBack);
    EXPECT_EQ(report.messages.size(), 1u);
    EXPECT_EQ(report.text, "Nothing came back on Recording MIDI In 1: connect the interface's MIDI OUT to its MIDI "
                           "IN with a cable");
}

TEST(InterfaceLoopback, StopPartWayEndsAfterTheMessageInFlight)
{
    const auto system = cabled(Script{});
    KtMidiInterfaceTest test(system, 0, 0);
    int lastProgress = 0;
    bool backwards = false;
    // A stop from the clock's own thread, once the block is under way.
    system->setWaitHook([&](std::uint32_t) {
        const int now = test.progress();
        backwards = backwards || now < lastProgress;
        lastProgress = now;
        // In the pause after the 6-byte message: the block is never sent.
        if (system->elapsedMs() > 1'250) test.stop();
    });
    const LoopbackReport report = test.run();
    EXPECT_EQ(report.verdict, LoopbackVerdict::stopped);
    EXPECT_EQ(report.text, "The test was stopped before it finished.");
    EXPECT_FALSE(backwards);
    EXPECT_EQ(report.messages.size(), 1u);
    EXPECT_GT(lastProgress, 0);
    EXPECT_EQ(test.progress(), 100);
}

TEST(InterfaceLoopback, NoTestMessageCarriesTheMachinesHeader)
{
    for (const auto length : {KtMidiInterfaceTest::Length::full, KtMidiInterfaceTest::Length::quick})
        for (const auto& message : KtMidiInterfaceTest::messages(length)) {
            ASSERT_GE(message.size(), 6u);
            EXPECT_EQ(message[1], kNonCommercialId);
            EXPECT_NE(message[1], kManufacturerId);
            EXPECT_EQ(classifyMessage(message).kind, MessageKind::Other);
            EXPECT_TRUE(isCompleteSysEx(message));
            EXPECT_TRUE(std::all_of(message.begin() + 1, message.end() - 1, [](auto b) { return b < 0x80; }));
        }
    const auto block = KtMidiInterfaceTest::messages(KtMidiInterfaceTest::Length::full).at(1);
    EXPECT_EQ(block.size(), kBlockMessageSize);
    EXPECT_EQ(std::set<std::uint8_t>(block.begin() + 1, block.end() - 1).size(), 0x80u);

    // What actually went out on the port, the same.
    const auto system = cabled(Script{});
    KtMidiInterfaceTest(system, 0, 0, KtMidiInterfaceTest::Length::quick).run();
    int sysex = 0;
    for (const auto& item : system->records())
        if (item.kind == RecordedItem::Kind::sysex) {
            ++sysex;
            EXPECT_NE(item.bytes.at(1), kManufacturerId);
        }
    EXPECT_EQ(sysex, 2);
}

TEST(InterfaceLoopback, MissingInputPortIsAClearFailure)
{
    const auto system = std::make_shared<RecordingMidiSystem>();
    const LoopbackReport report = KtMidiInterfaceTest(system, 0, 0).run();
    EXPECT_EQ(report.verdict, LoopbackVerdict::failed);
    EXPECT_EQ(report.text, "No MIDI input port was found: the test needs the interface's MIDI IN.");
    for (const auto& item : system->records()) EXPECT_NE(item.kind, RecordedItem::Kind::sysex);
}

} // namespace
