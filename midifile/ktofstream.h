#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

// Binary output file; every write returns the number of bytes it wrote so
// callers can add them up.
class Ktofstream : public std::ofstream {
public:
    Ktofstream() = default;
    explicit Ktofstream(const std::string& path);
    ~Ktofstream() override = default;

    bool openBinary(const std::string& path);

    std::uint64_t tell();
    void seek(std::uint64_t position);

    std::size_t writeBytes(const std::uint8_t* source, std::size_t count);
    std::size_t writeBytes(std::span<const std::uint8_t> bytes) { return writeBytes(bytes.data(), bytes.size()); }
    std::size_t writeU8(std::uint8_t value);
    std::size_t writeU16(std::uint16_t value, bool bigEndian);
    std::size_t writeU32(std::uint32_t value, bool bigEndian);
    // 1 to 4 bytes; 0 and nothing written for values above 0x0FFFFFFF.
    std::size_t writeVarLen(std::uint32_t value);
};
