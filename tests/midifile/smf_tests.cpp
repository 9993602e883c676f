#include "bank_fixtures.h"

#include "midifile/ktmidifilereader.h"
#include "midifile/ktmidifilewriter.h"
#include "midifile/midievent.h"

#include <gtest/gtest.h>

#include <vector>

using namespace testing_midifile;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes header(const char* magic, std::uint16_t format, std::uint16_t tracks)
{
    Bytes h(magic, magic + 4);
    h.insert(h.end(), {0, 0, 0, 6, 0, static_cast<std::uint8_t>(format), 0, static_cast<std::uint8_t>(tracks), 0, 24});
    return h;
}

Bytes withTrack(Bytes file, const Bytes& events)
{
    const auto n = static_cast<std::uint32_t>(events.size());
    file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                             static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    file.insert(file.end(), events.begin(), events.end());
    return file;
}

} // namespace

TEST(MidiFileWriter, HeaderSaysIncompleteUntilATrackIsEnded)
{
    TempDir dir;
    {
        KtMidiFileWriter writer((dir / "none.mid").string(), 24);
    }
    EXPECT_EQ(readAll(dir / "none.mid"), header("MIDI", 0, 0));

    {
        KtMidiFileWriter writer((dir / "open.mid").string(), 24);
        writer.beginTrack(true);
        writer.writeMeta(0x03, Bytes{'x'}, false);
    }
    Bytes open = readAll(dir / "open.mid");
    ASSERT_GE(open.size(), 22u);
    EXPECT_EQ(Bytes(open.begin(), open.begin() + 14), header("MIDI", 0, 0));
    EXPECT_EQ(Bytes(open.begin() + 14, open.begin() + 22), (Bytes{'-', '-', '-', '-', 0, 0, 0, 0}));
    EXPECT_EQ(KtMidiFileReader((dir / "open.mid").string()).trackCount(), 0);

    {
        KtMidiFileWriter writer((dir / "two.mid").string(), 24);
        for (int i = 0; i < 2; ++i) {
            writer.beginTrack(true);
            writer.endTrack();
            if (i == 0) {
                writer.flush();
                EXPECT_EQ(Bytes(readAll(dir / "two.mid")).size(), 14u + 12u);
            }
        }
    }
    Bytes two = readAll(dir / "two.mid");
    EXPECT_EQ(Bytes(two.begin(), two.begin() + 14), header("MThd", 1, 2));
}

TEST(MidiFileWriter, DeltasCarryPauseAndTransmissionTime)
{
    TempDir dir;
    const Bytes erase{0xF0, 0x31, 0x0D, 0x79, 0x02, 0xF7};
    {
        KtMidiFileWriter writer((dir / "a.mid").string(), 24);
        EXPECT_EQ(writer.bytesPerTick(), 65u);
        writer.beginTrack(true);
        writer.writeEvent(erase, 2.0);
        writer.endTrack();
    }
    Bytes expected =
        withTrack(header("MThd", 0, 1), {0x60, 0xF0, 0x05, 0x31, 0x0D, 0x79, 0x02, 0xF7, 0x01, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(readAll(dir / "a.mid"), expected);

    // A block message: length written as F0 88 80 05, and its 2017 ticks on
    // the cable go into the end of track's delta (8F 61).
    Bytes block(0x20006, 0x00);
    block.front() = 0xF0;
    block.back() = 0xF7;
    {
        KtMidiFileWriter writer((dir / "b.mid").string(), 24);
        writer.beginTrack(false);
        writer.writeEvent(block, 0.0);
        writer.endTrack();
    }
    Bytes b = readAll(dir / "b.mid");
    EXPECT_EQ(Bytes(b.begin() + 22, b.begin() + 26), (Bytes{0x00, 0xF0, 0x88, 0x80}));
    EXPECT_EQ(b[26], 0x05);
    EXPECT_EQ(Bytes(b.end() - 5, b.end()), (Bytes{0x8F, 0x61, 0xFF, 0x2F, 0x00}));
}

TEST(MidiFileWriter, PassedEventKeepsTheTimingOfWhatFollows)
{
    // Leaving an event out must not move the events after it.
    TempDir dir;
    const Bytes erase{0xF0, 0x31, 0x0D, 0x79, 0x02, 0xF7};
    const Bytes note{0x90, 0x40, 0x7F};
    std::uint32_t fullTime = 0;
    {
        KtMidiFileWriter writer((dir / "full.mid").string(), 24);
        writer.beginTrack(true);
        writer.writeEvent(erase, 3.0);
        writer.writeEvent(note, 6.0);
        writer.endTrack();
        fullTime = writer.totalTime();
    }
    {
        KtMidiFileWriter writer((dir / "passed.mid").string(), 24);
        writer.beginTrack(true);
        writer.passEvent(erase.size(), 3.0);
        writer.writeEvent(note, 6.0);
        writer.endTrack();
        EXPECT_EQ(writer.totalTime(), fullTime);
    }
    Bytes passed = readAll(dir / "passed.mid");
    // 3 s + one tick of erase + 6 s = 433 ticks = 83 31.
    EXPECT_EQ(Bytes(passed.begin() + 22, passed.begin() + 27), (Bytes{0x83, 0x31, 0x90, 0x40, 0x7F}));
}

TEST(Ktofstream, VarLenLimits)
{
    TempDir dir;
    {
        Ktofstream out((dir / "v").string());
        EXPECT_EQ(out.writeVarLen(0x10000000), 0u);
        EXPECT_EQ(out.writeVarLen(0x0FFFFFFF), 4u);
        EXPECT_EQ(out.writeVarLen(0x7F), 1u);
        EXPECT_EQ(out.writeVarLen(0x80), 2u);
    }
    EXPECT_EQ(readAll(dir / "v"), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x7F, 0x81, 0x00}));
}

