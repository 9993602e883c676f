#pragma once

#include <cstdint>
#include <span>
#include <string>

// The SHA-256 digest of a run of bytes as 64 lower-case hexadecimal digits.
// The send journal keys a flash block's content by it: a weaker checksum
// could let a changed block pass for the one on the machine.
std::string sha256Hex(std::span<const std::uint8_t> bytes);
