#include "model/messages.h"
#include "model/sound.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::unique_ptr<CContent>> slots(std::uint8_t fill)
{
    std::vector<std::unique_ptr<CContent>> run;
    for (std::size_t size : kSlotSizes) run.push_back(std::make_unique<CSample>(Bytes(size, fill)));
    return run;
}

std::string tempFile(const Bytes& bytes)
{
    static const TempDir dir("varno-model");
    static int counter = 0;
    const auto path = dir / ("message" + std::to_string(counter++) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TEST(BlockMessage, HeaderLengthAndTerminator)
{
    const auto contents = slots(0x00);
    const CMessage message(5, 9, contents);
    const auto& d = message.getData();
    ASSERT_EQ(d.size(), 0x20006u);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 5), (Bytes{0xF0, 0x31, 0x45, 0x38, 0x29}));
    EXPECT_EQ(d.back(), 0xF7);

    // Channel 16 and out-of-range block numbers and channels keep only their low bits.
    EXPECT_EQ(CMessage(0, 15, contents).getData()[4], 0x2F);
    EXPECT_EQ(CMessage(70, 17, contents).getData()[2], 0x40 | 6);
    EXPECT_EQ(CMessage(70, 17, contents).getData()[4], 0x21);
}

TEST(BlockMessage, PayloadFollowsSlotOrderAndIsSevenBit)
{
    std::vector<std::unique_ptr<CContent>> contents;
    for (std::size_t i = 0; i < 4; ++i)
        contents.push_back(std::make_unique<CSample>(Bytes(kSlotSizes[i], static_cast<std::uint8_t>(0x7E + i))));
    const CMessage message(0, 0, contents);
    const auto& d = message.getData();
    // Slot 1 starts at payload 0xC000, slot 2 at 0x10000, slot 3 at 0x1C000.
    EXPECT_EQ(d[5 + 0x0000], 0x00);
    EXPECT_EQ(d[5 + 0x0001], 0x7E);
    EXPECT_EQ(d[5 + 0xC000], 0x00);
    EXPECT_EQ(d[5 + 0xC001], 0x7F);
    EXPECT_EQ(d[5 + 0x10000], 0x01);
    EXPECT_EQ(d[5 + 0x10001], 0x00);
    EXPECT_EQ(d[5 + 0x1FFFF], 0x01);
    for (std::size_t i = 5; i + 1 < d.size(); ++i) ASSERT_LT(d[i], 0x80) << "payload byte " << i;
}

TEST(MessageClass, KindBlockChannelAndFirmwareLayout)
{
    const auto contents = slots(0x00);
    const MessageClass write = classifyMessage(CMessage(5, 9, contents).getData());
    EXPECT_TRUE(write.isBlockWrite());
    EXPECT_EQ(write.block, 5);
    EXPECT_EQ(write.bank(), 2);
    EXPECT_EQ(write.channel, std::optional<std::uint8_t>(9));
    EXPECT_TRUE(write.isSoundBlock());
    EXPECT_FALSE(write.touchesFirmwareBlock());
    EXPECT_TRUE(classifyMessage(CMessage(63, 0, contents).getData()).touchesFirmwareBlock());

    const MessageClass erase = classifyMessage(CErase(62, 3).getMessageData());
    EXPECT_TRUE(erase.isErase());
    EXPECT_EQ(erase.block, 62);
    EXPECT_TRUE(erase.touchesFirmwareBlock());
    EXPECT_FALSE(classifyMessage(CErase(61, 3).getMessageData()).touchesFirmwareBlock());

    // Device firmware: the header without a channel, F7 last, the exact length.
    Bytes os(0x1BE06, 0x00);
    os[0] = 0xF0, os[1] = 0x31, os[2] = 0x7F, os[3] = 0x38, os.back() = 0xF7;
    EXPECT_EQ(classifyMessage(os).firmwareContent, std::optional<std::size_t>(1));
    const Bytes shortFirmware{0xF0, 0x31, 0x7F, 0x38, 0x10, 0xF7};
    EXPECT_TRUE(classifyMessage(shortFirmware).isBlockWrite());
    EXPECT_FALSE(classifyMessage(shortFirmware).firmwareContent.has_value());
    os.back() = 0x00;
    EXPECT_FALSE(classifyMessage(os).firmwareContent.has_value());

    // Another maker's messages and fragments are nothing the machine acts on.
    EXPECT_EQ(classifyMessage(Bytes{0xF0, 0x7D, 0x7F, 0x38, 0x10, 0xF7}).kind, MessageKind::Other);
    EXPECT_EQ(classifyMessage(Bytes{0xF0, 0x31, 0x0D, 0x79}).kind, MessageKind::Other);
}

