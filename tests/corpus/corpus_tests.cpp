// Walks tests/corpus: every file in valid/ must open, every file in
// invalid/<reason>/ must be refused with the error kind its folder names,
// and each reader must say the same from the file as from its bytes in memory.
// make_corpus.sh regenerates the files.
#include "audio/ktaudiofilereader.h"
#include "midifile/bankdocument.h"
#include "midifile/ktmidifilereader.h"
#include "midifile/midievent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

// Failures name the kind in words.
void PrintTo(AudioError error, std::ostream* out)
{
    *out << '"' << audioErrorText(error) << '"';
}
void PrintTo(SmfError error, std::ostream* out)
{
    *out << '"' << smfErrorText(error) << '"';
}

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kCorpus = VARNO_CORPUS_DIR;

const std::map<std::string, AudioError> kAudioReasons{
    {"other IFF form", AudioError::OtherForm},
    {"AIFF-C", AudioError::Aifc},
    {"IEEE float", AudioError::IeeeFloat},
    {"A-law", AudioError::ALaw},
    {"mu-law", AudioError::MuLaw},
    {"compressed WAV", AudioError::OtherWavEncoding},
    {"extensible not PCM", AudioError::ExtensibleNotPcm},
    {"no fmt chunk", AudioError::NoFmt},
    {"truncated fmt chunk", AudioError::TruncatedFmt},
    {"no COMM chunk", AudioError::NoComm},
    {"truncated COMM chunk", AudioError::TruncatedComm},
    {"no channels", AudioError::NoChannels},
    {"bit depth 0 or above 32", AudioError::BadBitDepth},
    {"unusable sample rate", AudioError::BadSampleRate},
    {"no data chunk", AudioError::NoData},
    {"no SSND chunk", AudioError::NoSsnd},
    {"no samples", AudioError::NoSamples},
};

const std::map<std::string, SmfError> kMidiReasons{
    {"no MThd", SmfError::NoHeader},
    {"division 0", SmfError::BadDivision},
    {"no MTrk", SmfError::NoTrack},
    {"track longer than the file", SmfError::TrackPastEnd},
    {"event past the end", SmfError::EventPastEnd},
    {"sysex without F7", SmfError::SysexWithoutEox},
    {"no end of track", SmfError::NoEndOfTrack},
};

// Bank-level reasons: readable Standard MIDI Files that are not bank files of
// the right shape. A file whose firmware bank holds sound data needs a whole
// table of full-size block messages (megabytes), so that case stays with the
// crafted bank files that tests/support builds at run time.
const std::map<std::string, BankFileError> kBankReasons{
    {"wrong track count", BankFileError::TrackCount},
};

Bytes readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> sortedEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isMidiFile(const fs::path& path)
{
    return path.extension() == ".mid";
}

// Reads every track as the bank reader does and returns why it stopped.
SmfError walk(KtMidiFileReader&& reader)
{
    bool complete = reader.isValid() && reader.trackCount() > 0;
    for (std::uint16_t t = 0; complete && t < reader.trackCount(); ++t) {
        complete = reader.readTrackHeader();
        std::uint8_t type = 0;
        buffer meta;
        while (complete && reader.readMeta(type, meta)) {
        }
        midi::event event;
        double seconds = 0;
        while (complete && reader.readEvent(event, seconds)) {
        }
        complete = complete && reader.readEndOfTrack();
    }
    EXPECT_EQ(complete, reader.error() == SmfError::None);
    return reader.error();
}

struct AudioResult {
    AudioError error;
    bool pcm;
    Bytes samples;
};

AudioResult readAudio(KtAudioFileReader&& reader)
{
    audio::sample sample;
    reader.readSample(sample, 0);
    return {reader.error(), reader.isPcm(), sample.bytes()};
}

TEST(Corpus, ValidFilesOpenFromFileAndFromMemory)
{
    int count = 0;
    for (const fs::path& path : sortedEntries(kCorpus / "valid")) {
        SCOPED_TRACE(path.filename().string());
        const Bytes bytes = readAll(path);
        ++count;
        if (isMidiFile(path)) {
            EXPECT_EQ(walk(KtMidiFileReader(path.string())), SmfError::None);
            EXPECT_EQ(walk(KtMidiFileReader(bytes)), SmfError::None);
            continue;
        }
        const AudioResult fromFile = readAudio(KtAudioFileReader(path.string()));
        const AudioResult fromMemory = readAudio(KtAudioFileReader(bytes));
        EXPECT_EQ(fromFile.error, AudioError::None);
        EXPECT_TRUE(fromFile.pcm);
        EXPECT_FALSE(fromFile.samples.empty());
        EXPECT_EQ(fromMemory.error, fromFile.error);
        EXPECT_EQ(fromMemory.samples, fromFile.samples);
    }
    EXPECT_GE(count, 10);
}

TEST(Corpus, InvalidFilesAreRefusedForTheirReason)
{
    std::map<std::string, int> seen;
    for (const fs::path& folder : sortedEntries(kCorpus / "invalid")) {
        const std::string reason = folder.filename().string();
        for (const fs::path& path : sortedEntries(folder)) {
            SCOPED_TRACE(reason + "/" + path.filename().string());
            const Bytes bytes = readAll(path);
            ++seen[reason];
            if (const auto audio = kAudioReasons.find(reason); audio != kAudioReasons.end()) {
                const AudioResult fromFile = readAudio(KtAudioFileReader(path.string()));
                const AudioResult fromMemory = readAudio(KtAudioFileReader(bytes));
                EXPECT_EQ(fromFile.error, audio->second);
                EXPECT_EQ(fromMemory.error, audio->second);
                // Refused: "Wrong File Format", or no samples at all.
                EXPECT_TRUE(!fromFile.pcm || fromFile.samples.empty());
            } else if (const auto midi = kMidiReasons.find(reason); midi != kMidiReasons.end()) {
                EXPECT_EQ(walk(KtMidiFileReader(path.string())), midi->second);
                EXPECT_EQ(walk(KtMidiFileReader(bytes)), midi->second);
            } else if (const auto bank = kBankReasons.find(reason); bank != kBankReasons.end()) {
                EXPECT_EQ(walk(KtMidiFileReader(bytes)), SmfError::None);
                BankFileResult result;
                EXPECT_FALSE(BankDocument::open(path.string(), result));
                EXPECT_EQ(result.kind, bank->second);
                EXPECT_FALSE(BankDocument::open(bytes, path.string(), result));
                EXPECT_EQ(result.kind, bank->second);
            } else {
                ADD_FAILURE() << "no error kind for the reason \"" << reason << "\"";
            }
        }
    }
    for (const auto& [reason, kind] : kAudioReasons) EXPECT_GT(seen[reason], 0) << "no file for " << reason;
    for (const auto& [reason, kind] : kMidiReasons) EXPECT_GT(seen[reason], 0) << "no file for " << reason;
    for (const auto& [reason, kind] : kBankReasons) EXPECT_GT(seen[reason], 0) << "no file for " << reason;
}

} // namespace
