#include "cli/wavwriter.h"

#include "midifile/utf8path.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define VARNO_GETPID _getpid
#else
#include <unistd.h>
#define VARNO_GETPID getpid
#endif

namespace cli {
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

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error)
{
    namespace fs = std::filesystem;
    static std::atomic<unsigned> counter{0};
    const fs::path target = pathFromUtf8(path);
    fs::path temp = target;
    temp += ".tmp" + std::to_string(VARNO_GETPID()) + "-" + std::to_string(counter++);

    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write '" + path + "': the folder does not exist or is not writable.";
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            error = "cannot write '" + path + "': writing failed (is the disk full?).";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        error = "cannot write '" + path + "': " + ec.message() + ".";
        return false;
    }
    return true;
}

} // namespace cli
