#pragma once

#include "model/messagekind.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace testing_firmware {

// A firmware bank's two messages where only the first is shaped like the
// machine's own (PRESETS at its exact length) and the second is another
// maker's. Taken for device firmware, the pair would erase both firmware
// blocks and write the foreign message.
inline std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> mixedFirmwarePair()
{
    std::vector<std::uint8_t> presets(kFirmwareMessageSizes[0], 0x11);
    presets[0] = 0xF0;
    presets[1] = kManufacturerId;
    presets[2] = kBlockByteFlag | 62;
    presets[3] = kDataMessageKind;
    presets[4] = 0x00;
    presets.back() = 0xF7;
    std::vector<std::uint8_t> foreign = presets;
    foreign.resize(kFirmwareMessageSizes[1]);
    foreign[1] = 0x7D;
    foreign.back() = 0xF7;
    return {presets, foreign};
}

} // namespace testing_firmware
