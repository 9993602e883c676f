#include "model/content.h"

#include <fstream>

// Raw import: the file's bytes become sample bytes as they are. Replaced by
// the audio import once it exists.
bool CSample::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<std::uint8_t> bytes(m_data.size());
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) return false;
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got), m_data.begin());
    return true;
}
