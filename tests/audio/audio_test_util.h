#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace audiotest {

using Bytes = std::vector<std::uint8_t>;

using ::TempDir;

inline void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(pathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void put(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}
inline void put(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}
inline void putLe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void putBe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One RIFF or IFF chunk, with the pad byte an odd size calls for.
inline Bytes chunk(const std::string& id, const Bytes& body, bool bigEndian, bool pad = true)
{
    Bytes out;
    put(out, id);
    if (bigEndian)
        putBe(out, body.size(), 4);
    else
        putLe(out, body.size(), 4);
    put(out, body);
    if (pad && body.size() % 2 == 1) out.push_back(0);
    return out;
}

inline Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    Bytes b;
    const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    putLe(b, tag, 2);
    putLe(b, channels, 2);
    putLe(b, rate, 4);
    putLe(b, std::uint64_t{rate} * align, 4);
    putLe(b, align, 2);
    putLe(b, bits, 2);
    return b;
}

// RIFF/WAVE around the given chunks, in order.
inline Bytes riff(std::initializer_list<Bytes> chunks, const std::string& type = "WAVE")
{
    Bytes body;
    put(body, type);
    for (const auto& c : chunks) put(body, c);
    Bytes out;
    put(out, "RIFF");
    putLe(out, body.size(), 4);
    put(out, body);
    return out;
}

inline Bytes wav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, const Bytes& data)
{
    return riff({chunk("fmt ", fmtBody(1, channels, rate, bits), false), chunk("data", data, false)});
}

// 80-bit extended for whole-number rates, built the way AIFF stores them.
inline Bytes extended(double rate)
{
    Bytes out(10, 0);
    if (rate <= 0) return out;
    int exponent = 0;
    auto integer = static_cast<std::uint64_t>(rate);
    while (integer >> (exponent + 1)) ++exponent;
    const std::uint64_t significand = integer << (63 - exponent);
    const auto field = static_cast<std::uint16_t>(16383 + exponent);
    out[0] = static_cast<std::uint8_t>(field >> 8);
    out[1] = static_cast<std::uint8_t>(field);
    for (int i = 0; i < 8; ++i) out[2 + i] = static_cast<std::uint8_t>(significand >> (56 - 8 * i));
    return out;
}

inline Bytes commBody(std::uint16_t channels, std::uint16_t bits, const Bytes& rate10)
{
    Bytes b;
    putBe(b, channels, 2);
    putBe(b, 0, 4);
    putBe(b, bits, 2);
    put(b, rate10);
    return b;
}

inline Bytes ssndBody(const Bytes& data, std::uint32_t offset = 0)
{
    Bytes b;
    putBe(b, offset, 4);
    putBe(b, 0, 4);
    put(b, data);
    return b;
}

inline Bytes form(std::initializer_list<Bytes> chunks, const std::string& type = "AIFF")
{
    Bytes body;
    put(body, type);
    for (const auto& c : chunks) put(body, c);
    Bytes out;
    put(out, "FORM");
    putBe(out, body.size(), 4);
    put(out, body);
    return out;
}

inline Bytes aiff(std::uint16_t channels, double rate, std::uint16_t bits, const Bytes& data, std::uint32_t offset = 0)
{
    return form(
        {chunk("COMM", commBody(channels, bits, extended(rate)), true), chunk("SSND", ssndBody(data, offset), true)});
}

// Runs sox with the given words, then the file, then more words, and returns
// its standard output.
inline Bytes sox(const std::string& before, const std::string& file = {}, const std::string& after = {})
{
    std::vector<std::string> args;
    const auto split = [&](const std::string& words) {
        std::istringstream in(words);
        for (std::string word; in >> word;) args.push_back(word);
    };
    split(before);
    if (!file.empty()) args.push_back(file);
    split(after);
    const ProcessResult result = runProcess("sox", args);
    return result.status == 0 ? Bytes(result.out.begin(), result.out.end()) : Bytes{};
}

inline bool haveSox()
{
    return runProcess("sox", {"--version"}).status == 0;
}

} // namespace audiotest
