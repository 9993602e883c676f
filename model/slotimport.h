#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class KtAudioFileReader;

// How an import shapes the sound on its way into a slot. Every member at its
// default gives the machine's classic conversion, byte for byte.
struct ImportOptions {
    enum class Quality : std::uint8_t {
        Classic, // linear interpolation, truncation toward zero
        Clean,   // band-limited resampling, rounding
    };
    double startSeconds = 0.0;               // 0 or more
    std::optional<double> endSeconds{};      // after the start; none: the file's end
    double gainDb = 0.0;                     // ignored when normalizing
    std::optional<double> normalizePeakDb{}; // the peak's level, 0 dBFS or below (0 dBFS is 127 steps)
    bool reverse = false;                    // the chosen part backwards
    double fadeInSeconds = 0.0;              // linear, from silence
    double fadeOutSeconds = 0.0;             // linear, to silence at the end of what the slot keeps
    bool removeDc = false;                   // the mean, then a high-pass near 10 Hz
    Quality quality = Quality::Classic;
    bool dither = false; // TPDF dither before rounding; clean only

    bool operator==(const ImportOptions&) const = default;
};

// Why the options cannot shape an import, one sentence; empty when they can.
std::string importOptionsProblem(const ImportOptions& options);

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
        BadOptions,     // the options contradict themselves (see reason)
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
    ImportOptions options{};      // what shaped the sound
    double gainDb = 0.0;          // the gain applied, normalizing included
    std::size_t clipped = 0;      // samples the gain drove past the 8-bit range

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
