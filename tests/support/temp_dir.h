#pragma once

#include "midifile/utf8path.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// A fresh folder of its own under the system's temporary folder, removed with
// everything in it afterwards. Tests run as parallel processes, so each takes
// a random name that it alone managed to create.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "varno")
    {
        std::random_device seed;
        std::mt19937_64 random((std::uint64_t{seed()} << 32) ^ seed());
        std::error_code ec;
        const auto base = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; attempt < 100 && m_path.empty() && !ec; ++attempt) {
            const auto candidate = base / (prefix + "-" + std::to_string(random() % 1000000000000u));
            if (std::filesystem::create_directory(candidate, ec)) m_path = candidate;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (m_path.empty()) return;
        // A test may have taken the write bit away to provoke a failure.
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / pathFromUtf8(name); }
    std::string file(const std::string& name) const { return utf8FromPath(*this / name); }

private:
    std::filesystem::path m_path;
};
