#include "fuzz/fuzz_input.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

FuzzInput::FuzzInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path dir =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    m_path = (dir / ("varno_fuzz_" + std::to_string(::getpid()) + ".bin")).string();
    if (std::FILE* f = std::fopen(m_path.c_str(), "wb")) {
        if (size != 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

FuzzInput::~FuzzInput()
{
    std::remove(m_path.c_str());
}
