#include "model/factory_data.h"
#include "model/firmware.h"
#include "model/sound.h"
#include "tests/support/firmware_messages.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes slotBytes(const IBank& bank, std::uint16_t slot)
{
    return bank.content(slot)->getData();
}

std::string writeTemp(const std::string& name, const Bytes& bytes)
{
    static const TempDir dir("varno-model");
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return utf8FromPath(path);
}

TEST(SoundBank, FactoryLayoutNamesAndLabels)
{
    const CSound first(0);
    EXPECT_EQ(first.getIndex(), 0);
    EXPECT_EQ(first.getName(), "S01 - factory -");
    EXPECT_EQ(first.getContentCount(), 6);
    std::size_t offset = 0;
    for (std::uint16_t i = 0; i < 6; ++i) {
        EXPECT_EQ(first.getContentLabel(i), kSlotLabels[i]);
        EXPECT_EQ(first.getContentName(i), kSlotLabels[i]);
        EXPECT_TRUE(first.isSampleContent(i));
        const auto expected = kFactorySamples.subspan(offset, kSlotSizes[i]);
        EXPECT_EQ(slotBytes(first, i), Bytes(expected.begin(), expected.end())) << "slot " << i;
        offset += kSlotSizes[i];
    }
    EXPECT_EQ(offset, 0x20000u);

    const CSound last(30);
    EXPECT_EQ(last.getName(), "S31");
    EXPECT_EQ(slotBytes(last, 0)[1], kFactorySamples[0x3C0000 + 1]);
    EXPECT_EQ(CSound(4).getName(), "S05");
    EXPECT_EQ(CSound(3).getName(), "S04 - factory -");
}

TEST(SoundBank, EventsEraseAndWriteBothBlocksInOrder)
{
    for (std::uint16_t index : {0, 30}) {
        CSound bank(index);
        const auto& events = bank.buildEvents(9);
        const auto first = static_cast<std::uint8_t>(2 * index);
        EXPECT_EQ(events[0]->getMessageData(), (Bytes{0xF0, 0x31, 0x0D, 0x79, first, 0xF7}));
        EXPECT_EQ(events[2]->getMessageData(),
                  (Bytes{0xF0, 0x31, 0x0D, 0x79, static_cast<std::uint8_t>(first + 1), 0xF7}));
        EXPECT_EQ(events[1]->getMessageData()[2], 0x40 | first);
        EXPECT_EQ(events[3]->getMessageData()[2], 0x40 | (first + 1));
        EXPECT_EQ(events[1]->getMessageData()[4], 0x29);
        EXPECT_EQ(events[1]->getMessageSize(), 0x20006u);
        EXPECT_EQ(events[3]->getMessageSize(), 0x20006u);
        EXPECT_EQ(events[0]->getOffset(), 3);
        EXPECT_EQ(events[1]->getOffset(), 6);
        EXPECT_EQ(events[2]->getOffset(), 3);
        EXPECT_EQ(events[3]->getOffset(), 6);
    }
    // Rebuilding replaces all four events.
    CSound bank(2);
    bank.buildEvents(0);
    const auto& again = bank.buildEvents(5);
    for (const auto& event : again) ASSERT_NE(event, nullptr);
    EXPECT_EQ(again[1]->getMessageData()[4], 0x25);
}

