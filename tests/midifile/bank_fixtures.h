#pragma once

#include "model/bank.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testing_midifile {

std::vector<std::uint8_t> readAll(const std::filesystem::path& path);
void writeAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

using ::TempDir;

// A sound bank with its own number and sample bytes drawn from seed, so
// round trips cannot pass by returning factory data.
std::unique_ptr<IBank> soundBank(std::uint16_t index, std::uint32_t seed);
// A firmware bank holding messages shaped like device firmware.
std::unique_ptr<IBank> deviceFirmwareBank();
// The 31 sound banks and the firmware bank, as the editor keeps them.
std::vector<std::unique_ptr<IBank>> allBanks(bool deviceFirmware);
std::vector<IBank*> pointers(const std::vector<std::unique_ptr<IBank>>& banks);

// Contents byte for byte, names and number.
void expectSameBank(const IBank& expected, const IBank& actual);

} // namespace testing_midifile
