// Files we save must read the same in mido, and files mido writes must open here.
#include "bank_fixtures.h"

#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace testing_midifile;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> runMido(const std::vector<std::string>& args)
{
    std::vector<std::string> command{VARNO_MIDO_SCRIPT};
    command.insert(command.end(), args.begin(), args.end());
    const ProcessResult result = runProcess(VARNO_PYTHON, command);
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    std::istringstream out(result.out);
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    return lines;
}

std::string hex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string hex(const std::string& text)
{
    return hex(Bytes(text.begin(), text.end()));
}

Bytes varLen(std::uint32_t value)
{
    Bytes groups{static_cast<std::uint8_t>(value & 0x7F)};
    while (value >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    return groups;
}

std::string meta(std::uint8_t type, const Bytes& data)
{
    Bytes raw{0xFF, type};
    const Bytes length = varLen(static_cast<std::uint32_t>(data.size()));
    raw.insert(raw.end(), length.begin(), length.end());
    raw.insert(raw.end(), data.begin(), data.end());
    return hex(raw);
}

std::string sysex(std::uint32_t delta, const Bytes& message)
{
    std::uint32_t h = 0x811C9DC5;
    for (std::uint8_t b : message) h = (h ^ b) * 0x01000193u;
    char text[64];
    std::snprintf(text, sizeof text, "%u sysex %zu %08x", delta, message.size(), h);
    return text;
}

// What mido must see for one bank's track, given the deltas of its messages.
std::vector<std::string> expectedTrack(IBank& bank, const std::vector<std::uint32_t>& deltas, std::uint32_t endDelta)
{
    Bytes names{0x31, 0x00, 0x59, 0x00};
    for (const std::string& name : bank.getContentNames()) {
        names.insert(names.end(), name.begin(), name.end());
        names.push_back(0);
    }
    const std::string name = bank.getName();
    const std::string instrument = "Orvel VARNO 414";
    std::vector<std::string> lines{"track", "0 track_name " + meta(0x03, Bytes(name.begin(), name.end())),
                                   "0 instrument_name " + meta(0x04, Bytes(instrument.begin(), instrument.end())),
                                   "0 sequencer_specific " + meta(0x7F, names)};
    const EventList& events = bank.buildEvents(0);
    const bool skipErases = deltas.size() == 2;
    std::size_t d = 0;
    for (const auto& event : events) {
        if (skipErases && event->getMessageSize() == 6) continue;
        lines.push_back(sysex(deltas.at(d++), event->getMessageData()));
    }
    lines.push_back(std::to_string(endDelta) + " end_of_track ff2f00");
    return lines;
}

std::vector<std::string> trackLines(const std::vector<std::string>& all, std::size_t track)
{
    std::vector<std::string> lines;
    std::size_t seen = 0;
    for (const std::string& line : all) {
        if (line == "track") ++seen;
        if (seen == track + 1) lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(MidoReadsOurFiles, OneSoundBank)
{
    TempDir dir;
    auto bank = soundBank(9, 5);
    bank->setContentNames({"a", "", "x y", "\xC4", "5", "6"});
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.saveBank(*bank, (dir / "s.mid").string()));
    const auto lines = runMido({"dump", (dir / "s.mid").string()});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "type 0 ticks 24 tracks 1");
    EXPECT_EQ(trackLines(lines, 0), expectedTrack(*bank, {96, 289, 2161, 289}, 2017));
}

TEST(MidoReadsOurFiles, FirmwareBanks)
{
    TempDir dir;
    WrapperKtMidiFile wrapper;
    auto device = deviceFirmwareBank();
    ASSERT_TRUE(wrapper.saveBank(*device, (dir / "d.mid").string()));
    auto lines = runMido({"dump", (dir / "d.mid").string()});
    EXPECT_EQ(trackLines(lines, 0), expectedTrack(*device, {96, 289, 2159, 289}, 1757));

    // The placeholder's erases are left out; their time stays in the deltas.
    CFirmware placeholder;
    ASSERT_TRUE(wrapper.saveBank(placeholder, (dir / "p.mid").string()));
    lines = runMido({"dump", (dir / "p.mid").string()});
    EXPECT_EQ(trackLines(lines, 0), expectedTrack(placeholder, {96 + 289, 2159 + 289}, 1757));
}

TEST(MidoReadsOurFiles, AllBanksChainTheirTracks)
{
    TempDir dir;
    auto banks = allBanks(true);
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.saveBanks(pointers(banks), (dir / "all.mid").string()));
    const auto lines = runMido({"dump", (dir / "all.mid").string()});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "type 1 ticks 24 tracks 32");
    std::uint32_t first = 96;
    for (std::size_t t = 0; t < banks.size(); ++t) {
        SCOPED_TRACE(t);
        const bool firmware = t == kFirmwareIndex;
        const std::vector<std::uint32_t> deltas{first, 289, firmware ? 2159u : 2161u, 289};
        EXPECT_EQ(trackLines(lines, t), expectedTrack(*banks[t], deltas, firmware ? 1757 : 2017));
        first = t == 0 ? 4852 : first + 4756;
    }
}

