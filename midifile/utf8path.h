#pragma once

#include <filesystem>
#include <string>

// The program keeps file names as UTF-8 strings. On Windows a path made from
// a plain std::string is read in the ANSI code page, which garbles every name
// outside it, and path::string() writes back into that code page; through
// char8_t the names go to and from the wide-character file API intact.
// Elsewhere a name is its bytes, whatever they are.
inline std::filesystem::path pathFromUtf8(const std::string& utf8)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string utf8FromPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}
