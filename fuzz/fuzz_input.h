#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Our readers take file paths, so each input is written to a file in memory
// (/dev/shm where it exists) that lives as long as this object.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size);
    ~FuzzInput();
    FuzzInput(const FuzzInput&) = delete;
    FuzzInput& operator=(const FuzzInput&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};