TEST(PairEncoding, KnownPairsAndRoundTripOfEveryByte)
{
    const Bytes known{0x00, 0x7F, 0x80, 0xFF};
    Bytes pairs(8);
    EXPECT_EQ(encodePairs(pairs.data(), known.data(), known.size()), 8u);
    EXPECT_EQ(pairs, (Bytes{0x00, 0x00, 0x00, 0x7F, 0x01, 0x00, 0x01, 0x7F}));

    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    Bytes encoded(512), decoded(256);
    encodePairs(encoded.data(), all.data(), all.size());
    EXPECT_EQ(decodePairs(decoded.data(), encoded.data(), all.size()), 512u);
    EXPECT_EQ(decoded, all);
}

TEST(EraseMessage, BytesForFirstAndFirmwareBlocks)
{
    EXPECT_EQ(CErase(62, 3).getMessageData(), (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x3E, 0xF7}));
    EXPECT_EQ(CErase(0, 3).getMessageData(), (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x00, 0xF7}));
    EXPECT_EQ(CErase(64 + 5, 3).getMessageData()[4], 0x05);
    EXPECT_EQ(CErase(0, 3).getOffset(), 3);
    EXPECT_EQ(CTest(0).getMessageData(), (Bytes{0xF0, 0x31, 0x0E, 0x38, 0x40, 0xF7}));
}

TEST(FlashEvent, OwnsOrRefersToItsMessage)
{
    const CMessage content(Bytes{0xF0, 0x01, 0xF7});
    {
        const CFlash referring(content, 6);
        EXPECT_TRUE(referring.isReferenz());
        EXPECT_EQ(referring.getMessage(), &content);
    }
    // The referenced message outlives the event untouched.
    EXPECT_EQ(content.getData(), (Bytes{0xF0, 0x01, 0xF7}));

    const CFlash owning(std::make_unique<CMessage>(Bytes{0xF0, 0x02, 0xF7}), 6);
    EXPECT_FALSE(owning.isReferenz());
    EXPECT_EQ(owning.getMessageSize(), 3u);
    EXPECT_EQ(owning.getOffset(), 6);
}

// Each case from a file and from the same bytes in memory.
bool loadBoth(CMessage& fromFile, CMessage& fromMemory, const Bytes& bytes)
{
    const bool loaded = fromFile.load(tempFile(bytes));
    EXPECT_EQ(fromMemory.load(std::span(bytes)), loaded);
    EXPECT_EQ(fromMemory.getData(), fromFile.getData());
    return loaded;
}

TEST(MessageLoad, TakesFirstSysExSkippingTheLengthField)
{
    CMessage fromFile(Bytes{0xF0, 0xAA, 0xF7});
    CMessage fromMemory(Bytes{0xF0, 0xAA, 0xF7});
    EXPECT_TRUE(
        loadBoth(fromFile, fromMemory, {0x4D, 0x54, 0xF0, 0x88, 0x80, 0x05, 0x01, 0x02, 0xF7, 0xF0, 0x09, 0xF7}));
    EXPECT_EQ(fromFile.getData(), (Bytes{0xF0, 0x01, 0x02, 0xF7}));
    // The F7 may stand among the three skipped bytes; the message ends at the next.
    EXPECT_TRUE(loadBoth(fromFile, fromMemory, {0xF0, 0xF7, 0x00, 0x00, 0x05, 0xF7, 0xF7}));
    EXPECT_EQ(fromFile.getData(), (Bytes{0xF0, 0x05, 0xF7}));
}