TEST(SoundBank, RestoresSamplesAndIndexFromItsOwnWriteMessages)
{
    CSound source(7);
    // Put every byte value into the data so the decoding is exercised fully.
    auto& slot = const_cast<CContent*>(source.content(4))->getData();
    for (std::size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<std::uint8_t>(i * 7);
    const auto& events = source.buildEvents(3);
    const CMessage first(events[1]->getMessageData());
    const CMessage second(events[3]->getMessageData());

    CSound target(0);
    const std::array<const CMessage*, 2> messages{&first, &second};
    ASSERT_TRUE(target.setContentsFromMessages(messages));
    EXPECT_EQ(target.getIndex(), 7);
    for (std::uint16_t i = 0; i < 6; ++i) EXPECT_EQ(slotBytes(target, i), slotBytes(source, i)) << "slot " << i;
    EXPECT_EQ(target.getName(), "S01 - factory -"); // names travel separately
}

TEST(SoundBank, FirstMessageDecidesTheBankNumber)
{
    CSound source(0);
    const auto& events = source.buildEvents(0);
    CMessage first(events[1]->getMessageData());
    CMessage second(events[3]->getMessageData());
    first.getData()[2] = 0x45;
    second.getData()[2] = 0x44;
    CSound target(9);
    const std::array<const CMessage*, 2> messages{&first, &second};
    ASSERT_TRUE(target.setContentsFromMessages(messages));
    EXPECT_EQ(target.getIndex(), 2);
}

TEST(SoundBank, RefusesAnythingButTwoFullBlockMessages)
{
    CSound bank(5);
    const Bytes before = slotBytes(bank, 0);
    const CMessage full(CSound(1).buildEvents(0)[1]->getMessageData());
    const CMessage shortOne(Bytes(0x20005, 0x00));
    const std::array<const CMessage*, 1> one{&full};
    const std::array<const CMessage*, 3> three{&full, &full, &full};
    const std::array<const CMessage*, 2> truncated{&full, &shortOne};
    const std::array<const CMessage*, 2> withNull{&full, nullptr};
    EXPECT_FALSE(bank.setContentsFromMessages(one));
    EXPECT_FALSE(bank.setContentsFromMessages(three));
    EXPECT_FALSE(bank.setContentsFromMessages(truncated));
    EXPECT_FALSE(bank.setContentsFromMessages(withNull));
    EXPECT_EQ(bank.getIndex(), 5);
    EXPECT_EQ(slotBytes(bank, 0), before);
}

TEST(Bank, CloneIsIndependentAndStartsWithoutEvents)
{
    auto source = std::make_unique<CSound>(3);
    source->setName("Kit");
    source->setContentName(2, "my clap");
    source->buildEvents(0);
    auto copy = source->clone();
    std::ostringstream dump;
    copy->dump(dump, false);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(dump.str().find("m_events[" + std::to_string(i) + "]: 0x00000000\n"), std::string::npos);

    const Bytes original = slotBytes(*source, 2);
    const_cast<CContent*>(source->content(2))->getData()[5] ^= 0xFF;
    source->setName("changed");
    source.reset();
    EXPECT_EQ(copy->getName(), "Kit");
    EXPECT_EQ(copy->getContentName(2), "my clap");
    EXPECT_EQ(slotBytes(*copy, 2), original);
    EXPECT_EQ(copy->getIndex(), 3);
    EXPECT_EQ(CSound(0).cloneOf(*copy)->getName(), "Kit");
}

TEST(Bank, LoadContentNamesAfterTheFileAndKeepsNameOnFailure)
{
    CSound bank(0);
    const std::string path = writeTemp("kick.wav", Bytes(64, 0x90));
    EXPECT_TRUE(bank.loadContent(1, path));
    EXPECT_EQ(bank.getContentName(1), "kick.wav");
    // Names are Latin-1; the path is UTF-8.
    EXPECT_TRUE(bank.loadContent(3, writeTemp("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.wav", Bytes(64, 0x90))));
    EXPECT_EQ(bank.getContentName(3), "\xE9t\xE9 ?.wav");

    EXPECT_FALSE(bank.loadContent(2, "/nonexistent/snare.wav"));
    EXPECT_EQ(bank.getContentName(2), "CLAP");
    EXPECT_FALSE(bank.loadContent(6, path));
}

TEST(Bank, AccessorsTolerateShortNameListsAndBadIndexes)
{
    CSound bank(0);
    bank.setContentNames({"a", "b"});
    EXPECT_EQ(bank.getContentName(1), "b");
    EXPECT_EQ(bank.getContentName(4), "");
    bank.setContentName(4, "ignored");
    EXPECT_EQ(bank.getContentNames().size(), 2u);
    EXPECT_EQ(bank.getContentLabel(6), "");
    EXPECT_FALSE(bank.isSampleContent(6));
    EXPECT_EQ(bank.content(6), nullptr);
    // A load into a position without a name entry still loads.
    EXPECT_TRUE(bank.loadContent(5, writeTemp("ride.raw", Bytes(16, 0x10))));
    EXPECT_EQ(bank.getContentNames().size(), 2u);
}

TEST(Bank, DumpListsFieldsInOrder)
{
    CSound bank(4);
    std::ostringstream out;
    bank.dump(out, false);
    const std::string text = out.str();
    std::ostringstream head;
    head << "CSound <" << static_cast<const void*>(&bank) << ">\nm_index: 4\nm_name: S05\n"
         << "m_contentLabel[0]: OPEN HI HAT\n";
    EXPECT_EQ(text.rfind(head.str(), 0), 0u);
    const auto at = [&](const std::string& s) { return text.find(s); };
    EXPECT_LT(at("m_contentLabel[5]: RIDE\n"), at("m_contentName[0]: OPEN HI HAT\n"));
    EXPECT_LT(at("m_contentName[5]: RIDE\n"), at("m_contents[0]: CSample <"));
    EXPECT_LT(at("m_contents[5]: CSample <"), at("m_events[0]: 0x00000000\n"));
    EXPECT_NE(at("m_events[3]: 0x00000000\n"), std::string::npos);

    CFirmware firmware;
    std::ostringstream fw;
    firmware.dump(fw, false);
    EXPECT_EQ(fw.str().rfind("CFirmware <", 0), 0u);
}

TEST(FirmwareBank, FactoryPlaceholderLayout)
{
    const CFirmware firmware;
    EXPECT_EQ(firmware.getIndex(), 31);
    EXPECT_EQ(firmware.getName(), "FIRMWARE - factory -");
    EXPECT_EQ(firmware.getContentCount(), 2);
    EXPECT_EQ(firmware.getContentName(0), "PRESETS");
    EXPECT_EQ(firmware.getContentName(1), "OS");
    EXPECT_FALSE(firmware.isSampleContent(0));
    const auto& presets = firmware.content(0)->getData();
    const auto& os = firmware.content(1)->getData();
    EXPECT_EQ(presets.size(), 0x1FF86u);
    EXPECT_EQ(os.size(), 0x1BE06u);
    EXPECT_EQ(Bytes(presets.begin(), presets.begin() + 5), (Bytes{0xF0, 0x7D, 0x40, 0x38, 0x00}));
    EXPECT_EQ(Bytes(os.begin(), os.begin() + 5), (Bytes{0xF0, 0x7D, 0x7F, 0x38, 0x10}));
    EXPECT_EQ(presets.back(), 0xF7);
    EXPECT_EQ(os.back(), 0xF7);
    // Not the machine's own firmware: nothing may flash it.
    EXPECT_FALSE(firmware.holdsDeviceFirmware());
    EXPECT_TRUE(firmware.isFirmwarePlaceholder());
    EXPECT_FALSE(CSound(0).isFirmwarePlaceholder());
}

TEST(FirmwareBank, EventsReferToTheContentsForEveryChannel)
{
    CFirmware firmware;
    for (std::uint16_t channel : {0, 15}) {
        const auto& events = firmware.buildEvents(channel);
        EXPECT_EQ(events[0]->getMessageData(), (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x3E, 0xF7}));
        EXPECT_EQ(events[2]->getMessageData(), (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x3F, 0xF7}));
        EXPECT_EQ(events[1]->getMessage(), firmware.content(0));
        EXPECT_EQ(events[3]->getMessage(), firmware.content(1));
        EXPECT_EQ(events[1]->getOffset(), 6);
    }
    // Rebuilding deletes the events but never the contents they referred to.
    const Bytes presets = firmware.content(0)->getData();
    firmware.buildEvents(0);
    EXPECT_EQ(firmware.content(0)->getData(), presets);
}

