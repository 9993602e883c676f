#pragma once

#include "midifile/safefilewriter.h"
#include "model/bank.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// A bank file as the tool works on it: the banks it holds and whether it is
// a one-bank file or a file of the whole table, so it is saved back the way
// it was found.
class BankDocument {
public:
    // Factory content: one bank (index 0 to 31) or, without an index, all 32.
    static BankDocument factory(std::optional<std::uint16_t> index);
    // Reads a bank file; nullopt with a one-sentence error.
    static std::optional<BankDocument> open(const std::string& path, std::string& error);

    // Writes the file atomically; on false the old file is left as it was.
    bool save(const std::string& path, std::string& error, const SafeWriteOptions& options = {});

    std::vector<std::unique_ptr<IBank>>& banks() { return m_banks; }
    const std::vector<std::unique_ptr<IBank>>& banks() const { return m_banks; }
    bool isWholeTable() const { return m_wholeTable; }

    // The bank that a --bank value names, or the only bank when none is
    // given; null with a one-sentence error.
    IBank* select(const std::string& path, const std::optional<std::string>& bankArg, std::string& error);

private:
    std::vector<std::unique_ptr<IBank>> m_banks;
    bool m_wholeTable = false;
};

} // namespace cli
