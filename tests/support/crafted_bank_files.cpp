#include "tests/support/crafted_bank_files.h"

#include "midifile/ktmidifilewriter.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <array>
#include <fstream>
#include <stdexcept>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Banks = std::vector<std::unique_ptr<IBank>>;

// A message with the firmware's header (F0 31 40 38 ..) and a 7-bit payload.
Bytes firmwareShaped(std::size_t size, std::uint8_t fifth)
{
    Bytes bytes(size, 0x11);
    bytes[0] = 0xF0;
    bytes[1] = 0x31;
    bytes[2] = 0x40;
    bytes[3] = 0x38;
    bytes[4] = fifth;
    bytes.back() = 0xF7;
    return bytes;
}

std::unique_ptr<IBank> firmwareOf(const Bytes& presets, const Bytes& os)
{
    auto firmware = std::make_unique<CFirmware>();
    const CMessage first(presets);
    const CMessage second(os);
    const CMessage* messages[] = {&first, &second};
    firmware->setContentsFromMessages(messages);
    return firmware;
}

// Sound data in the PRESETS place of a firmware bank.
std::unique_ptr<IBank> firmwareWithSoundBlock()
{
    CSound sound(0);
    const EventList& events = sound.buildEvents(0);
    return firmwareOf(events[1]->getMessageData(), firmwareShaped(kFirmwareMessageSizes[1], 0x10));
}

Banks factoryTable()
{
    Banks banks;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) banks.push_back(std::make_unique<CSound>(i));
    banks.push_back(std::make_unique<CFirmware>());
    return banks;
}

void save(Banks banks, const std::filesystem::path& path)
{
    std::vector<IBank*> pointers;
    for (const auto& bank : banks) pointers.push_back(bank.get());
    WrapperKtMidiFile file;
    const bool saved =
        banks.size() == 1 ? file.saveBank(*pointers.front(), path.string()) : file.saveBanks(pointers, path.string());
    if (!saved) throw std::runtime_error("cannot craft " + path.string() + ": " + file.lastError());
}

// Two six-byte firmware-shaped messages between the erases of the firmware
// blocks, as the program saved such a bank while it took them for firmware.
void writeShortFirmware(const std::filesystem::path& path)
{
    KtMidiFileWriter writer(path.string(), 24);
    writer.beginTrack(true);
    const std::string name = "FIRMWARE";
    writer.writeMeta(0x03, Bytes(name.begin(), name.end()), false);
    writer.writeMeta(0x7F, Bytes{0x31, 0x00, 0x59, 0x00, 'P', 0x00, 'O', 0x00}, false);
    writer.writeEvent(Bytes{0xF0, 0x31, 0x0D, 0x79, 62, 0xF7}, 2.0);
    writer.writeEvent(Bytes{0xF0, 0x31, 0x40, 0x38, 0x00, 0xF7}, 6.0);
    writer.writeEvent(Bytes{0xF0, 0x31, 0x0D, 0x79, 63, 0xF7}, 3.0);
    writer.writeEvent(Bytes{0xF0, 0x31, 0x40, 0x38, 0x10, 0xF7}, 6.0);
    writer.endTrack();
}

void craft(const std::string& name, const std::filesystem::path& path)
{
    Banks banks;
    if (name == "sound.mid") {
        banks.push_back(std::make_unique<CSound>(2));
        banks.back()->setName("Kit three");
    } else if (name == "firmware.mid") {
        banks.push_back(std::make_unique<CFirmware>());
    } else if (name == "device-firmware.mid") {
        banks.push_back(
            firmwareOf(firmwareShaped(kFirmwareMessageSizes[0], 0x00), firmwareShaped(kFirmwareMessageSizes[1], 0x10)));
    } else if (name == "short-firmware.mid") {
        return writeShortFirmware(path);
    } else if (name == "firmware-sound-block.mid") {
        banks.push_back(firmwareWithSoundBlock());
    } else if (name == "table-firmware-sound.mid") {
        banks = factoryTable();
        banks.back() = firmwareWithSoundBlock();
    } else if (name == "two-tracks.mid") {
        banks.push_back(std::make_unique<CSound>(0));
        banks.push_back(std::make_unique<CSound>(1));
    } else if (name == "duplicates.mid") {
        banks = factoryTable();
        banks[1] = std::make_unique<CSound>(0);
        banks[1]->setName("S01 again");
    } else if (name == "cut-one-bank.mid") {
        // A one-bank file cut in the middle of its track.
        banks.push_back(std::make_unique<CSound>(2));
        save(std::move(banks), path);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        return;
    } else if (name == "not-midi.mid") {
        std::ofstream(path) << "not a MIDI file at all";
        return;
    } else {
        throw std::runtime_error("no crafted bank file " + name);
    }
    save(std::move(banks), path);
}

} // namespace

const std::vector<CraftedBankFile>& craftedBankFiles()
{
    using E = BankFileError;
    static const std::vector<CraftedBankFile> files{
        {"sound.mid", E::None, 1, "S03  Kit three", 2, true, true},
        {"sound.mid", E::None, 1, "S03  Kit three", 31, false, true},
        {"firmware.mid", E::None, 1, "(no device firmware: never sent)", 31, true, true},
        {"firmware.mid", E::None, 1, "(no device firmware: never sent)", 4, false, true},
        {"device-firmware.mid", E::None, 1, "FIRMWARE  FIRMWARE - factory -  (device firmware)", 31, true, false},
        {"short-firmware.mid", E::None, 1, "(no device firmware: never sent)", 31, true, true},
        {"firmware-sound-block.mid", E::NeitherBankKind, 0, "neither a sound bank nor the firmware bank", 31, false,
         true},
        {"table-firmware-sound.mid", E::FirmwareHoldsSoundData, 0, "its firmware bank holds sound data", 4, false,
         true},
        {"two-tracks.mid", E::TrackCount, 0, "two-tracks.mid\" holds 2 tracks, not 32.", 4, false, true},
        {"cut-one-bank.mid", E::UnreadableTrack, 0, "cut-one-bank.mid\" is not a readable bank.", 4, false,
         true},
        {"not-midi.mid", E::NotMidiFile, 0, "is not a complete Standard MIDI File", 4, false, true},
        {"duplicates.mid", E::None, 32, "S01 appears in tracks 1 and 2.", 4, true, true},
    };
    return files;
}

const CraftedBankFile& craftedBankFile(const std::string& name)
{
    for (const CraftedBankFile& file : craftedBankFiles())
        if (file.name == name) return file;
    throw std::runtime_error("no crafted bank file " + name);
}

std::filesystem::path writeCraftedBankFile(const CraftedBankFile& file, const std::filesystem::path& folder)
{
    const std::filesystem::path path = folder / file.name;
    if (!std::filesystem::exists(path)) craft(file.name, path);
    return path;
}
