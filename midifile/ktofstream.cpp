#include "midifile/ktofstream.h"

#include "midifile/utf8path.h"
#include <array>

Ktofstream::Ktofstream(const std::string& path)
{
    openBinary(path);
}

bool Ktofstream::openBinary(const std::string& path)
{
    open(pathFromUtf8(path), std::ios::out | std::ios::binary | std::ios::trunc);
    return is_open() && good();
}

std::uint64_t Ktofstream::tell()
{
    const auto pos = tellp();
    return pos >= 0 ? static_cast<std::uint64_t>(pos) : 0;
}

void Ktofstream::seek(std::uint64_t position)
{
    seekp(static_cast<std::streamoff>(position), std::ios::beg);
}

std::size_t Ktofstream::writeBytes(const std::uint8_t* source, std::size_t count)
{
    if (source == nullptr || count == 0) return 0;
    write(reinterpret_cast<const char*>(source), static_cast<std::streamsize>(count));
    return count;
}

std::size_t Ktofstream::writeU8(std::uint8_t value)
{
    return writeBytes(&value, 1);
}

std::size_t Ktofstream::writeU16(std::uint16_t value, bool bigEndian)
{
    const auto hi = static_cast<std::uint8_t>(value >> 8);
    const auto lo = static_cast<std::uint8_t>(value);
    const std::array<std::uint8_t, 2> b =
        bigEndian ? std::array<std::uint8_t, 2>{hi, lo} : std::array<std::uint8_t, 2>{lo, hi};
    return writeBytes(b.data(), b.size());
}

std::size_t Ktofstream::writeU32(std::uint32_t value, bool bigEndian)
{
    std::array<std::uint8_t, 4> b{};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
        b[bigEndian ? 3 - i : i] = byte;
    }
    return writeBytes(b.data(), b.size());
}

std::size_t Ktofstream::writeVarLen(std::uint32_t value)
{
    if (value > 0x0FFFFFFF) return 0;
    std::array<std::uint8_t, 4> groups{};
    std::size_t n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    std::array<std::uint8_t, 4> out{};
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return writeBytes(out.data(), n);
}
