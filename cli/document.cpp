#include "cli/document.h"

#include "cli/naming.h"
#include "midifile/utf8path.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <filesystem>
#include <system_error>

namespace cli {
namespace {

std::unique_ptr<IBank> factoryBank(std::uint16_t index)
{
    if (index < kSoundBankCount) return std::make_unique<CSound>(index);
    return std::make_unique<CFirmware>();
}

std::vector<IBank*> pointers(const std::vector<std::unique_ptr<IBank>>& banks)
{
    std::vector<IBank*> out;
    out.reserve(banks.size());
    for (const auto& bank : banks) out.push_back(bank.get());
    return out;
}

// Whether a bank read as firmware holds sound-bank block messages instead:
// full blocks addressed to a receive channel (20 | channel in byte 4), which
// the machine's own firmware messages never are.
bool holdsSoundBlocks(const IBank& bank)
{
    for (std::uint16_t i = 0; i < bank.getContentCount(); ++i) {
        const CContent* content = bank.content(i);
        if (content && content->getSize() == kBlockMessageSize && (content->getData()[4] & 0xF0u) == 0x20u) return true;
    }
    return false;
}

} // namespace

BankDocument BankDocument::factory(std::optional<std::uint16_t> index)
{
    BankDocument doc;
    if (index) {
        doc.m_banks.push_back(factoryBank(*index));
    } else {
        doc.m_wholeTable = true;
        for (std::uint16_t i = 0; i < kBankCount; ++i) doc.m_banks.push_back(factoryBank(i));
    }
    return doc;
}

std::optional<BankDocument> BankDocument::open(const std::string& path, std::string& error)
{
    std::error_code ec;
    const std::filesystem::path file = pathFromUtf8(path);
    if (!std::filesystem::exists(file, ec)) {
        error = "'" + path + "' does not exist.";
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(file, ec)) {
        error = "'" + path + "' is not a file.";
        return std::nullopt;
    }

    WrapperKtMidiFile midiFile;
    BankDocument doc;

    // A one-bank file holds a sound bank or the firmware bank, and the file
    // does not say which. The reader refuses either mix-up that would reach
    // the firmware blocks; of what is left, the firmware's two content names
    // tell its track from a sound bank's six.
    auto sound = std::make_unique<CSound>(0);
    const bool asSound = midiFile.openBank(*sound, path);
    if (asSound && sound->getContentNames().size() != kFirmwareContentCount) {
        doc.m_banks.push_back(std::move(sound));
        return doc;
    }
    auto firmware = std::make_unique<CFirmware>();
    if (midiFile.openBank(*firmware, path)) {
        if (firmware->getContentNames().size() == kFirmwareContentCount && !holdsSoundBlocks(*firmware)) {
            doc.m_banks.push_back(std::move(firmware));
            return doc;
        }
        // Sent as firmware, these would erase the firmware blocks and fill
        // them with something that is not firmware.
        error = "'" + path + "' is not a bank file: its bank is neither a sound bank nor the firmware bank.";
        return std::nullopt;
    }
    if (asSound) {
        doc.m_banks.push_back(std::move(sound));
        return doc;
    }
    const std::string oneBankError = midiFile.lastError();

    doc.m_banks.clear();
    for (std::uint16_t i = 0; i < kBankCount; ++i) doc.m_banks.push_back(factoryBank(i));
    const auto all = pointers(doc.m_banks);
    if (midiFile.openBanks(all, kBankCount, path)) {
        if (holdsSoundBlocks(*doc.m_banks.back())) {
            error = "'" + path + "' is not a bank file: its firmware bank holds sound data.";
            return std::nullopt;
        }
        doc.m_wholeTable = true;
        return doc;
    }
    // Tell why the file failed as the kind it seems to be: a file of one
    // track as one bank, any other as the whole table.
    const bool oneTrack = oneBankError.find("tracks, not 1.") == std::string::npos;
    std::string reason = oneTrack && !oneBankError.empty() ? oneBankError : midiFile.lastError();
    error = "'" + path + "' is not a bank file";
    error += reason.empty() ? std::string(".") : ": " + reason;
    if (error.back() != '.') error += '.';
    return std::nullopt;
}

bool BankDocument::save(const std::string& path, std::string& error)
{
    WrapperKtMidiFile midiFile;
    bool ok = false;
    if (!m_wholeTable && m_banks.size() == 1) {
        ok = midiFile.saveBank(*m_banks.front(), path);
    } else {
        const auto all = pointers(m_banks);
        ok = midiFile.saveBanks(all, path);
    }
    if (!ok) {
        error = "cannot write '" + path + "'";
        error += midiFile.lastError().empty() ? std::string(".") : ": " + midiFile.lastError();
        if (error.back() != '.') error += '.';
    }
    return ok;
}

IBank* BankDocument::select(const std::string& path, const std::optional<std::string>& bankArg, std::string& error)
{
    if (!bankArg) {
        if (m_banks.size() == 1) return m_banks.front().get();
        error = "'" + path + "' holds " + std::to_string(m_banks.size()) +
                " banks: choose one with --bank (S01 to S31 or FIRMWARE).";
        return nullptr;
    }
    const auto index = parseBank(*bankArg);
    if (!index) {
        error = "there is no bank '" + *bankArg + "': banks are S01 to S31 and FIRMWARE.";
        return nullptr;
    }
    for (const auto& bank : m_banks)
        if (bank->getIndex() == *index) return bank.get();
    error = "'" + path + "' holds no bank " + bankTag(*index);
    if (m_banks.size() == 1) error += " (it holds " + bankTag(m_banks.front()->getIndex()) + ")";
    error += ".";
    return nullptr;
}

} // namespace cli
