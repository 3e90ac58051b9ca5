// Text between UTF-8, the tool's own (its sources, its window logic, its file names), and
// UTF-16, the Windows API's. The one pair of conversions of the Windows build: every name the
// user chose reaches the system as the UTF-16 it was, whatever the ANSI code page. A sequence
// that is not valid UTF-8 (or UTF-16) is carried over with the replacement character in its
// place, never dropped or cut.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline std::wstring widen(std::string_view utf8)
{
    if (utf8.empty()) return {};
    const int length = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), n);
    return out;
}

inline std::string narrow(std::wstring_view utf16)
{
    if (utf16.empty()) return {};
    const int length = static_cast<int>(utf16.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), n, nullptr, nullptr);
    return out;
}