namespace {

// Writes a mido spec for the banks and returns the file mido made of it;
// `between` goes before every transfer message and at the end of each track.
fs::path midoFile(const TempDir& dir, const std::vector<std::unique_ptr<IBank>>& banks,
                  const std::vector<Bytes>& between = {})
{
    std::ofstream spec(dir / "spec.txt");
    int n = 0;
    for (const auto& bank : banks) {
        const std::string name = bank->getName();
        spec << "track " << (name.empty() ? "-" : hex(name)) << "\nnames";
        for (const std::string& content : bank->getContentNames())
            spec << ' ' << (content.empty() ? "-" : hex(content));
        spec << '\n';
        for (const auto& event : bank->buildEvents(0)) {
            const fs::path raw = dir / ("m" + std::to_string(n++) + ".syx");
            writeAll(raw, event->getMessageData());
            for (const Bytes& message : between) spec << "channel " << hex(message) << '\n';
            spec << "sysex " << raw.string() << '\n';
        }
        for (const Bytes& message : between) spec << "channel " << hex(message) << '\n';
    }
    spec.close();
    const fs::path out = dir / "mido.mid";
    runMido({"write", out.string(), (dir / "spec.txt").string()});
    return out;
}

} // namespace

TEST(MidoWritesFilesWeOpen, OneSoundBankWithExtraMetaEvents)
{
    TempDir dir;
    std::vector<std::unique_ptr<IBank>> banks;
    banks.push_back(soundBank(12, 77));
    banks[0]->setName("from \xB5mido; ok");
    banks[0]->setContentNames({"1", "two", "", "4", "five five", "6"});
    const fs::path file = midoFile(dir, banks);
    CSound opened(0);
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.openBank(opened, file.string())) << wrapper.lastError();
    expectSameBank(*banks[0], opened);
}

TEST(MidoWritesFilesWeOpen, ChannelMessagesBetweenTheTransferMessages)
{
    TempDir dir;
    std::vector<std::unique_ptr<IBank>> banks;
    banks.push_back(soundBank(3, 11));
    // Every kind of channel message, two and three bytes long; no two in a row
    // share a status byte, so mido writes no running status.
    const std::vector<Bytes> between{{0xC0, 0x05}, {0x93, 0x3C, 0x40}, {0xD2, 0x20}, {0x83, 0x3C, 0x00},
                                     {0xB5, 0x07, 0x64}, {0xA1, 0x3C, 0x10}, {0xE0, 0x00, 0x40}};
    const fs::path file = midoFile(dir, banks, between);
    CSound opened(0);
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.openBank(opened, file.string())) << wrapper.lastError();
    expectSameBank(*banks[0], opened);
}

TEST(MidoWritesFilesWeOpen, AllBanks)
{
    TempDir dir;
    auto banks = allBanks(false);
    const fs::path file = midoFile(dir, banks);
    std::vector<std::unique_ptr<IBank>> fresh;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) fresh.push_back(std::make_unique<CSound>(0));
    fresh.push_back(std::make_unique<CFirmware>());
    WrapperKtMidiFile wrapper;
    ASSERT_TRUE(wrapper.openBanks(pointers(fresh), kBankCount, file.string())) << wrapper.lastError();
    for (std::size_t i = 0; i < banks.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameBank(*banks[i], *fresh[i]);
    }
}
