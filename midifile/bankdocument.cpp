#include "midifile/bankdocument.h"

#include "midifile/utf8path.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <filesystem>
#include <map>
#include <system_error>

namespace {

std::vector<IBank*> pointers(const std::vector<std::unique_ptr<IBank>>& banks)
{
    std::vector<IBank*> out;
    out.reserve(banks.size());
    for (const auto& bank : banks) out.push_back(bank.get());
    return out;
}

bool isFirmwarePosition(std::size_t position)
{
    return position >= kSoundBankCount;
}

} // namespace

std::string DuplicateBank::sentence() const
{
    std::string text = bankTag(index) + " appears in tracks ";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (i > 0) text += i + 1 == tracks.size() ? " and " : ", ";
        text += std::to_string(tracks[i]);
    }
    return text;
}

std::string describeDuplicates(const std::vector<DuplicateBank>& duplicates)
{
    std::string text;
    for (const DuplicateBank& duplicate : duplicates) text += (text.empty() ? "" : "; ") + duplicate.sentence();
    return text;
}

std::unique_ptr<IBank> BankDocument::factoryBank(std::uint16_t index)
{
    if (index < kSoundBankCount) return std::make_unique<CSound>(index);
    return std::make_unique<CFirmware>();
}

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

// A file by its path, or its bytes.
struct BankDocument::Source {
    const std::string& name;
    std::optional<std::span<const std::uint8_t>> bytes;

    bool openBank(WrapperKtMidiFile& file, IBank& bank) const
    {
        return bytes ? file.openBank(bank, *bytes, name) : file.openBank(bank, name);
    }
    bool openBanks(WrapperKtMidiFile& file, std::span<IBank* const> banks) const
    {
        return bytes ? file.openBanks(banks, banks.size(), *bytes, name) : file.openBanks(banks, banks.size(), name);
    }
};

std::optional<BankDocument> BankDocument::open(const std::string& path, BankFileResult& error)
{
    error = {BankFileError::None, path};
    std::error_code ec;
    const std::filesystem::path file = pathFromUtf8(path);
    if (!std::filesystem::exists(file, ec)) {
        error.kind = BankFileError::NotFound;
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(file, ec)) {
        error.kind = BankFileError::NotAFile;
        return std::nullopt;
    }
    return read({path, std::nullopt}, error);
}

std::optional<BankDocument> BankDocument::open(std::span<const std::uint8_t> bytes, const std::string& name,
                                               BankFileResult& error)
{
    error = {BankFileError::None, name};
    return read({name, bytes}, error);
}

std::optional<BankDocument> BankDocument::read(const Source& source, BankFileResult& error)
{
    WrapperKtMidiFile midiFile;
    BankDocument doc;

    // A one-bank file holds a sound bank or the firmware bank, and the file
    // does not say which. The reader refuses either mix-up that would reach
    // the firmware blocks; of what is left, the firmware's two content names
    // tell its track from a sound bank's six.
    auto sound = std::make_unique<CSound>(0);
    const bool asSound = source.openBank(midiFile, *sound);
    if (asSound && sound->getContentNames().size() != kFirmwareContentCount) {
        doc.m_banks.push_back(std::move(sound));
        return doc;
    }
    auto firmware = std::make_unique<CFirmware>();
    if (source.openBank(midiFile, *firmware) && firmware->getContentNames().size() == kFirmwareContentCount) {
        doc.m_banks.push_back(std::move(firmware));
        return doc;
    }
    if (asSound) {
        doc.m_banks.push_back(std::move(sound));
        return doc;
    }
    const BankFileResult oneBank = midiFile.lastResult();
    if (oneBank.ok() || oneBank.kind == BankFileError::FirmwareHoldsSoundData) {
        // Sent as firmware, these would erase the firmware blocks and fill
        // them with something that is not firmware.
        error.kind = BankFileError::NeitherBankKind;
        return std::nullopt;
    }

    doc = factory(std::nullopt);
    if (source.openBanks(midiFile, pointers(doc.m_banks))) return doc;
    // Tell why the file failed as the kind it seems to be: a file of one
    // track as one bank, any other as the whole table.
    error = oneBank.kind == BankFileError::TrackCount ? midiFile.lastResult() : oneBank;
    return std::nullopt;
}

bool BankDocument::save(const std::string& path, BankFileResult& error, const SafeWriteOptions& options)
{
    WrapperKtMidiFile midiFile;
    midiFile.setWriteOptions(options);
    const bool ok = !m_wholeTable && m_banks.size() == 1 ? midiFile.saveBank(*m_banks.front(), path)
                                                         : midiFile.saveBanks(pointers(m_banks), path);
    error = midiFile.lastResult();
    return ok;
}

bool BankDocument::saveBank(std::size_t position, const std::string& path, BankFileResult& error,
                            const SafeWriteOptions& options)
{
    WrapperKtMidiFile midiFile;
    midiFile.setWriteOptions(options);
    std::vector<IBank*> one;
    if (position < m_banks.size()) one.push_back(m_banks[position].get());
    const bool ok = midiFile.saveBanks(one, path);
    error = midiFile.lastResult();
    return ok;
}

std::vector<DuplicateBank> BankDocument::duplicates() const
{
    std::map<std::uint16_t, std::vector<std::size_t>> tracksOf;
    for (std::size_t i = 0; i < m_banks.size(); ++i) tracksOf[m_banks[i]->getIndex()].push_back(i + 1);
    std::vector<DuplicateBank> found;
    for (auto& [index, tracks] : tracksOf)
        if (tracks.size() > 1) found.push_back({index, std::move(tracks)});
    return found;
}

BankDocument::Placement BankDocument::placementAt(std::size_t position) const
{
    if (m_wholeTable) return Placement::WholeTable;
    if (m_banks.size() != 1) return Placement::Refused;
    const std::uint16_t found = m_banks.front()->getIndex();
    if (isFirmwarePosition(found) != isFirmwarePosition(position)) return Placement::Refused;
    return found == position ? Placement::SamePosition : Placement::OtherPosition;
}

std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>> BankDocument::takeFrom(BankDocument&& opened,
                                                                                   std::size_t position)
{
    std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>> replaced;
    switch (opened.placementAt(position)) {
    case Placement::WholeTable:
        for (std::size_t i = 0; i < m_banks.size(); ++i) replaced.emplace_back(i, std::move(m_banks[i]));
        m_banks = std::move(opened.m_banks);
        break;
    case Placement::SamePosition:
    case Placement::OtherPosition:
        if (position < m_banks.size()) {
            opened.m_banks.front()->setIndex(static_cast<std::uint16_t>(position));
            replaced.emplace_back(position, std::exchange(m_banks[position], std::move(opened.m_banks.front())));
        }
        break;
    case Placement::Refused:
        break;
    }
    return replaced;
}
