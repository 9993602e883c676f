#pragma once

#include "midifile/bankfileerror.h"
#include "midifile/ktmidifilereader.h"
#include "midifile/ktmidifilewriter.h"
#include "midifile/safefilewriter.h"
#include "model/bank.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Saves banks as Standard MIDI Files and opens them again. A bank file holds
// one track per bank: the bank name (FF 03), the instrument name (FF 04),
// the content names (FF 7F), then the bank's four transfer messages with the
// pauses of a transfer, so any MIDI file player can send it to the machine.
class WrapperKtMidiFile {
public:
    WrapperKtMidiFile() = default;
    WrapperKtMidiFile(const WrapperKtMidiFile&) = delete;
    WrapperKtMidiFile& operator=(const WrapperKtMidiFile&) = delete;
    virtual ~WrapperKtMidiFile();

    // Writes the file safely (SafeFileWriter): on false the old file is
    // untouched.
    bool saveBank(IBank& bank, const std::string& path);
    bool saveBanks(std::span<IBank* const> banks, const std::string& path);
    // True when the file holds exactly one track and it gave the bank its
    // data. On false the bank may have been changed partly: discard it.
    bool openBank(IBank& bank, const std::string& path);
    // The same for a file of exactly count tracks, read into banks[0..count).
    bool openBanks(std::span<IBank* const> banks, std::size_t count, const std::string& path);
    // The same over a file's bytes, which name stands for in the errors.
    bool openBank(IBank& bank, std::span<const std::uint8_t> bytes, const std::string& name);
    bool openBanks(std::span<IBank* const> banks, std::size_t count, std::span<const std::uint8_t> bytes,
                   const std::string& name);

    // Why the last operation answered false: its kind and what it names.
    const BankFileResult& lastResult() const { return m_lastError; }
    // The same as one sentence for the user.
    std::string lastError() const { return m_lastError.reason(); }
    // Replacing a read-only file is refused unless these allow it.
    void setWriteOptions(const SafeWriteOptions& options) { m_writeOptions = options; }

private:
    bool writeFile(std::span<IBank* const> banks, const std::string& path);
    bool writeTrack(IBank& bank);
    bool readFile(std::span<IBank* const> banks, std::unique_ptr<KtMidiFileReader> reader, const std::string& path);
    BankFileError readTrack(IBank& bank);

    std::unique_ptr<KtMidiFileReader> m_reader;
    std::unique_ptr<KtMidiFileWriter> m_writer;
    double m_leadIn = 0.0;
    BankFileResult m_lastError;
    SafeWriteOptions m_writeOptions;
};
