#include "midifile/bankfileerror.h"

#include <array>
#include <string_view>

namespace {

// How the command line introduces a reason.
enum class Frame : std::uint8_t { None, NotABankFile, CannotWrite };

struct Entry {
    BankFileError kind;
    Frame frame;
    std::string_view text; // {path}, {track}, {tracks}, {expected} and {bank} are filled in
};

// The one message table, in the order of the enumeration.
constexpr std::array kMessages{
    Entry{BankFileError::None, Frame::None, ""},
    Entry{BankFileError::NoBanksToOpenInto, Frame::NotABankFile, "There are no banks to open the file into."},
    Entry{BankFileError::NotFound, Frame::None, "'{path}' does not exist."},
    Entry{BankFileError::NotAFile, Frame::None, "'{path}' is not a file."},
    Entry{BankFileError::CannotOpen, Frame::NotABankFile, "Cannot open \"{path}\"."},
    Entry{BankFileError::NotMidiFile, Frame::NotABankFile, "\"{path}\" is not a complete Standard MIDI File."},
    Entry{BankFileError::TrackCount, Frame::NotABankFile, "\"{path}\" holds {tracks} tracks, not {expected}."},
    Entry{BankFileError::UnreadableTrack, Frame::NotABankFile, "Track {track} of \"{path}\" is not a readable bank."},
    Entry{BankFileError::FirmwareHoldsSoundData, Frame::NotABankFile, "its firmware bank holds sound data."},
    Entry{BankFileError::NeitherBankKind, Frame::NotABankFile,
          "its bank is neither a sound bank nor the firmware bank."},
    Entry{BankFileError::NoBankToSave, Frame::CannotWrite, "There is no bank to save."},
    Entry{BankFileError::WouldOverwriteFirmware, Frame::CannotWrite,
          "Bank \"{bank}\" would overwrite the machine's firmware; nothing was saved."},
    Entry{BankFileError::MessageTooLong, Frame::CannotWrite,
          "A message of bank \"{bank}\" is too long for a MIDI file."},
    // The writer's own sentence, in detail, says what and why.
    Entry{BankFileError::WriteFailed, Frame::None, ""},
};

const Entry& entryOf(BankFileError kind)
{
    const auto at = static_cast<std::size_t>(kind);
    return at < kMessages.size() && kMessages[at].kind == kind ? kMessages[at] : kMessages[0];
}

std::string fill(std::string_view text, const BankFileResult& result)
{
    std::string out;
    while (!text.empty()) {
        const auto open = text.find('{');
        const auto close = text.find('}', open);
        if (open == std::string_view::npos || close == std::string_view::npos) break;
        out += text.substr(0, open);
        const std::string_view name = text.substr(open + 1, close - open - 1);
        if (name == "path")
            out += result.path;
        else if (name == "track")
            out += std::to_string(result.track);
        else if (name == "tracks")
            out += std::to_string(result.tracks);
        else if (name == "expected")
            out += std::to_string(result.expected);
        else if (name == "bank")
            out += result.bank;
        text.remove_prefix(close + 1);
    }
    out += text;
    return out;
}

} // namespace

std::string BankFileResult::reason() const
{
    std::string text = fill(entryOf(kind).text, *this);
    if (!detail.empty()) text += (text.empty() ? "" : " ") + detail;
    return text;
}

std::string BankFileResult::sentence() const
{
    switch (entryOf(kind).frame) {
    case Frame::NotABankFile:
        return "'" + path + "' is not a bank file: " + reason();
    case Frame::CannotWrite:
        return "cannot write '" + path + "': " + reason();
    case Frame::None:
        break;
    }
    return reason();
}
