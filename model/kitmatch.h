#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "model/sound.h"

// Which of a folder's files fills which slot of a sound bank: by name first
// ("open"/"oh", "closed"/"ch"/"hh", "clap", "rim", "crash", "ride" as words
// of the file name), then the slots left get the files left in the order
// given. Each file fills one slot at most. Gives, per slot, the index of its
// file in fileNames.
std::array<std::optional<std::size_t>, kSlotCount> matchKit(std::span<const std::string> fileNames);
// The slot the file's name asks for, if any.
std::optional<std::size_t> kitSlotOf(const std::string& fileName);
