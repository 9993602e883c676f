#include "midifile/ktifstream.h"

#include "midifile/utf8path.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

void Ktifstream::SpanBuf::assign(std::span<const std::uint8_t> bytes)
{
    // The get area is never written through: there is no put area, and
    // putting back a different byte fails (the default pbackfail).
    auto* first = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    setg(first, first, first + bytes.size());
}

Ktifstream::SpanBuf::pos_type Ktifstream::SpanBuf::seekoff(off_type offset, std::ios_base::seekdir dir,
                                                           std::ios_base::openmode which)
{
    const auto failed = pos_type(off_type(-1));
    if ((which & std::ios_base::in) == 0) return failed;
    const off_type size = egptr() - eback();
    off_type base = 0;
    if (dir == std::ios_base::cur)
        base = gptr() - eback();
    else if (dir == std::ios_base::end)
        base = size;
    if (offset < -base || offset > size - base) return failed;
    setg(eback(), eback() + base + offset, egptr());
    return pos_type(base + offset);
}

Ktifstream::SpanBuf::pos_type Ktifstream::SpanBuf::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

Ktifstream::Ktifstream() : std::istream(nullptr)
{
    rdbuf(&m_file);
    setstate(std::ios::failbit);
}

Ktifstream::Ktifstream(const std::string& path) : std::istream(nullptr)
{
    openBinary(path);
}

Ktifstream::Ktifstream(std::span<const std::uint8_t> bytes) : std::istream(nullptr)
{
    m_bytes.assign(bytes);
    rdbuf(&m_bytes);
    m_inMemory = true;
    m_size = bytes.size();
}

bool Ktifstream::openBinary(const std::string& path)
{
    rdbuf(&m_file);
    m_inMemory = false;
    m_size = 0;
    if (m_file.open(pathFromUtf8(path), std::ios::in | std::ios::binary) == nullptr) {
        setstate(std::ios::failbit);
        return false;
    }
    seekg(0, std::ios::end);
    const auto last = tellg();
    m_size = last > 0 ? static_cast<std::uint64_t>(last) : 0;
    seekg(0, std::ios::beg);
    return good();
}

bool Ktifstream::is_open() const
{
    return m_inMemory || m_file.is_open();
}

void Ktifstream::close()
{
    if (m_inMemory) {
        m_inMemory = false;
        m_bytes.assign({});
    } else if (m_file.close() == nullptr) {
        setstate(std::ios::failbit);
    }
}

std::uint64_t Ktifstream::tell()
{
    const auto pos = tellg();
    return pos >= 0 ? static_cast<std::uint64_t>(pos) : m_size;
}

void Ktifstream::seek(std::uint64_t position)
{
    if (fail()) {
        clear();
        return;
    }
    clear();
    seekg(static_cast<std::streamoff>(std::min(position, m_size)), std::ios::beg);
}

bool Ktifstream::skip(std::uint64_t count)
{
    if (fail()) return false;
    const std::uint64_t here = tell();
    if (count > m_size - std::min(here, m_size)) {
        seekg(0, std::ios::end);
        setstate(std::ios::eofbit);
        return false;
    }
    seekg(static_cast<std::streamoff>(count), std::ios::cur);
    return !eof();
}

std::uint64_t Ktifstream::remaining()
{
    if (fail()) return 0;
    const std::uint64_t here = tell();
    return here < m_size ? m_size - here : 0;
}

std::size_t Ktifstream::readBytes(std::uint8_t* target, std::size_t count)
{
    if (target == nullptr || count == 0) return 0;
    read(reinterpret_cast<char*>(target), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(gcount());
}

std::uint8_t Ktifstream::readU8()
{
    std::uint8_t b = 0;
    readBytes(&b, 1);
    return b;
}

std::uint16_t Ktifstream::readU16(bool bigEndian)
{
    std::array<std::uint8_t, 2> b{};
    readBytes(b.data(), b.size());
    return bigEndian ? static_cast<std::uint16_t>(b[0] << 8 | b[1]) : static_cast<std::uint16_t>(b[1] << 8 | b[0]);
}

std::uint32_t Ktifstream::readU32(bool bigEndian)
{
    std::array<std::uint8_t, 4> b{};
    readBytes(b.data(), b.size());
    if (bigEndian) return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    return std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
}

std::uint32_t Ktifstream::readVarLen()
{
    std::uint32_t value = 0;
    for (;;) {
        const int c = get();
        if (c == traits_type::eof()) break;
        value = (value << 7) | (static_cast<std::uint32_t>(c) & 0x7F);
        if ((c & 0x80) == 0) break;
    }
    return value;
}

bool Ktifstream::readVarLen(std::uint32_t& value)
{
    value = 0;
    for (;;) {
        const int c = get();
        if (c == traits_type::eof()) return false;
        if (value > (0x0FFFFFFFu >> 7)) return false;
        value = (value << 7) | (static_cast<std::uint32_t>(c) & 0x7F);
        if ((c & 0x80) == 0) return true;
    }
}

std::uint64_t Ktifstream::countThrough(std::uint8_t value)
{
    const std::uint64_t start = tell();
    // No bigger than what is left: small files need no 64 KiB buffer.
    const std::uint64_t left = remaining();
    std::vector<char> chunk(static_cast<std::size_t>(std::clamp<std::uint64_t>(left, 1, 1 << 16)));
    std::uint64_t counted = 0;
    for (;;) {
        read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(gcount());
        if (const void* hit = std::memchr(chunk.data(), value, got)) {
            counted += static_cast<std::uint64_t>(static_cast<const char*>(hit) - chunk.data()) + 1;
            clear();
            seekg(static_cast<std::streamoff>(start), std::ios::beg);
            return counted;
        }
        counted += got;
        if (got < chunk.size()) break;
    }
    clear();
    seekg(0, std::ios::end);
    return counted + 1;
}

double Ktifstream::readExtended()
{
    std::array<std::uint8_t, 10> b{};
    readBytes(b.data(), b.size());
    return extendedToDouble(b);
}

double Ktifstream::extendedToDouble(std::span<const std::uint8_t, 10> b)
{
    const std::uint64_t sign = b[0] >> 7;
    const std::uint32_t exponent = static_cast<std::uint32_t>(b[0] & 0x7F) << 8 | b[1];
    std::uint64_t significand = 0;
    for (std::size_t i = 2; i < 10; ++i) significand = significand << 8 | b[i];

    // Zero, denormals, infinities and NaN have no normal double counterpart
    // by the bitwise rule; they become a signed zero or infinity/NaN.
    if (exponent == 0 || significand == 0) return sign ? -0.0 : 0.0;
    if (exponent == 0x7FFF) {
        const std::uint64_t fraction = significand << 1;
        return std::bit_cast<double>(sign << 63 | std::uint64_t{0x7FF} << 52 | (fraction ? 1ull << 51 : 0));
    }
    const int unbiased = static_cast<int>(exponent) - 16383;
    if (unbiased > 1023) return std::bit_cast<double>(sign << 63 | std::uint64_t{0x7FF} << 52);
    if (unbiased < -1022) return sign ? -0.0 : 0.0;
    const std::uint64_t field = static_cast<std::uint64_t>(unbiased + 1023) & 0x7FF;
    const std::uint64_t fraction = (significand >> 11) & ((1ull << 52) - 1);
    return std::bit_cast<double>(sign << 63 | field << 52 | fraction);
}
