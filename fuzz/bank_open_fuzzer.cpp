#include "fuzz/fuzz_input.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <cstdlib>
#include <memory>
#include <vector>

// Opens the input as one sound bank, as the firmware bank and as the whole
// table, as the editor does; a refused file must say why.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzInput input(data, size);
    WrapperKtMidiFile wrapper;
    CSound sound(0);
    if (!wrapper.openBank(sound, input.path()) && wrapper.lastError().empty()) std::abort();
    if (sound.getIndex() >= kSoundBankCount) std::abort(); // would erase the firmware blocks
    CFirmware firmware;
    if (!wrapper.openBank(firmware, input.path()) && wrapper.lastError().empty()) std::abort();

    std::vector<std::unique_ptr<IBank>> banks;
    std::vector<IBank*> list;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) banks.push_back(std::make_unique<CSound>(i));
    banks.push_back(std::make_unique<CFirmware>());
    for (const auto& bank : banks) list.push_back(bank.get());
    if (!wrapper.openBanks(list, kBankCount, input.path()) && wrapper.lastError().empty()) std::abort();
    return 0;
}
