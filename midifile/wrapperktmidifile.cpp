#include "midifile/wrapperktmidifile.h"

#include "midifile/midievent.h"
#include "midifile/safefilewriter.h"
#include "model/firmware.h"
#include "model/messages.h"

#include <array>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint16_t kDivision = 24;
constexpr double kLeadIn = 2.0;
constexpr std::uint16_t kChannel = 0;
constexpr std::uint8_t kTrackName = 0x03;
constexpr std::uint8_t kInstrumentName = 0x04;
constexpr std::uint8_t kSequencerSpecific = 0x7F;
constexpr std::string_view kInstrument = "Orvel VARNO 414";
// Identifier, then three bytes that readers do not check.
constexpr std::array<std::uint8_t, 4> kNamesPrefix{kManufacturerId, 0x00, 0x59, 0x00};
constexpr std::size_t kMessagesPerTrack = 2;

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

WrapperKtMidiFile::~WrapperKtMidiFile() = default;

bool WrapperKtMidiFile::saveBank(IBank& bank, const std::string& path)
{
    IBank* const banks[] = {&bank};
    return saveBanks(banks, path);
}

bool WrapperKtMidiFile::saveBanks(std::span<IBank* const> banks, const std::string& path)
{
    m_lastError = {};
    if (banks.empty()) {
        m_lastError = {BankFileError::NoBankToSave, path};
        return false;
    }
    for (IBank* bank : banks) {
        if (bank == nullptr) {
            m_lastError = {BankFileError::NoBankToSave, path};
            return false;
        }
    }

    SafeFileWriter file(path, m_writeOptions);
    SafeWriteResult written = file.begin();
    if (written.ok() && !writeFile(banks, file.temporaryPath())) {
        file.abandon();
        // A bank that cannot be saved has said why; otherwise the disk failed.
        if (!m_lastError.ok()) {
            m_lastError.path = path;
            return false;
        }
        written = {SafeWriteError::WriteFailed, path, {}};
    }
    if (written.ok()) written = file.commit();
    if (written.ok()) return true;
    m_lastError = {BankFileError::WriteFailed, path};
    m_lastError.write = written.kind;
    m_lastError.detail = written.message();
    return false;
}

bool WrapperKtMidiFile::writeFile(std::span<IBank* const> banks, const std::string& path)
{
    m_writer = std::make_unique<KtMidiFileWriter>(path, kDivision);
    m_leadIn = kLeadIn;
    bool ok = m_writer->is_open();
    for (std::size_t i = 0; ok && i < banks.size(); ++i) ok = writeTrack(*banks[i]);
    if (ok) {
        m_writer->flush();
        ok = m_writer->good();
    }
    m_writer->close();
    ok = ok && !m_writer->fail();
    m_writer.reset();
    m_leadIn = 0.0;
    return ok;
}

bool WrapperKtMidiFile::writeTrack(IBank& bank)
{
    const std::vector<std::string>& names = bank.getContentNames();
    const EventList& events = bank.buildEvents(kChannel);
    // A placeholder firmware bank must never erase the machine's firmware,
    // even when a plain MIDI player sends the file: its erases are left out
    // and their time passes silently, so the timing of later tracks stays.
    const bool deviceFirmware = bank.holdsDeviceFirmware();
    const bool dropErases = bank.isFirmwarePlaceholder();
    for (const auto& event : events) {
        if (!event) continue;
        const MessageClass message = classifyMessage(event->getMessageData());
        if (dropErases && message.isErase()) continue;
        if (!deviceFirmware && message.touchesFirmwareBlock()) {
            m_lastError = {BankFileError::WouldOverwriteFirmware, {}};
            m_lastError.bank = bank.getName();
            return false;
        }
    }

    m_writer->beginTrack(true);
    m_writer->writeMeta(kTrackName, bytesOf(bank.getName()), false);
    m_writer->writeMeta(kInstrumentName, bytesOf(kInstrument), false);
    std::vector<std::uint8_t> data(kNamesPrefix.begin(), kNamesPrefix.end());
    for (std::uint16_t i = 0; i < bank.getContentCount(); ++i) {
        if (i < names.size()) data.insert(data.end(), names[i].begin(), names[i].end());
        data.push_back(0x00);
    }
    m_writer->writeMeta(kSequencerSpecific, data, false);

    bool first = true;
    for (const auto& event : events) {
        if (!event) continue;
        const std::span<const std::uint8_t> message(event->getMessageData());
        const double pause = first ? m_leadIn : static_cast<double>(static_cast<std::uint32_t>(event->getOffset()));
        first = false;
        if (dropErases && classifyMessage(message).isErase()) {
            m_writer->passEvent(message.size(), pause);
            continue;
        }
        if (!m_writer->writeEvent(message, pause)) {
            m_lastError = {BankFileError::MessageTooLong, {}};
            m_lastError.bank = bank.getName();
            return false;
        }
    }
    m_leadIn = 0.0;
    m_writer->endTrack();
    return m_writer->good();
}

