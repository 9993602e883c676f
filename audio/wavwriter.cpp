#include "audio/wavwriter.h"

namespace audio {
namespace {

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putTag(std::vector<std::uint8_t>& out, const char (&tag)[5])
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

} // namespace

std::vector<std::uint8_t> wavImage(std::span<const std::uint8_t> samples, std::uint32_t sampleRate)
{
    const auto dataSize = static_cast<std::uint32_t>(samples.size());
    const std::uint32_t pad = dataSize & 1u; // chunks are word aligned
    std::vector<std::uint8_t> out;
    out.reserve(44 + samples.size() + pad);
    putTag(out, "RIFF");
    putU32(out, 36 + dataSize + pad);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    putU32(out, 16);
    putU16(out, 1); // PCM
    putU16(out, 1); // mono
    putU32(out, sampleRate);
    putU32(out, sampleRate); // byte rate: one byte per frame
    putU16(out, 1);          // block align
    putU16(out, 8);          // bits per sample
    putTag(out, "data");
    putU32(out, dataSize);
    out.insert(out.end(), samples.begin(), samples.end());
    if (pad) out.push_back(0);
    return out;
}

} // namespace audio