TEST(MessageLoad, FailuresKeepTheMessage)
{
    const Bytes before{0xF0, 0xAA, 0xF7};
    CMessage fromFile(before);
    CMessage fromMemory(before);
    EXPECT_FALSE(loadBoth(fromFile, fromMemory, {0xF0, 0x00, 0x00, 0x00, 0x01, 0x02})); // no F7
    EXPECT_FALSE(loadBoth(fromFile, fromMemory, {0xF0, 0x00, 0xF7}));                   // F7 only in the length
    EXPECT_FALSE(loadBoth(fromFile, fromMemory, {0x01, 0x02, 0x03}));                   // no F0
    EXPECT_FALSE(loadBoth(fromFile, fromMemory, {}));                                   // empty
    EXPECT_FALSE(fromFile.load("/nonexistent/folder/file.syx"));
    EXPECT_EQ(fromFile.getData(), before);
}

TEST(DecodeInto, RefusesShortMessagesAndMismatchedContents)
{
    auto contents = slots(0x11);
    const CMessage tooShort(Bytes(0x20004, 0x00));
    EXPECT_FALSE(tooShort.decodeInto(contents));
    EXPECT_EQ(contents[0]->getData()[0], 0x11);

    std::vector<std::unique_ptr<CContent>> odd;
    odd.push_back(std::make_unique<CSample>(Bytes(0x100, 0x11)));
    EXPECT_FALSE(CMessage(0, 0, contents).decodeInto(odd));
    EXPECT_EQ(odd[0]->getData()[0], 0x11);
}

TEST(Dump, HexLinesOfSixteenBytesWithOffsets)
{
    Bytes bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13);
    const CSample sample(bytes);
    std::ostringstream out;
    out << std::uppercase;
    sample.dump(out, true);
    const std::string text = out.str();
    std::ostringstream heading;
    heading << "CSample <" << static_cast<const void*>(&sample) << ">:\n"
            << "m_data: $" << static_cast<const void*>(&sample.getData()) << "\tsize: 20\n";
    EXPECT_EQ(text, heading.str() + "00000: 00 0d 1a 27 34 41 4e 5b 68 75 82 8f 9c a9 b6 c3\n"
                                    "00010: d0 dd ea f7\n");
    // The caller's formatting survives the dump.
    EXPECT_TRUE(out.flags() & std::ios::uppercase);
    EXPECT_FALSE(out.flags() & std::ios::hex);

    std::ostringstream plain;
    sample.dump(plain, false);
    EXPECT_EQ(plain.str(), heading.str());
}

TEST(Dump, EventsShowKindReferenceOffsetAndMessage)
{
    const CMessage content(Bytes{0xF0, 0xF7});
    const CFlash flash(content, 6);
    std::ostringstream out;
    flash.dump(out, true);
    std::ostringstream expected;
    expected << "CFlash <" << static_cast<const void*>(&flash) << ">:\n"
             << "m_referenz: true\nm_offset: 6\nm_message: CMessage <" << static_cast<const void*>(&content)
             << ">:\nm_data: $" << static_cast<const void*>(&content.getData()) << "\tsize: 2\n00000: f0 f7\n";
    EXPECT_EQ(out.str(), expected.str());

    const CErase erase(1, 3);
    std::ostringstream eraseOut;
    erase.dump(eraseOut, false);
    EXPECT_EQ(eraseOut.str().rfind("CErase <", 0), 0u);
    EXPECT_NE(eraseOut.str().find(">:\nm_offset: 3\nm_message: CMessage <"), std::string::npos);
}

} // namespace
