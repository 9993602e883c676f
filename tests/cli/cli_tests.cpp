// Drives the varno414 executable the way a script would and checks what it
// writes; the core library is used only to read the results back.
#include "audio/fallbackdecoder.h"
#include "midifile/wrapperktmidifile.h"
#include "midiport/midisystem.h"
#include "model/factory_data.h"
#include "model/firmware.h"
#include "model/sound.h"
#include "tests/audio/audio_test_util.h"
#include "tests/support/crafted_bank_files.h"
#include "tests/support/process.h"
#include "tests/support/scoped_variable.h"
#include "varno_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Result = ProcessResult;

std::vector<std::uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const fs::path& path)
{
    const auto bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The bytes of a WAV file's data chunk.
std::vector<std::uint8_t> wavData(const fs::path& path)
{
    const auto bytes = readBytes(path);
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size =
            bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | std::uint32_t(bytes[at + 7]) << 24;
        if (std::equal(bytes.begin() + at, bytes.begin() + at + 4, "data"))
            return {bytes.begin() + at + 8,
                    bytes.begin() + at + 8 + std::min<std::size_t>(size, bytes.size() - at - 8)};
        at += 8 + size + (size & 1);
    }
    return {};
}

// A 440 Hz tone as unsigned 8-bit mono samples.
std::vector<std::uint8_t> tone(std::uint32_t rate, double seconds)
{
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(128 + std::lround(100 * std::sin(i * 2 * 3.14159265 * 440 / rate)));
    return samples;
}

// Noise as signed 16-bit little-endian samples.
std::vector<std::uint8_t> noise16(std::size_t samples)
{
    std::vector<std::uint8_t> bytes;
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < samples; ++i) {
        state = state * 1664525u + 1013904223u;
        audiotest::putLe(bytes, state >> 16, 2);
    }
    return bytes;
}

class CliTest : public ::testing::Test {
protected:
    Result run(const std::vector<std::string>& args, Environment added = {})
    {
        added.emplace_back(kRecordingVariable, m_log.string());
        return runProcess(VARNO414_EXE, args, added);
    }

    // Starts the tool without waiting for it; its output is dropped.
    StartedProcess start(const std::vector<std::string>& args) { return {VARNO414_EXE, args}; }

    std::string path(const std::string& name) const { return m_temp.file(name); }

    // Starts the tool with the recording clock running `speed` times faster
    // than real time (0: virtual, no real sleeps); with `holdAt`, the pause
    // before that long message holds, so a signal reaches the send there.
    StartedProcess start(const std::vector<std::string>& args, int speed, int holdAt = -1)
    {
        return {VARNO414_EXE, args,
                {{kRecordingVariable, m_log.string()},
                 {kRecordingSpeedVariable, std::to_string(speed)},
                 {kRecordingHoldVariable, std::to_string(holdAt)}},
                m_dir / "stdout", m_dir / "stderr"};
    }

