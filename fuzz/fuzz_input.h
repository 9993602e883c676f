#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bank files are opened by path only, so the bank-open target writes each
// input to a file in memory (/dev/shm where it exists) that lives as long as
// this object. Every reader's own target feeds the bytes directly.
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