TEST(Ktifstream, FileAndMemoryReadAlike)
{
    TempDir dir;
    const Bytes bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x80, 0x80, 0x80, 0x00, 0x81};
    writeAll(dir / "r", bytes);
    Ktifstream fromFile((dir / "r").string());
    Ktifstream fromMemory(bytes);
    for (Ktifstream* in : {&fromFile, &fromMemory}) {
        ASSERT_TRUE(in->is_open());
        EXPECT_EQ(in->fileSize(), bytes.size());
        std::uint32_t value = 0;
        EXPECT_TRUE(in->readVarLen(value));
        EXPECT_EQ(value, 0x0FFFFFFFu);
        EXPECT_FALSE(in->readVarLen(value)); // five groups: more than 28 bits
        in->seek(9);
        EXPECT_FALSE(in->readVarLen(value)); // cut off by the end of the file
        in->clear();
        in->seek(2);
        EXPECT_EQ(in->countThrough(0x81), 3u);
        EXPECT_EQ(in->countThrough(0x42), 9u); // not there: one more than what is left
        EXPECT_EQ(in->tell(), bytes.size());
        in->seek(3);
        EXPECT_EQ(in->readU16(true), 0x7F81);
        EXPECT_FALSE(in->skip(6));
        EXPECT_TRUE(in->eof());
        EXPECT_EQ(in->remaining(), 0u);
        in->seek(100);
        EXPECT_EQ(in->tell(), bytes.size());
        in->seek(0);
        EXPECT_EQ(in->readU32(false), 0x7FFFFFFFu);
        in->close();
        EXPECT_FALSE(in->is_open());
    }
}

TEST(MidiFileReader, RejectsHeadersThatAreNotValid)
{
    TempDir dir;
    const Bytes track{0x00, 0xFF, 0x2F, 0x00};
    Bytes divisionZero = withTrack(header("MThd", 0, 1), track);
    divisionZero[13] = 0;
    const std::vector<std::pair<const char*, Bytes>> cases{
        {"incomplete", withTrack(header("MIDI", 0, 1), track)},
        {"division 0", divisionZero},
        {"short", Bytes{'M', 'T', 'h', 'd', 0, 0}},
        {"empty", Bytes{}},
    };
    for (const auto& [name, bytes] : cases) {
        writeAll(dir / "f.mid", bytes);
        KtMidiFileReader reader((dir / "f.mid").string());
        EXPECT_NE(reader.error(), SmfError::None) << name;
        EXPECT_EQ(reader.trackCount(), 0) << name;
        EXPECT_FALSE(reader.readTrackHeader()) << name;
        EXPECT_FALSE(reader.readEndOfTrack()) << name;
    }
    EXPECT_EQ(KtMidiFileReader((dir / "missing.mid").string()).error(), SmfError::CannotOpen);
}