    // Waits until the send holds in its pause; it stays there until a stop
    // or releaseHold().
    bool waitForHold()
    {
        for (int i = 0; i < 30000; ++i) {
            if (readText(m_log).find("\nhold ") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    void releaseHold() { std::ofstream(m_log.string() + ".release").put('\n'); }

    // Waits until the port has been handed `count` System Exclusive messages.
    bool waitForSysex(std::size_t count)
    {
        for (int i = 0; i < 3000; ++i) {
            const auto traffic = portTraffic();
            if (std::count_if(traffic.begin(), traffic.end(), [](const auto& line) {
                    return line.rfind("sysex ", 0) == 0;
                }) >= static_cast<std::ptrdiff_t>(count))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    Result finish(StartedProcess& process)
    {
        Result result;
        result.status = process.wait();
        result.out = readText(m_dir / "stdout");
        result.err = readText(m_dir / "stderr");
        return result;
    }

    std::vector<std::string> sysexSent() const
    {
        std::vector<std::string> lines;
        for (const auto& line : portTraffic())
            if (line.rfind("sysex ", 0) == 0) lines.push_back(line);
        return lines;
    }

    // What reached the recording port: sysex and opened ports, not waits.
    std::vector<std::string> portTraffic() const
    {
        std::istringstream log(readText(m_log));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            if (line.rfind("sysex ", 0) == 0 || line.rfind("open ", 0) == 0) lines.push_back(line.substr(0, 30));
        return lines;
    }

    // What the tool last sent lives here, never in the user's own data folder.
    // Where SendJournal::defaultPath() puts it under the data folders below.
    std::string journalText() const
    {
#ifdef _WIN32
        return readText(m_dir / "data" / "VARNO414Editor" / "send-journal.txt");
#else
        return readText(m_dir / "data" / "varno414" / "send-journal.txt");
#endif
    }

    TempDir m_temp{"varno414-cli"};
    fs::path m_dir = m_temp.path();
    fs::path m_log = m_dir / "midi.log";
    ScopedVariable m_dataHome{"XDG_DATA_HOME", (m_dir / "data").string()};
    ScopedVariable m_appData{"APPDATA", (m_dir / "data").string()};
};

// Reads a one-bank file with the core, as a check independent of the tool.
std::unique_ptr<CSound> readSoundBank(const std::string& path)
{
    auto bank = std::make_unique<CSound>(0);
    WrapperKtMidiFile file;
    if (!file.openBank(*bank, path)) return nullptr;
    return bank;
}

TEST_F(CliTest, SessionMakesImportsRenamesShowsExportsAndSends)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S05"}).status, 0);

    // A second of 33000 Hz mono 8-bit audio: the machine's own format, so the
    // slot takes the samples as they are apart from its first and last bytes.
    const std::string tone = path("tone.wav");
    audiotest::writeFile(tone, audiotest::wav(1, 33000, 8, ::tone(33000, 1)));
    const std::string stereo = path("snare 48k.wav");
    audiotest::writeFile(stereo, audiotest::wav(2, 48000, 16, noise16(48000)));

    Result r = run({"import", bankFile, "--slot", "clap", tone});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"import", bankFile, "--bank", "s5", "--slot", "CLOSED-HI-HAT", stereo, "--name", "Snare"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run({"rename", bankFile, "My Kit"}).status, 0);
    ASSERT_EQ(run({"rename", bankFile, "--slot", "6", "Long Ride"}).status, 0);

    auto bank = readSoundBank(bankFile);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->getIndex(), 4);
    EXPECT_EQ(bank->getName(), "My Kit");
    EXPECT_EQ(bank->getContentName(0), "OPEN HI HAT");
    EXPECT_EQ(bank->getContentName(1), "Snare");
    EXPECT_EQ(bank->getContentName(2), "tone.wav");
    EXPECT_EQ(bank->getContentName(5), "Long Ride");

    const auto source = wavData(tone);
    const auto& clap = bank->content(2)->getData();
    ASSERT_EQ(clap.size(), 0x6000u);
    ASSERT_GE(source.size(), clap.size());
    EXPECT_EQ(clap.front(), 0x80);
    EXPECT_EQ(clap.back(), 0x80);
    EXPECT_TRUE(std::equal(clap.begin() + 1, clap.end() - 7, source.begin() + 1));

    r = run({"show", bankFile});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("S05  My Kit"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Snare"), std::string::npos);

    // The exported slot is the bank's bytes in a WAV the machine's rate.
    const std::string clapWav = path("clap.wav");
    r = run({"export", bankFile, "--slot", "3", clapWav});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(wavData(clapWav), clap);
#ifndef _WIN32 // sox, a reader of our own choosing, is a Linux peer
    EXPECT_EQ(runProcess("sox", {"--i", "-r", clapWav}).out, "33000\n");
#endif

    r = run({"export", bankFile, "--all", path("slots")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::uint16_t i = 0; i < kSlotCount; ++i) {
        std::string name = "S05_" + std::to_string(i + 1) + "_" + std::string(kSlotLabels[i]) + ".wav";
        std::replace(name.begin(), name.end(), ' ', '_');
        EXPECT_EQ(wavData(fs::path(path("slots")) / name), bank->content(i)->getData()) << name;
    }

    r = run({"send", bankFile, "--port", "0", "--channel", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sent S05 (My Kit)"), std::string::npos) << r.out;
    // Not a terminal: plain progress lines, no updating line.
    EXPECT_NE(r.err.find("Bank 1 of 1 - 1:47 left\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    // Bank S05 is blocks 8 and 9; channel 10 goes out as 9 in byte 4.
    std::vector<std::string> sysex;
    for (const auto& line : portTraffic())
        if (line.rfind("sysex ", 0) == 0) sysex.push_back(line);
    const std::vector<std::string> expected{"sysex 6 F0 31 0D 79 08 F7", "sysex 131078 F0 31 48 38 29",
                                            "sysex 6 F0 31 0D 79 09 F7", "sysex 131078 F0 31 49 38 29"};
    ASSERT_EQ(sysex.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sysex[i].substr(0, expected[i].size()), expected[i]);
    EXPECT_TRUE(run({"send", bankFile, "--port", "0", "--quiet"}).err.empty());
}

// Every refusal names what is wrong, exits non-zero and leaves the bank
// file byte for byte as it was.
TEST_F(CliTest, ErrorsChangeNothing)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S07"}).status, 0);
    const std::string notBank = path("notes.txt");
    std::ofstream(notBank) << "not a bank file";
    // A WAV whose format tag no decoder knows.
    const std::string unknown = path("unknown.wav");
    audiotest::writeFile(unknown, audiotest::riff({audiotest::chunk("fmt ", audiotest::fmtBody(0x1234, 1, 8000, 8), false),
                                                   audiotest::chunk("data", ::tone(8000, 0.2), false)}));
    const std::string tone = path("tone.wav");
    audiotest::writeFile(tone, audiotest::wav(1, 33000, 8, ::tone(33000, 0.1)));
    const std::string empty = path("empty.wav");
    std::ofstream(empty) << "";
    // The tone's header alone: "RIFF", "WAVE" and its "fmt " chunk.
    const std::string headerOnly = path("header.wav");
    const auto toneBytes = readBytes(tone);
    std::ofstream(headerOnly, std::ios::binary).write(reinterpret_cast<const char*>(toneBytes.data()), 36);
    const auto before = readBytes(bankFile);
    const auto notBankBefore = readBytes(notBank);

    struct Case {
        std::vector<std::string> args;
        std::string says;
        int status = 1; // 2 for a command line that is wrong in itself
    };
    const std::vector<Case> cases{
        {{"show", path("missing.mid")}, "missing.mid' does not exist"},
        {{"show", notBank}, "is not a bank file"},
        {{"rename", notBank, "X"}, "is not a bank file"},
        {{"import", bankFile, "--slot", "CLAP", path("missing.wav")}, "missing.wav' does not exist"},
        {{"import", bankFile, "--slot", "CLAP", unknown},
         "Wrong File Format: VARNO414Editor supports only pcm (no "
         "compression) formats (*.aif or *.wav). Its samples are not uncompressed PCM (format tag 0x1234)."},
        {{"import", bankFile, "--slot", "CLAP", tone, "--start", "0.1"}, "is only 0.10 s long: --start 0.1 lies beyond"},
        {{"import", bankFile, "--slot", "CLAP", tone, "--start", "-1"}, "--start takes a number of seconds", 2},
        {{"import", bankFile, "--slot", "CLAP", headerOnly}, "(CLAP). It has no \"data\" chunk."},
        {{"import", bankFile, "--slot", "CLAP", tone, "--gain", "3", "--normalize"}, "exclude each other", 2},
        {{"import", bankFile, "--slot", "CLAP", tone, "--dither"}, "Dither needs the clean conversion.", 2},
        {{"import", bankFile, "--slot", "CLAP", tone, "--start", "0.05", "--end", "0.01"}, "end must lie after", 2},
        {{"import", bankFile, "--kit", path("no-such-folder")}, "is not a folder"},
        {{"import", bankFile, "--slot", "CLAP", empty}, "empty.wav'"},
        {{"import", bankFile, "--slot", "COWBELL", tone}, "has no slot 'COWBELL'"},
        {{"import", bankFile, "--slot", "7", tone}, "has no slot '7'"},
        {{"import", bankFile, "--bank", "S05", "--slot", "CLAP", tone}, "holds no bank S05 (it holds S07)"},
        {{"import", bankFile, "--bank", "S32", "--slot", "CLAP", tone}, "there is no bank 'S32'"},
        {{"rename", bankFile, ""}, "bank name cannot be empty"},
        {{"rename", bankFile, "--slot", "RIM", "--bogus", "X"}, "unknown option --bogus", 2},
        {{"export", bankFile, "--slot", "CLAP", path("no/such/dir/x.wav")}, "its folder does not exist"},
        {{"rename", bankFile, "\xE2\x82\xAC"}, "names take Latin-1 characters only"},
#ifndef _WIN32 // a Windows command line is UTF-16: it cannot carry bytes that are not UTF-8
        {{"import", bankFile, "--slot", "CLAP", tone, "--name", "caf\xE9"}, "names take Latin-1 characters only"},
#endif
        {{"export", bankFile, "--slot", "CLAP", bankFile}, "is the bank file itself"},
        {{"send", bankFile, "--port", "3"}, "no MIDI output port 3"},
        {{"send", bankFile, "--port", "0", "--channel", "17"}, "channel from 1 to 16", 2},
        {{"new", bankFile}, "already exists"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        std::string line = c.args.front();
        EXPECT_EQ(r.status, c.status) << line;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << line << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << line << ": " << r.out;
        EXPECT_EQ(readBytes(bankFile), before) << line;
    }
    EXPECT_EQ(readBytes(notBank), notBankBefore);
    EXPECT_TRUE(portTraffic().empty()) << "nothing may reach a port after a refusal";
    EXPECT_FALSE(fs::exists(path("no")));
}

// An import tells on standard error what it did, --start takes a later part
// of the file, and show --json gives each slot's seconds.
TEST_F(CliTest, KitFillsTheBankByNameInOneSave)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S05"}).status, 0);
    const std::filesystem::path kit = pathFromUtf8(path("kit"));
    std::filesystem::create_directory(kit);
    for (const char* name : {"Ride 2.wav", "a.wav", "OH.wav"})
        audiotest::writeFile(utf8FromPath(kit / name), audiotest::wav(1, 33000, 8, tone(33000, 0.1)));
    std::ofstream(kit / "readme.txt") << "not audio";
    const Result r = run({"import", bankFile, "--bank", "S05", "--kit", utf8FromPath(kit), "--reverse"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("RIDE: Ride 2.wav: all 0.10 s used (the slot holds 0.99 s; reversed)"), std::string::npos)
        << r.err;
    const auto bank = readSoundBank(bankFile);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->getContentName(0), "OH.wav");
    EXPECT_EQ(bank->getContentName(1), "a.wav");
    EXPECT_EQ(bank->getContentName(5), "Ride 2.wav");
    EXPECT_EQ(bank->getContentName(2), "CLAP");
}

TEST_F(CliTest, ImportTellsWhatItDidAndShowGivesSeconds)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S05"}).status, 0);
    const std::string crash = path("crash.wav");
    const auto source = tone(33000, 2.5);
    audiotest::writeFile(crash, audiotest::wav(1, 33000, 8, source));

    Result r = run({"import", bankFile, "--slot", "clap", crash, "--start", "1.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "crash.wav: 0.74 s of 2.50 s used, from 1.50 s on (cut to fit the slot)\n");
    const auto bank = readSoundBank(bankFile);
    ASSERT_TRUE(bank);
    const auto& clap = bank->content(2)->getData();
    ASSERT_EQ(clap.size(), 0x6000u);
    EXPECT_TRUE(std::equal(clap.begin() + 1, clap.end() - 7, source.begin() + 49500 + 1));

    if (audio::FallbackDecoder::built()) {
        // 0.2 s of 32-bit float: decoded by the fallback.
        audiotest::Bytes floats;
        for (std::uint8_t b : tone(44100, 0.2)) {
            const float value = static_cast<float>(b - 128) / 128.0f;
            std::uint32_t bits = 0;
            std::memcpy(&bits, &value, 4);
            audiotest::putLe(floats, bits, 4);
        }
        const std::string pad = path("pad.wav");
        audiotest::writeFile(pad, audiotest::riff({audiotest::chunk("fmt ", audiotest::fmtBody(3, 1, 44100, 32), false),
                                                   audiotest::chunk("data", floats, false)}));
        r = run({"import", bankFile, "--slot", "rim shot", pad});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "pad.wav: all 0.20 s used (decoded from WAV (32-bit float); the slot holds 0.25 s)\n");
    }

    // Each sample slot's line gives the seconds up to its last sound and what it holds.
    r = run({"show", bankFile, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto clapLine = r.out.find("{\"slot\": 3,");
    ASSERT_NE(clapLine, std::string::npos) << r.out;
    const auto number = [&](const std::string& key) {
        const auto at = r.out.find("\"" + key + "\": ", clapLine);
        return at == std::string::npos ? -1.0 : std::stod(r.out.substr(at + key.size() + 4));
    };
    EXPECT_NEAR(number("capacity_seconds"), 24576 / 33000.0, 1e-5);
    EXPECT_NEAR(number("seconds"), 24576 / 33000.0, 1e-3);
}

TEST_F(CliTest, WholeTableKeepsFirmwareSafe)
{
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);

    Result r = run({"show", table, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '{') - 1, 32 + 31 * 6 + 2);
    EXPECT_NE(r.out.find("\"deviceFirmware\": false"), std::string::npos);

    // Bank selection is needed once a file holds several banks.
    r = run({"rename", table, "X"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("holds 32 banks"), std::string::npos) << r.err;

    // The factory firmware is a placeholder: left out, and alone it is refused.
    const auto before = readBytes(table);
    r = run({"send", table, "--port", "0", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("FIRMWARE holds no device firmware: not sent\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("total: 31 banks"), std::string::npos) << r.out;
    r = run({"send", table, "--port", "0", "--bank", "FIRMWARE", "--dry-run"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("FIRMWARE holds no device firmware: not sent."), std::string::npos) << r.err;
    EXPECT_TRUE(portTraffic().empty());
    // Only the machine's own firmware message may become a firmware content.
    const std::string tone = path("tone.wav");
    audiotest::writeFile(tone, audiotest::wav(1, 33000, 8, ::tone(33000, 0.1)));
    r = run({"import", table, "--bank", "FIRMWARE", "--slot", "OS", tone});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no device firmware for FIRMWARE slot 2 (OS)"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(table), before);

    r = run({"send", table, "--no-firmware", "--dry-run", "--channel", "16"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("erase block 0 (6 bytes)"), std::string::npos);
    EXPECT_NE(r.out.find("write block 61 (131078 bytes)"), std::string::npos);
    EXPECT_NE(r.out.find("total: 31 banks, 124 messages"), std::string::npos) << r.out;
    // As the recording backend paces it, with the port's opening.
    EXPECT_NE(r.out.find("about 3305.55 s (55:06)"), std::string::npos) << r.out;
    EXPECT_TRUE(portTraffic().empty()) << "a dry run needs no port";

    r = run({"rename", table, "--bank", "S31", "--slot", "ride", "Last"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"show", table});
    EXPECT_NE(r.out.find("Last"), std::string::npos);
}

// A track whose sound data names the firmware blocks is no bank the tool
// may send: taken for either kind it would overwrite the firmware.
TEST_F(CliTest, SoundDataForFirmwareBlocksIsRefused)
{
    // The tool will not write such a file, so it is made from a factory S04
    // file (blocks 6 and 7) with its messages readdressed to blocks 62 and 63.
#ifdef _WIN32
    GTEST_SKIP() << "the file is made with Debian's python3-mido, which does not run under wine";
#endif
    const std::string bankFile = path("odd.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S04"}).status, 0);
    const std::string readdress = "import mido,sys\n"
                                  "f=mido.MidiFile(sys.argv[1])\n"
                                  "for m in f.tracks[0]:\n"
                                  "  if m.type==\"sysex\":\n"
                                  "    d=list(m.data)\n"
                                  "    if d[2]==0x79: d[3]+=56\n"
                                  "    else: d[1]+=56\n"
                                  "    m.data=d\n"
                                  "f.save(sys.argv[1])";
    ASSERT_EQ(runProcess("/usr/bin/python3", {"-c", readdress, bankFile}).status, 0);

    for (const auto& args :
         std::vector<std::vector<std::string>>{{"show", bankFile}, {"send", bankFile, "--port", "0"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 1) << args.front();
        EXPECT_NE(r.err.find("is not a bank file"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("not 32"), std::string::npos) << "a one-track file is judged as one bank: " << r.err;
    }
    EXPECT_TRUE(portTraffic().empty());
}

// In a file of all banks, --bank decides which bank is changed and exported,
// and no other bank is touched.
TEST_F(CliTest, WholeTableChangesOnlyTheChosenBank)
{
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table, "--all"}).status, 0);
    const std::string raw = path("raw.bin");
    std::ofstream(raw, std::ios::binary) << std::string(0x3000, '\x10');
    Result r = run({"import", table, "--bank", "S31", "--slot", "RIM_SHOT", raw});
    ASSERT_EQ(r.status, 0) << r.err;

    r = run({"export", table, "--all", path("out")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::uint16_t bank = 0; bank < kSoundBankCount; ++bank) {
        std::size_t offset = bank * kSoundBankSize;
        for (std::uint16_t slot = 0; slot < kSlotCount; ++slot) {
            std::string name = std::string(bank < 9 ? "S0" : "S") + std::to_string(bank + 1) + "_" +
                               std::to_string(slot + 1) + "_" + std::string(kSlotLabels[slot]) + ".wav";
            std::replace(name.begin(), name.end(), ' ', '_');
            const auto data = wavData(fs::path(path("out")) / name);
            ASSERT_EQ(data.size(), kSlotSizes[slot]) << name;
            if (bank == 30 && slot == 3) {
                // Raw bytes fill the slot, faded into silence at the end.
                EXPECT_EQ(data[0], 0x80);
                EXPECT_EQ(data[1], 0x10);
                EXPECT_EQ(data.back(), 0x80);
            } else {
                EXPECT_TRUE(std::equal(data.begin(), data.end(), kFactorySamples.begin() + offset)) << name;
            }
            offset += kSlotSizes[slot];
        }
    }
    EXPECT_FALSE(fs::exists(fs::path(path("out")) / "FIRMWARE_1_PRESETS.wav"));
}

// The same crafted files the editor's tests open: each opens, or is refused
// with its reason, as the core's document says.
TEST_F(CliTest, CraftedFilesAnswerAsTheEditorDoes)
{
    for (const CraftedBankFile& crafted : craftedBankFiles()) {
        const std::string file = writeCraftedBankFile(crafted, m_dir).string();
        const Result r = run({"show", file});
        const bool opens = crafted.error == BankFileError::None;
        EXPECT_EQ(r.status, opens ? 0 : 1) << crafted.name << ": " << r.err;
        EXPECT_NE((opens ? r.out : r.err).find(crafted.says), std::string::npos)
            << crafted.name << ": " << r.out << r.err;
    }

    // Short firmware-shaped messages are no firmware: never sent, and saved
    // without the erases the file came with.
    const std::string shortFirmware = path("short-firmware.mid");
    Result r = run({"send", shortFirmware, "--port", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no device firmware"), std::string::npos) << r.err;
    EXPECT_TRUE(portTraffic().empty());
    ASSERT_EQ(run({"rename", shortFirmware, "Not firmware"}).status, 0);
    const auto saved = readBytes(shortFirmware);
    const std::vector<std::uint8_t> erase{0x31, 0x0D, 0x79};
    EXPECT_EQ(std::search(saved.begin(), saved.end(), erase.begin(), erase.end()), saved.end());
}

TEST_F(CliTest, DuplicateBanksAreShownAndNeedForceToSendAll)
{
    const std::string table = writeCraftedBankFile(craftedBankFile("duplicates.mid"), m_dir).string();
    Result r = run({"show", table, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"duplicates\": [\n    {\"bank\": \"S01\", \"tracks\": [1, 2]}\n  ]\n}"), std::string::npos)
        << r.out;

    r = run({"send", table, "--port", "0", "--no-firmware"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("S01 appears in tracks 1 and 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_TRUE(portTraffic().empty());

    EXPECT_EQ(run({"send", table, "--port", "0", "--bank", "S01"}).status, 0);
    r = run({"send", table, "--no-firmware", "--dry-run", "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("total: 31 banks"), std::string::npos) << r.out;
}

// Slots answer to their labels however they are written, and to numbers.
TEST_F(CliTest, SlotNamesInAnySpelling)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "12"}).status, 0);
    const std::vector<std::pair<std::string, int>> spellings{
        {"open hi hat", 0}, {"Closed-Hi-Hat", 1}, {"  clap ", 2}, {"RIM_SHOT", 3}, {"5", 4}, {"ride", 5}};
    for (const auto& [spelling, slot] : spellings) {
        const Result r = run({"rename", bankFile, "--bank", "S12", "--slot", spelling, "n" + std::to_string(slot)});
        ASSERT_EQ(r.status, 0) << spelling << ": " << r.err;
    }
    const Result r = run({"show", bankFile, "--json"});
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_NE(r.out.find("\"slot\": " + std::to_string(slot + 1) + ", \"label\": \"" +
                             std::string(kSlotLabels[slot]) + "\", \"name\": \"n" + std::to_string(slot) + "\""),
                  std::string::npos)
            << r.out;
}

// Names are Latin-1 bytes, as bank files store them; the tool speaks UTF-8.
// --json gives every name back exactly, whatever it holds.
TEST_F(CliTest, NamesAreLatin1)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "FIRMWARE"}).status, 0);
    ASSERT_EQ(run({"rename", bankFile, "Quote \" back\\ tab\t caf\xC3\xA9"}).status, 0);
    // Stored as the two bytes C3 A9, which must not read back as one é.
    ASSERT_EQ(run({"rename", bankFile, "--slot", "os", "\xC3\x83\xC2\xA9\x07"}).status, 0);
    CFirmware stored;
    WrapperKtMidiFile file;
    ASSERT_TRUE(file.openBank(stored, bankFile));
    EXPECT_EQ(stored.getName(), "Quote \" back\\ tab\t caf\xE9");
    EXPECT_EQ(stored.getContentName(1), "\xC3\xA9\x07");

    Result r = run({"show", bankFile, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
#ifndef _WIN32 // the JSON is read back by Debian's python3, which does not run under wine
    std::ofstream(path("show.json"), std::ios::binary) << r.out;
    const std::string check =
        "import json,sys; d=json.load(open(sys.argv[1], encoding=\"utf-8\")); b=d[\"banks\"][0]; "
        "assert b[\"bank\"]==\"FIRMWARE\" and b[\"kind\"]==\"firmware\", b; "
        "assert b[\"name\"]==\"Quote \\\" back\\\\ tab\\t caf\\u00e9\", b[\"name\"]; "
        "assert b[\"contents\"][1][\"name\"]==\"\\u00c3\\u00a9\\u0007\", b[\"contents\"]";
    const Result checked = runProcess("/usr/bin/python3", {"-c", check, path("show.json")});
    EXPECT_EQ(checked.status, 0) << r.out << checked.err;
#endif

    // Plain show: the same text, control characters and backslashes escaped.
    r = run({"show", bankFile});
    EXPECT_NE(r.out.find("FIRMWARE  Quote \" back\\\\ tab\\x09 caf\xC3\xA9  ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OS              \xC3\x83\xC2\xA9\\x07  ("), std::string::npos) << r.out;

    // A name taken from a file name keeps what Latin-1 holds.
    const std::string kit = path("kit.mid");
    ASSERT_EQ(run({"new", kit, "--bank", "S05"}).status, 0);
    const std::string raw = path("caf\xC3\xA9 \xE2\x82\xAC.raw");
    std::ofstream(pathFromUtf8(raw), std::ios::binary) << std::string(64, '\x10');
    ASSERT_EQ(run({"import", kit, "--slot", "clap", raw}).status, 0);
    EXPECT_EQ(readSoundBank(kit)->getContentName(2), "caf\xE9 ?.raw");
}

// Two saves of the same file must not lose either change: each command
// holds a lock while it reads, changes and saves the file.
TEST_F(CliTest, ConcurrentChangesAreAllKept)
{
    const std::string bankFile = path("bank.mid");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S05"}).status, 0);
    for (int round = 0; round < 8; ++round) {
        std::vector<StartedProcess> running;
        for (int slot = 1; slot <= 3; ++slot)
            running.push_back(start({"rename", bankFile, "--slot", std::to_string(slot),
                                     "r" + std::to_string(round) + "s" + std::to_string(slot)}));
        for (auto& process : running) EXPECT_EQ(process.wait(), 0);
        const auto bank = readSoundBank(bankFile);
        ASSERT_TRUE(bank);
        for (std::uint16_t slot = 0; slot < 3; ++slot)
            EXPECT_EQ(bank->getContentName(slot), "r" + std::to_string(round) + "s" + std::to_string(slot + 1))
                << "round " << round;
    }
}

// Stopped in the middle of a save, the tool removes its temporary file and
// dies by the signal; the file is the old one or the new one.
TEST_F(CliTest, StoppedSaveLeavesNoTemporaryFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no SIGINT or SIGTERM that one process sends another";
#else
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    const auto isTemporary = [](const fs::path& p) { return p.extension() == ".tmp"; };
    for (const int signal : {SIGINT, SIGTERM}) {
        bool stopped = false;
        // A save that ends before the signal arrives is tried again.
        for (int attempt = 0; attempt < 5 && !stopped; ++attempt) {
            StartedProcess process = start({"rename", table, "--bank", "S01", "Stopped"});
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            bool saving = false;
            while (!saving && std::chrono::steady_clock::now() < deadline) {
                for (const auto& entry : fs::directory_iterator(m_dir)) saving = saving || isTemporary(entry.path());
                if (!saving) std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ASSERT_TRUE(saving) << "no save started";
            kill(process.pid(), signal);
            const int status = process.waitRaw();
            stopped = WIFSIGNALED(status) && WTERMSIG(status) == signal;
            for (const auto& entry : fs::directory_iterator(m_dir))
                EXPECT_FALSE(isTemporary(entry.path())) << entry.path();
            EXPECT_EQ(run({"show", table}).status, 0);
        }
        EXPECT_TRUE(stopped) << "signal " << signal;
    }
#endif
}

// A read-only file is replaced only with --force, and stays read-only.
TEST_F(CliTest, ReadOnlyFilesNeedForce)
{
    const std::string bankFile = path("bank.mid");
    const std::string wav = path("clap.wav");
    ASSERT_EQ(run({"new", bankFile, "--bank", "S05"}).status, 0);
    ASSERT_EQ(run({"export", bankFile, "--slot", "clap", wav}).status, 0);
    for (const auto& file : {bankFile, wav}) fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    const auto wavBefore = readBytes(wav);

    const std::vector<std::vector<std::string>> changes{{"rename", bankFile, "Kit"},
                                                        {"import", bankFile, "--slot", "clap", wav},
                                                        {"export", bankFile, "--slot", "ride", wav}};
    for (auto args : changes) {
        const auto bankBefore = readBytes(bankFile);
        const auto wavNow = readBytes(wav);
        const Result r = run(args);
        EXPECT_EQ(r.status, 1) << args.front();
        EXPECT_NE(r.err.find("is read-only. Give --force to replace it."), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(bankFile), bankBefore);
        EXPECT_EQ(readBytes(wav), wavNow);
        args.push_back("--force");
        EXPECT_EQ(run(args).status, 0) << args.front();
    }
    EXPECT_EQ(run({"new", bankFile, "--bank", "S05", "--force"}).status, 0);
    EXPECT_NE(readBytes(wav), wavBefore);
    for (const auto& file : {bankFile, wav})
#ifdef _WIN32 // a read-only flag, not mode bits
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none) << file;
#else
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read) << file;
#endif
}

// The command that the summary prints to send the rest, as arguments.
std::vector<std::string> resumeArguments(const std::string& err)
{
    const std::string tag = "to send the rest: varno414 ";
    const auto at = err.find(tag);
    if (at == std::string::npos) return {};
    std::istringstream words(err.substr(at + tag.size(), err.find('\n', at) - at - tag.size()));
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

#ifndef _WIN32
// Sends the signal and waits until the process has taken it from its pending
// set, so that a second one is counted apart rather than merged into it.
bool signalHandled(pid_t pid, int signal)
{
    if (kill(pid, signal) != 0) return false;
    const unsigned long bit = 1ul << (signal - 1);
    for (int i = 0; i < 30000; ++i) {
        std::istringstream status(readText("/proc/" + std::to_string(pid) + "/status"));
        unsigned long pending = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0)
                pending |= std::stoul(line.substr(7), nullptr, 16);
        if ((pending & bit) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
#endif

// Ctrl-C finishes the bank in flight and says how to send the rest; a second
// one stops after the message in flight and names the bank left incomplete.
TEST_F(CliTest, SignalsStopTheSendAtASafePoint)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no SIGINT that one process sends another";
#else
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    const std::vector<std::string> send{"send", table, "--port", "0", "--no-firmware", "--from", "S10"};

    // Held in S11's pause before its third message, the send gets the signal
    // there whatever the machine's speed.
    StartedProcess first = start(send, 0, 6);
    ASSERT_TRUE(waitForHold()) << "bank S11 never reached its third message";
    ASSERT_TRUE(signalHandled(first.pid(), SIGINT));
    releaseHold();
    Result r = finish(first);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(r.out, "sent S10 (S10)\nsent S11 (S11)\n");
    EXPECT_NE(r.err.find("stopped: 2 of 22 banks were sent."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not sent: S12 to S31 (20 banks, about 35:34)"), std::string::npos) << r.err;
    EXPECT_EQ(resumeArguments(r.err),
              (std::vector<std::string>{"send", table, "--port", "0", "--no-firmware", "--from", "S12"}));
    EXPECT_EQ(sysexSent().size(), 8u) << "both banks whole, nothing after them";
    EXPECT_EQ(readText(m_log).substr(readText(m_log).size() - 15), "close output 0\n");

    // The second signal ends the hold itself: the send stops there.
    fs::remove(m_log);
    fs::remove(m_log.string() + ".release");
    StartedProcess second = start(send, 0, 6);
    ASSERT_TRUE(waitForHold());
    ASSERT_TRUE(signalHandled(second.pid(), SIGINT));
    ASSERT_TRUE(signalHandled(second.pid(), SIGINT));
    r = finish(second);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("bank S11 (S11) is incomplete"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("must be sent again"), std::string::npos) << r.err;
    EXPECT_EQ(resumeArguments(r.err).back(), "S11") << r.err;
    EXPECT_EQ(sysexSent().size(), 6u);

    // A reader of the "sent" lines that has gone away does not cut it short either.
    fs::remove(m_log);
    const auto quoted = [](const std::string& word) {
        std::string q = "'";
        for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    const std::string piped = "VARNO414_MIDI_RECORDING=" + quoted(m_log.string()) + " " + quoted(VARNO414_EXE) +
                              " send " + quoted(table) + " --port 0 --no-firmware --from S30 --quiet | true";
    EXPECT_EQ(std::system(piped.c_str()), 0);
    EXPECT_EQ(sysexSent().size(), 8u);
#endif
}

// Started with SIGINT ignored, as a background job is, the send and a save
// both ignore it still.
TEST_F(CliTest, SigintIgnoredAtStartStaysIgnored)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no SIGINT that one process sends another";
#else
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    const auto previous = std::signal(SIGINT, SIG_IGN); // inherited by the child
    StartedProcess send = start({"send", table, "--port", "0", "--no-firmware", "--from", "S29"}, 0, 6);
    std::signal(SIGINT, previous);
    ASSERT_TRUE(waitForHold());
    ASSERT_TRUE(signalHandled(send.pid(), SIGINT));
    releaseHold();
    const Result r = finish(send);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent S29 (S29)\nsent S30 (S30)\nsent S31 (S31)\n");
#endif
}

// A port that fails part-way: the summary's command resumes at the bank
// that was not sent completely.
TEST_F(CliTest, FailedSendResumesFromTheFirstBankNotSent)
{
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    Result r = run({"send", table, "--port", "0", "--channel", "2", "--no-firmware", "--from", "S29", "--quiet"},
                   {{"VARNO414_MIDI_RECORDING_FAIL_FROM", "6"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "sent S29 (S29)\n");
    EXPECT_NE(r.err.find("sending bank S30 (S30) to port 0 failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bank S30 (S30) is incomplete"), std::string::npos) << r.err;

    const auto resume = resumeArguments(r.err);
    ASSERT_EQ(resume, (std::vector<std::string>{"send", table, "--port", "0", "--channel", "2", "--no-firmware",
                                                "--from", "S30"}));
    fs::remove(m_log);
    r = run(resume);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent S30 (S30)\nsent S31 (S31)\n");
    EXPECT_EQ(sysexSent().front(), "sysex 6 F0 31 0D 79 3A F7");
}

// Chosen banks go in index order; --changed then sends only what differs
// from the journal, and --forget makes it send everything again.
TEST_F(CliTest, ChangedSendsOnlyWhatDiffersFromTheJournal)
{
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    Result r = run({"send", table, "--port", "0", "--bank", "S12,s3", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent S03 (S03 - factory -)\nsent S12 (S12)\n");
    const std::string tone = path("tone.wav");
    audiotest::writeFile(tone, audiotest::wav(1, 33000, 8, ::tone(33000, 0.1)));
    ASSERT_EQ(run({"import", table, "--bank", "S12", "--slot", "RIDE", tone}).status, 0);

    fs::remove(m_log);
    r = run({"send", table, "--port", "0", "--bank", "S03,S05,S12", "--changed", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find(" on ")),
              "S05 (whole bank), S12 (CRASH and RIDE): 3 blocks, about 2:42. 1 bank matches what this computer last "
              "sent to Recording MIDI Out 1");
    EXPECT_EQ(sysexSent().size(), 6u);
    EXPECT_EQ(sysexSent()[4], "sysex 6 F0 31 0D 79 17 F7") << "the second block of S12 only";

    fs::remove(m_log);
    r = run({"send", table, "--port", "0", "--bank", "S03,S05,S12", "--changed"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Nothing to send: all 3 banks match", 0), 0u) << r.out;
    EXPECT_TRUE(sysexSent().empty());
    r = run({"send", "--forget", "--port", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"send", table, "--port", "0", "--bank", "S03", "--changed", "--dry-run"});
    EXPECT_NE(r.out.find("has no record of sending to Recording MIDI Out 1"), std::string::npos) << r.out;
}

// Two tools sending at once to one port must keep each other's records:
// each reads, changes and saves the journal under its lock.
TEST_F(CliTest, TwoSendsAtOnceKeepEveryJournalRecord)
{
    const std::string table = path("all.mid");
    ASSERT_EQ(run({"new", table}).status, 0);
    std::vector<StartedProcess> running;
    for (const char* banks : {"S01,S02,S03,S04", "S05,S06,S07,S08"})
        running.push_back(StartedProcess(VARNO414_EXE, {"send", table, "--port", "0", "--bank", banks, "--quiet"},
                                         {{kRecordingVariable, (m_dir / (std::string(banks) + ".log")).string()}},
                                         m_dir / (std::string(banks) + ".out"), m_dir / (std::string(banks) + ".err")));
    for (auto& process : running) EXPECT_EQ(process.wait(), 0);
    const std::string journal = journalText();
    for (int block = 0; block < 16; ++block)
        EXPECT_NE(journal.find("\nblock " + std::to_string(block) + " "), std::string::npos) << block << journal;
    EXPECT_EQ(journal.find(" unknown "), std::string::npos) << journal;
}

// The exit status tells a script whether the interface can carry banks.
TEST_F(CliTest, TestInterfaceExitsByVerdict)
{
    Result r = run({"test-interface", "--port", "0", "--in", "0", "--quick"},
                   {{kRecordingLoopbackVariable, "echo"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("This interface carried 4,096 of 4,096 bytes correctly"), std::string::npos) << r.out;

    r = run({"test-interface", "--port", "0", "--in", "0"}, {{kRecordingLoopbackVariable, "drop-every=255"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Lost 514 of 131,078 bytes, every 255th"), std::string::npos) << r.out;

    r = run({"test-interface", "--port", "0", "--in", "0"}, {{kRecordingLoopbackVariable, "silent"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Nothing came back on Recording MIDI In 1"), std::string::npos) << r.out;

    EXPECT_EQ(run({"test-interface", "--port", "0", "--in", "1"}, {{kRecordingLoopbackVariable, "echo"}}).status, 2);
    EXPECT_EQ(run({"test-interface", "--port", "0"}).status, 2);
}

TEST_F(CliTest, HelpAndUsage)
{
    for (const std::string command : {"ports", "new", "show", "import", "rename", "export", "send", "test-interface"}) {
        const Result r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind("usage: varno414 " + command, 0), 0u) << r.out;
    }
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_EQ(run({"--version"}).out.rfind(std::string("varno414 ") + kVarnoVersion, 0), 0u);
    EXPECT_EQ(run({}).status, 2);
    const Result r = run({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(run({"show"}).status, 2);

    const Result ports = run({"ports"});
    EXPECT_EQ(ports.status, 0);
    EXPECT_EQ(ports.out.rfind("0: ", 0), 0u) << ports.out;
}

// The manual page is written by hand: each command's entry must name the
// command and every option that its help names.
TEST_F(CliTest, ManualPageCoversTheHelp)
{
    std::string page = readText(VARNO414_MANUAL);
    // troff writes a hyphen as \- and switches fonts with \fB, \fI and \fR.
    for (const std::string escape : {"\\-", "\\fB", "\\fI", "\\fR"})
        for (auto at = page.find(escape); at != std::string::npos; at = page.find(escape, at))
            page.replace(at, escape.size(), escape == "\\-" ? "-" : "");
    const auto optionsOf = [](const std::string& help) {
        std::vector<std::string> options;
        for (auto at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
            auto end = at + 2;
            while (end < help.size() && (std::islower(static_cast<unsigned char>(help[end])) || help[end] == '-'))
                ++end;
            options.push_back(help.substr(at, end - at));
        }
        return options;
    };

    // The commands are the first words of the lines after "Commands:".
    const std::string overview = run({"--help"}).out;
    std::istringstream lines(overview.substr(overview.find("Commands:")));
    std::vector<std::string> commands;
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0)
        commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    ASSERT_GE(commands.size(), 7u) << overview;
    for (const auto& option : optionsOf(overview)) EXPECT_NE(page.find(option), std::string::npos) << option;

    const std::string entry = ".TP\nvarno414 ";
    for (const auto& command : commands) {
        const auto from = std::min(page.find(entry + command + " "), page.find(entry + command + "\n"));
        ASSERT_NE(from, std::string::npos) << command;
        const std::string section = page.substr(from, page.find(entry, from + 1) - from);
        for (const auto& option : optionsOf(run({command, "--help"}).out))
            EXPECT_NE(section.find(option), std::string::npos) << command << " " << option;
    }
}

// Names outside ASCII reach the file system intact (on Windows only through
// the wide-character file API).
TEST_F(CliTest, NamesOutsideAscii)
{
    const std::string folder = path("B\u00e4nke \u2713");
    ASSERT_TRUE(fs::create_directory(pathFromUtf8(folder)));
    const std::string bankFile = folder + "/Kit N\u00ba 5 \u97f3.mid";
    const std::string sample = folder + "/T\u00f6n.wav";
    audiotest::writeFile(sample, audiotest::wav(1, 33000, 8, ::tone(33000, 0.1)));

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"new", bankFile, "--bank", "S05"},
             {"import", bankFile, "--slot", "clap", sample},
             {"show", bankFile},
             {"export", bankFile, "--slot", "clap", folder + "/Klatsch \u00fc.wav"},
             {"export", bankFile, "--all", folder + "/\u00dcbrige"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 0) << args.front() << ": " << r.err;
    }
    EXPECT_EQ(wavData(pathFromUtf8(folder + "/Klatsch \u00fc.wav")).size(), 0x6000u);
    EXPECT_TRUE(fs::is_regular_file(pathFromUtf8(folder + "/\u00dcbrige/S05_3_CLAP.wav")));
}

} // namespace