// A message with the device firmware's header: F0 31 .. 38, no channel bit.
Bytes firmwareMessage(std::size_t size, std::uint8_t blockByte = 0x40)
{
    Bytes bytes(size, 0x00);
    if (size < 6) return bytes;
    bytes[0] = 0xF0;
    bytes[1] = 0x31;
    bytes[2] = blockByte;
    bytes[3] = 0x38;
    bytes.back() = 0xF7;
    return bytes;
}

TEST(FirmwareBank, RestoreAndCloneKeepTheirOwnCopies)
{
    const Bytes presets = firmwareMessage(0x1FF86);
    const Bytes os = firmwareMessage(0x1BE06, 0x7F);
    auto first = std::make_unique<CMessage>(presets);
    auto second = std::make_unique<CMessage>(os);
    CFirmware firmware;
    firmware.buildEvents(0);
    const std::array<const CMessage*, 2> messages{first.get(), second.get()};
    ASSERT_TRUE(firmware.setContentsFromMessages(messages));
    first.reset();
    second.reset();
    EXPECT_EQ(firmware.getIndex(), 31);
    EXPECT_EQ(firmware.content(0)->getData(), presets);
    EXPECT_EQ(firmware.content(1)->getData(), os);
    EXPECT_TRUE(firmware.holdsDeviceFirmware());

    auto copy = firmware.clone();
    const_cast<CContent*>(firmware.content(0))->getData()[2] = 0x11;
    EXPECT_EQ(copy->content(0)->getData(), presets);
    EXPECT_FALSE(copy->isFirmwarePlaceholder());
}