bool WrapperKtMidiFile::openBank(IBank& bank, const std::string& path)
{
    IBank* const banks[] = {&bank};
    return readFile(banks, std::make_unique<KtMidiFileReader>(path), path);
}

bool WrapperKtMidiFile::openBanks(std::span<IBank* const> banks, std::size_t count, const std::string& path)
{
    m_lastError = {};
    if (count == 0 || count > banks.size()) {
        m_lastError = {BankFileError::NoBanksToOpenInto, path};
        return false;
    }
    return readFile(banks.first(count), std::make_unique<KtMidiFileReader>(path), path);
}

bool WrapperKtMidiFile::openBank(IBank& bank, std::span<const std::uint8_t> bytes, const std::string& name)
{
    IBank* const banks[] = {&bank};
    return readFile(banks, std::make_unique<KtMidiFileReader>(bytes), name);
}

bool WrapperKtMidiFile::openBanks(std::span<IBank* const> banks, std::size_t count, std::span<const std::uint8_t> bytes,
                                  const std::string& name)
{
    m_lastError = {};
    if (count == 0 || count > banks.size()) {
        m_lastError = {BankFileError::NoBanksToOpenInto, name};
        return false;
    }
    return readFile(banks.first(count), std::make_unique<KtMidiFileReader>(bytes), name);
}

bool WrapperKtMidiFile::readFile(std::span<IBank* const> banks, std::unique_ptr<KtMidiFileReader> reader,
                                 const std::string& path)
{
    m_lastError = {};
    for (IBank* bank : banks) {
        if (bank == nullptr) {
            m_lastError = {BankFileError::NoBanksToOpenInto, path};
            return false;
        }
    }
    m_reader = std::move(reader);
    if (!m_reader->is_open()) {
        m_lastError = {BankFileError::CannotOpen, path};
    } else if (!m_reader->isValid()) {
        m_lastError = {BankFileError::NotMidiFile, path};
    } else if (m_reader->trackCount() != banks.size()) {
        m_lastError = {BankFileError::TrackCount, path};
        m_lastError.tracks = m_reader->trackCount();
        m_lastError.expected = banks.size();
    } else {
        for (std::size_t i = 0; i < banks.size(); ++i) {
            const BankFileError kind = readTrack(*banks[i]);
            if (kind != BankFileError::None) {
                m_lastError = {kind, path};
                m_lastError.track = i + 1;
                break;
            }
        }
    }
    m_reader->close();
    m_reader.reset();
    return m_lastError.ok();
}

BankFileError WrapperKtMidiFile::readTrack(IBank& bank)
{
    constexpr BankFileError unreadable = BankFileError::UnreadableTrack;
    if (!m_reader->readTrackHeader()) return unreadable;

    std::string name;
    std::vector<std::string> names;
    std::uint8_t type = 0;
    buffer meta;
    while (m_reader->readMeta(type, meta)) {
        const std::vector<std::uint8_t>& d = meta.bytes();
        if (type == kTrackName) {
            name.assign(d.begin(), d.end());
        } else if (type == kSequencerSpecific && !d.empty() && d[0] == kManufacturerId) {
            // Each name runs up to a 00 or the end of the data.
            for (std::size_t pos = kNamesPrefix.size(); pos < d.size();) {
                std::size_t end = pos;
                while (end < d.size() && d[end] != 0x00) ++end;
                names.emplace_back(d.begin() + static_cast<std::ptrdiff_t>(pos),
                                   d.begin() + static_cast<std::ptrdiff_t>(end));
                pos = end + 1;
            }
        }
    }

    std::vector<CMessage> kept;
    kept.reserve(kMessagesPerTrack + 1);
    midi::event event;
    double seconds = 0.0;
    // Only the block messages carry data; erases and anything else are skipped.
    while (kept.size() <= kMessagesPerTrack && m_reader->readEvent(event, seconds)) {
        if (isDataMessage(event.bytes())) kept.emplace_back(std::span(event.bytes()));
    }
    if (kept.size() != kMessagesPerTrack) return unreadable;

    // Either mix-up would erase the firmware when the bank is sent: a sound
    // bank numbered from a firmware block, or sound data taken as firmware.
    if (dynamic_cast<const CFirmware*>(&bank) != nullptr) {
        for (const CMessage& message : kept)
            if (classifyMessage(message.getData()).isSoundBlock()) return BankFileError::FirmwareHoldsSoundData;
    } else if (classifyMessage(kept[0].getData()).touchesFirmwareBlock()) {
        return unreadable;
    }
    // Data first: a bank that cannot take the messages keeps its names too.
    const std::array<const CMessage*, kMessagesPerTrack> messages{&kept[0], &kept[1]};
    if (!bank.setContentsFromMessages(messages)) return unreadable;
    bank.setName(name);
    bank.setContentNames(names);
    return m_reader->readEndOfTrack() ? BankFileError::None : unreadable;
}
