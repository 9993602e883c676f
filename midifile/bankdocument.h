#pragma once

#include "midifile/bankfileerror.h"
#include "model/bank.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// A bank that a table holds in more than one track.
struct DuplicateBank {
    std::uint16_t index = 0;
    std::vector<std::size_t> tracks; // counted from 1, ascending

    // "S01 appears in tracks 1 and 2"
    std::string sentence() const;
};

// The duplicates in one sentence: "S01 appears in tracks 1 and 2; S05 ...".
std::string describeDuplicates(const std::vector<DuplicateBank>& duplicates);

// A bank file as the editor and the tool work on it: one bank (a sound bank
// or the firmware bank) or the whole table of 32, saved back the way it was
// found. It holds every rule about which files open, how they are saved and
// which of them may reach the machine's firmware blocks.
class BankDocument {
public:
    // Where an opened file may go in a table while one position is selected.
    enum class Placement : std::uint8_t {
        Refused,       // one bank of the other kind than the position
        WholeTable,    // every position
        SamePosition,  // one bank, numbered as the position
        OtherPosition, // one bank of another number: ask before it replaces the position's bank
    };

    // Factory content: one bank (index 0 to 31) or, without an index, all 32.
    static BankDocument factory(std::optional<std::uint16_t> index);
    static std::unique_ptr<IBank> factoryBank(std::uint16_t index);
    // Reads a bank file; nullopt with the reason in error.
    static std::optional<BankDocument> open(const std::string& path, BankFileResult& error);
    // The same over a file's bytes (they need not outlive the call); name
    // stands for the file in the errors.
    static std::optional<BankDocument> open(std::span<const std::uint8_t> bytes, const std::string& name,
                                            BankFileResult& error);

    // Writes the document as it was found, atomically; on false the old file
    // is left as it was.
    bool save(const std::string& path, BankFileResult& error, const SafeWriteOptions& options = {});
    // Writes the bank at one position alone, as a one-bank file.
    bool saveBank(std::size_t position, const std::string& path, BankFileResult& error,
                  const SafeWriteOptions& options = {});

    std::vector<std::unique_ptr<IBank>>& banks() { return m_banks; }
    const std::vector<std::unique_ptr<IBank>>& banks() const { return m_banks; }
    bool isWholeTable() const { return m_wholeTable; }

    // Banks held by more than one track (sending all of them would write
    // those banks twice and leave others out).
    std::vector<DuplicateBank> duplicates() const;

    // Where this opened document may go in a table whose position is selected.
    Placement placementAt(std::size_t position) const;
    // Takes what placementAt allows into this table: all banks, or the one
    // bank at the position, renumbered to it. Returns the banks it replaced
    // with their positions, so that a caller can put them back.
    std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>> takeFrom(BankDocument&& opened, std::size_t position);

private:
    struct Source;
    static std::optional<BankDocument> read(const Source& source, BankFileResult& error);

    std::vector<std::unique_ptr<IBank>> m_banks;
    bool m_wholeTable = false;
};