TEST(MidiFileReader, ReadsRunsAndStepsBackAtTheWrongKind)
{
    TempDir dir;
    // Empty name, a text event, a data byte where an event should be, an
    // event, end of track.
    const Bytes events{0x00, 0xFF, 0x03, 0x00, 0x00, 0xFF, 0x01, 0x02, 'h', 'i',
                       0x05, 0x40, 0x00, 0xC1, 0x05, 0x00, 0xFF, 0x2F, 0x00};
    writeAll(dir / "f.mid", withTrack(header("MThd", 0, 1), events));
    KtMidiFileReader reader((dir / "f.mid").string());
    ASSERT_EQ(reader.trackCount(), 1);
    ASSERT_TRUE(reader.readTrackHeader());

    std::uint8_t type = 0;
    buffer data;
    ASSERT_TRUE(reader.readMeta(type, data));
    EXPECT_EQ(type, 0x03);
    EXPECT_TRUE(data.empty());
    ASSERT_TRUE(reader.readMeta(type, data));
    EXPECT_EQ(type, 0x01);
    EXPECT_EQ(data.bytes(), (Bytes{'h', 'i'}));

    const std::uint64_t atStray = reader.tell();
    EXPECT_FALSE(reader.readMeta(type, data));
    midi::event event;
    double seconds = 0;
    EXPECT_FALSE(reader.readEvent(event, seconds));
    EXPECT_EQ(reader.tell(), atStray);

    reader.seek(atStray + 2); // past the stray byte
    ASSERT_TRUE(reader.readEvent(event, seconds));
    EXPECT_EQ(event.bytes(), (Bytes{0xC1, 0x05}));

    const std::uint64_t atEnd = reader.tell();
    EXPECT_FALSE(reader.readMeta(type, data));
    EXPECT_EQ(reader.tell(), atEnd);
    EXPECT_FALSE(reader.readEvent(event, seconds));
    EXPECT_EQ(reader.tell(), atEnd);
    EXPECT_TRUE(reader.readEndOfTrack());
    EXPECT_FALSE(reader.readEndOfTrack());
}

TEST(MidiFileReader, SysExEndsAtTheFirstF7FromSevenEighthsOfItsDeclaredLength)
{
    TempDir dir;
    // Declared 14, real 13 (F7 at data byte 12, and 14 * 7/8 = 12), and
    // a later F7 that must not be taken.
    Bytes events{0x00, 0xF0, 0x0E};
    for (std::uint8_t i = 0; i < 12; ++i) events.push_back(i);
    events.push_back(0xF7);
    events.insert(events.end(), {0x00, 0xF0, 0x02, 0x55, 0xF7, 0x00, 0xFF, 0x2F, 0x00});
    writeAll(dir / "f.mid", withTrack(header("MThd", 0, 1), events));

    KtMidiFileReader reader((dir / "f.mid").string());
    ASSERT_TRUE(reader.readTrackHeader());
    midi::event event;
    double seconds = 0;
    ASSERT_TRUE(reader.readEvent(event, seconds));
    ASSERT_EQ(event.size(), 14u);
    EXPECT_EQ(event.bytes().front(), 0xF0);
    EXPECT_EQ(event.bytes().back(), 0xF7);
    ASSERT_TRUE(reader.readEvent(event, seconds));
    EXPECT_EQ(event.bytes(), (Bytes{0xF0, 0x55, 0xF7}));
    EXPECT_TRUE(reader.readEndOfTrack());
}

TEST(MidiFileReader, SysExWithoutEndOrWithAHugeLengthFails)
{
    TempDir dir;
    const std::vector<std::pair<const char*, Bytes>> cases{
        {"no F7", {0x00, 0xF0, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05}},
        {"length 0x0FFFFFFF", {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00}},
        {"length never ends", {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& [name, events] : cases) {
        writeAll(dir / "f.mid", withTrack(header("MThd", 0, 1), events));
        KtMidiFileReader reader((dir / "f.mid").string());
        ASSERT_TRUE(reader.readTrackHeader()) << name;
        midi::event event;
        double seconds = 0;
        EXPECT_FALSE(reader.readEvent(event, seconds)) << name;
        EXPECT_LE(event.size(), events.size()) << name;
    }
}

TEST(MidiEvent, CopiesBytesAndDumps)
{
    const std::uint8_t bytes[] = {0x90, 0x40, 0x7F};
    midi::event a(bytes, 3);
    a.m_offset = 1.5;
    const midi::event b(a);
    EXPECT_EQ(b.bytes(), (Bytes{0x90, 0x40, 0x7F}));
    EXPECT_EQ(b.m_offset, 1.5);
    EXPECT_TRUE(midi::event(nullptr, 4).empty());
    const std::string text = b.dump();
    EXPECT_EQ(text.rfind("midi::event < ", 0), 0u);
    EXPECT_NE(text.find(" >\nm_offset: 1.5 "), std::string::npos);
}
