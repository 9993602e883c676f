#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class KtAudioFileReader;

// Where an import starts in its file.
struct ImportOptions {
    double startSeconds = 0.0; // 0 or more
};

// What one import into a slot did: everything the window's status line and
// the tool's message tell about it.
struct ImportResult {
    enum class Kind : std::uint8_t {
        Converted,      // decoded audio, converted to the slot's format
        Raw,            // not an audio file: its bytes taken as they are
        Stored,         // a content that is no sample slot took the file
        Refused,        // an audio container that nothing here decodes
        Unreadable,     // nothing came from the file
        StartBeyondEnd, // the start lies at or after the file's end
    };
    Kind kind = Kind::Unreadable;
    bool fallback = false;        // decoded by the fallback decoder, not our own reader
    std::string decoder{};        // what was decoded: "WAV", "AIFF", "FLAC", "WAV (32-bit float)"
    double sourceSeconds = 0.0;   // the whole file (raw bytes count at the slot's rate)
    double startSeconds = 0.0;    // where the import started
    double usedSeconds = 0.0;     // the part of the slot the file filled
    double capacitySeconds = 0.0; // the slot
    bool cut = false;             // the file, from the start on, was longer than the slot
    std::string reason{};         // why nothing was imported, one sentence

    bool imported() const { return kind == Kind::Converted || kind == Kind::Raw || kind == Kind::Stored; }
};

// The one line that tells the user what an import did, for example
// "clap.wav: 0.74 s of 2.50 s used (cut to fit the slot)".
std::string describeImport(std::string_view fileName, const ImportResult& result);

// How an import would take a file. The window and the tool ask before
// importing and refuse a Refused file with "Wrong File Format".
enum class ImportRoute : std::uint8_t {
    Reader,     // our own WAV/AIFF reader
    Fallback,   // the fallback decoder
    Raw,        // not an audio file: raw bytes
    Refused,    // a known audio container that neither decodes
    Unreadable, // cannot be opened, or a PCM file whose samples cannot be read
};
struct ImportCheck {
    ImportRoute route = ImportRoute::Unreadable;
    std::string reason; // our reader's sentence when it does not decode the file
    bool refused() const { return route == ImportRoute::Refused; }
};
ImportCheck checkImport(const std::string& path);

// The slot import: fills the slot (its size kept) from the reader's file,
// converted to the machine's format and faded at its end; leaves it as it was
// when nothing is imported.
ImportResult importIntoSlot(KtAudioFileReader& reader, std::vector<std::uint8_t>& slot, const ImportOptions& options);
