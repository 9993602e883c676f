#pragma once

#include <string>

// The core speaks UTF-8; the Windows API UTF-16. Texts cross at the edge.
namespace win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
// A text without its '&' mnemonic marks ("&&" stays one '&'), as it is drawn.
std::wstring withoutMnemonic(const std::wstring& text);

} // namespace win32