// Only two messages of exactly the firmware's lengths, in their order, are
// device firmware; anything else is a placeholder that is never sent.
TEST(FirmwareBank, DeviceFirmwareHasExactlyTheFirmwareLengths)
{
    const auto holdsDeviceFirmware = [](const Bytes& presets, const Bytes& os) {
        CFirmware firmware;
        const CMessage first(presets);
        const CMessage second(os);
        const std::array<const CMessage*, 2> messages{&first, &second};
        EXPECT_TRUE(firmware.setContentsFromMessages(messages));
        EXPECT_EQ(firmware.isFirmwarePlaceholder(), !firmware.holdsDeviceFirmware());
        return firmware.holdsDeviceFirmware();
    };
    EXPECT_TRUE(holdsDeviceFirmware(firmwareMessage(0x1FF86), firmwareMessage(0x1BE06, 0x7F)));
    EXPECT_FALSE(holdsDeviceFirmware(firmwareMessage(6), firmwareMessage(6, 0x7F)));
    EXPECT_FALSE(holdsDeviceFirmware(firmwareMessage(0x1BE06), firmwareMessage(0x1FF86, 0x7F)));
    EXPECT_FALSE(holdsDeviceFirmware(firmwareMessage(0x1FF86), firmwareMessage(0x1BE05, 0x7F)));
    EXPECT_FALSE(holdsDeviceFirmware(firmwareMessage(0x1FF86), firmwareMessage(0x20006, 0x7F)));
    Bytes withChannel = firmwareMessage(0x1BE06, 0x7F);
    withChannel[4] = 0x20;
    EXPECT_FALSE(holdsDeviceFirmware(firmwareMessage(0x1FF86), withChannel));
}

// A firmware content takes from a file only the machine's own message for it;
// anything else leaves the bank exactly as it was.
TEST(FirmwareBank, LoadTakesOnlyDeviceFirmwareForTheContent)
{
    // As a bank file stores it: F0, a three-byte length, the rest.
    const auto stored = [](const Bytes& message) {
        Bytes file{0x4D, 0x54, 0xF0, 0x86, 0xFF, 0x05};
        file.insert(file.end(), message.begin() + 1, message.end());
        return file;
    };
    const Bytes os = firmwareMessage(0x1BE06, 0x7F);
#ifdef _WIN32
    const char* name = "os.syx"; // the temporary folder's own path has the backslashes
#else
    const char* name = "D:\\dumps\\os.syx"; // a Windows path, as one name
#endif
    const std::string osFile = writeTemp(name, stored(os));
    CFirmware firmware;
    const Bytes presets = firmware.content(0)->getData();
    const CContent* osContent = firmware.content(1);
    EXPECT_FALSE(firmware.loadContent(0, osFile)); // the OS message is not PRESETS
    Bytes withChannel = os;
    withChannel[4] = 0x20;
    for (const Bytes& refused : {Bytes{0xF0, 0, 0, 0, 0x31, 0xF7}, stored(firmwareMessage(0x1BE05, 0x7F)),
                                 stored(withChannel), Bytes(64, 0x90)})
        EXPECT_FALSE(firmware.loadContent(1, writeTemp("refused.syx", refused)));
    EXPECT_EQ(firmware.content(0)->getData(), presets);
    EXPECT_EQ(firmware.getContentName(1), "OS");

    ASSERT_TRUE(firmware.loadContent(1, osFile));
    EXPECT_EQ(firmware.content(1), osContent); // write events may still refer to it
    EXPECT_EQ(firmware.content(1)->getData(), os);
    EXPECT_EQ(firmware.getContentName(1), "os.syx");
}

} // namespace

namespace {

TEST(FirmwareSafety, SoundDataNeverPassesForFirmware)
{
    // Block messages addressed to the firmware blocks do not restore a sound bank...
    CSound source(0);
    const auto& events = source.buildEvents(0);
    CMessage first(events[1]->getMessageData());
    CMessage second(events[3]->getMessageData());
    first.getData()[2] = 0x40 | 62;
    second.getData()[2] = 0x40 | 63;
    CSound target(4);
    const std::array<const CMessage*, 2> messages{&first, &second};
    EXPECT_FALSE(target.setContentsFromMessages(messages));
    EXPECT_EQ(target.getIndex(), 4);

    // ...nor count as device firmware in a firmware bank.
    CFirmware firmware;
    ASSERT_TRUE(firmware.setContentsFromMessages(messages));
    EXPECT_TRUE(firmware.isFirmwarePlaceholder());
}

TEST(FirmwareSafety, OneForeignMessageKeepsTheBankAPlaceholder)
{
    const auto [presets, foreign] = testing_firmware::mixedFirmwarePair();
    const CMessage first(presets);
    const CMessage second(foreign);
    CFirmware firmware;
    const std::array<const CMessage*, 2> messages{&first, &second};
    ASSERT_TRUE(firmware.setContentsFromMessages(messages));
    EXPECT_TRUE(firmware.isFirmwarePlaceholder());
}

} // namespace
