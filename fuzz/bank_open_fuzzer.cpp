#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Opens the input as one sound bank, as the firmware bank and as the whole
// table, as the editor does; a refused file must say why.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const std::string name = "input.mid";
    WrapperKtMidiFile wrapper;
    // The banks are built once: fresh ones per input would spend the run on
    // copying factory sounds, and what an earlier input left in them does
    // not matter here.
    static CSound sound(0);
    if (!wrapper.openBank(sound, input, name) && wrapper.lastError().empty()) std::abort();
    if (sound.getIndex() >= kSoundBankCount) std::abort(); // would erase the firmware blocks
    static CFirmware firmware;
    if (!wrapper.openBank(firmware, input, name) && wrapper.lastError().empty()) std::abort();

    static const std::vector<std::unique_ptr<IBank>> banks = [] {
        std::vector<std::unique_ptr<IBank>> table;
        for (std::uint16_t i = 0; i < kSoundBankCount; ++i) table.push_back(std::make_unique<CSound>(i));
        table.push_back(std::make_unique<CFirmware>());
        return table;
    }();
    std::vector<IBank*> list;
    for (const auto& bank : banks) list.push_back(bank.get());
    if (!wrapper.openBanks(list, kBankCount, input, name) && wrapper.lastError().empty()) std::abort();
    return 0;
}
