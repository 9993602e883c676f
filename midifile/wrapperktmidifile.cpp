#include "midifile/wrapperktmidifile.h"

#include "midifile/midievent.h"
#include "midifile/utf8path.h"
#include "model/firmware.h"
#include "model/messages.h"

#include <array>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

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
constexpr std::uint8_t kFirstFirmwareBlock = 2 * kFirmwareIndex;

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool isErase(std::span<const std::uint8_t> m)
{
    return m.size() == kEraseMessageSize && m[1] == kManufacturerId && m[3] == kEraseMessageKind;
}

// Whether a message would erase or write one of the two firmware blocks.
bool touchesFirmware(std::span<const std::uint8_t> m)
{
    if (m.size() < 5 || m[1] != kManufacturerId) return false;
    if (isErase(m)) return m[4] >= kFirstFirmwareBlock;
    return m[3] == kDataMessageKind && (m[2] & 0x3F) >= kFirstFirmwareBlock;
}

// A block message of a sound bank (blocks 0 to 61, full length).
bool isSoundBlock(std::span<const std::uint8_t> m)
{
    return m.size() == kBlockMessageSize && m[1] == kManufacturerId && m[3] == kDataMessageKind &&
           (m[2] & 0x3F) < kFirstFirmwareBlock;
}

bool holdsDeviceFirmware(const IBank& bank)
{
    const auto* firmware = dynamic_cast<const CFirmware*>(&bank);
    return firmware != nullptr && firmware->holdsDeviceFirmware();
}

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// A name beside the target that nothing else uses yet.
fs::path temporaryPathFor(const fs::path& target)
{
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = ".";
        suffix += std::to_string(random() % 1000000);
        suffix += ".tmp";
        fs::path candidate = target;
        candidate += suffix;
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) return candidate;
    }
    return {};
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
    m_lastError.clear();
    if (banks.empty()) {
        m_lastError = "There is no bank to save.";
        return false;
    }
    for (IBank* bank : banks) {
        if (bank == nullptr) {
            m_lastError = "There is no bank to save.";
            return false;
        }
    }

    std::error_code ec;
    fs::path target = pathFromUtf8(path);
    // Replace what a link points at, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const fs::path temporary = temporaryPathFor(target);
    if (temporary.empty() || !writeFile(banks, utf8FromPath(temporary))) {
        if (!temporary.empty()) fs::remove(temporary, ec);
        if (m_lastError.empty()) m_lastError = "Cannot write a file in the folder of " + quoted(path) + ".";
        return false;
    }
    if (fs::exists(target, ec)) fs::permissions(temporary, fs::status(target, ec).permissions(), ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        m_lastError = "Cannot replace " + quoted(path) + "; it is unchanged.";
        return false;
    }
    return true;
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
    const bool deviceFirmware = holdsDeviceFirmware(bank);
    const bool dropErases = bank.isFirmwarePlaceholder();
    for (const auto& event : events) {
        if (!event) continue;
        const std::span<const std::uint8_t> message(event->getMessageData());
        if (dropErases && isErase(message)) continue;
        if (!deviceFirmware && touchesFirmware(message)) {
            m_lastError =
                "Bank " + quoted(bank.getName()) + " would overwrite the machine's firmware; nothing was saved.";
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
        if (dropErases && isErase(message)) {
            m_writer->passEvent(message.size(), pause);
            continue;
        }
        if (!m_writer->writeEvent(message, pause)) {
            m_lastError = "A message of bank " + quoted(bank.getName()) + " is too long for a MIDI file.";
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
    return readFile(banks, path);
}

bool WrapperKtMidiFile::openBanks(std::span<IBank* const> banks, std::size_t count, const std::string& path)
{
    m_lastError.clear();
    if (count == 0 || count > banks.size()) {
        m_lastError = "There are no banks to open the file into.";
        return false;
    }
    return readFile(banks.first(count), path);
}

bool WrapperKtMidiFile::readFile(std::span<IBank* const> banks, const std::string& path)
{
    m_lastError.clear();
    for (IBank* bank : banks) {
        if (bank == nullptr) {
            m_lastError = "There are no banks to open the file into.";
            return false;
        }
    }
    m_reader = std::make_unique<KtMidiFileReader>(path);
    bool ok = false;
    if (!m_reader->is_open()) {
        m_lastError = "Cannot open " + quoted(path) + ".";
    } else if (!m_reader->isValid()) {
        m_lastError = quoted(path) + " is not a complete Standard MIDI File.";
    } else if (m_reader->trackCount() != banks.size()) {
        m_lastError = quoted(path) + " holds " + std::to_string(m_reader->trackCount()) + " tracks, not " +
                      std::to_string(banks.size()) + ".";
    } else {
        ok = true;
        for (std::size_t i = 0; ok && i < banks.size(); ++i) {
            ok = readTrack(*banks[i]);
            if (!ok)
                m_lastError = "Track " + std::to_string(i + 1) + " of " + quoted(path) + " is not a readable bank.";
        }
    }
    m_reader->close();
    m_reader.reset();
    return ok;
}

bool WrapperKtMidiFile::readTrack(IBank& bank)
{
    if (!m_reader->readTrackHeader()) return false;

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
        if (event.size() >= 4 && event.bytes()[3] == kDataMessageKind) kept.emplace_back(std::span(event.bytes()));
    }
    if (kept.size() != kMessagesPerTrack) return false;

    // Either mix-up would erase the firmware when the bank is sent: a sound
    // bank numbered from a firmware block, or a sound bank's blocks taken as
    // firmware (they would pass for device firmware).
    const bool firmwareTarget = dynamic_cast<const CFirmware*>(&bank) != nullptr;
    if (!firmwareTarget && touchesFirmware(kept[0].getData())) return false;
    if (firmwareTarget && isSoundBlock(kept[0].getData()) && isSoundBlock(kept[1].getData())) return false;
    // Data first: a bank that cannot take the messages keeps its names too.
    const std::array<const CMessage*, kMessagesPerTrack> messages{&kept[0], &kept[1]};
    if (!bank.setContentsFromMessages(messages)) return false;
    bank.setName(name);
    bank.setContentNames(names);
    return m_reader->readEndOfTrack();
}
