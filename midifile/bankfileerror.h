#pragma once

#include "midifile/safefilewriter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// Why opening or saving a bank file failed. The code decides by the kind;
// the user reads the sentence that the one message table makes of it.
enum class BankFileError : std::uint8_t {
    None,
    // Opening
    NoBanksToOpenInto,
    NotFound,
    NotAFile,
    CannotOpen,
    NotMidiFile,
    TrackCount,
    UnreadableTrack,
    FirmwareHoldsSoundData,
    NeitherBankKind,
    // Saving
    NoBankToSave,
    WouldOverwriteFirmware,
    MessageTooLong,
    WriteFailed, // the file itself could not be written: see write and detail
};

// A kind with what the sentence names: the file, a track, a bank.
struct BankFileResult {
    BankFileResult() = default;
    BankFileResult(BankFileError errorKind, std::string file) : kind(errorKind), path(std::move(file)) {}

    BankFileError kind = BankFileError::None;
    std::string path;
    std::size_t track = 0;    // counted from 1
    std::size_t tracks = 0;   // the file's track count
    std::size_t expected = 0; // the track count asked for
    std::string bank;         // a bank's name
    std::string detail;       // a further sentence, such as why a write failed
    SafeWriteError write = SafeWriteError::None; // how writing the file failed

    bool ok() const { return kind == BankFileError::None; }
    // What went wrong, in one or two sentences ("Track 3 of "x.mid" is not a
    // readable bank."); empty when nothing did.
    std::string reason() const;
    // The whole sentence for the command line: the reason, introduced by
    // what could not be done with the file ("'x.mid' is not a bank file: ...").
    std::string sentence() const;
};
