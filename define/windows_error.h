// Windows errors (GetLastError codes) as std::error_code: their message is the system's own
// text in the user's language (FormatMessageW: "Путь не найден." on a Russian Windows), never
// an English C-library text inside a Russian message, and they compare equal to the portable
// conditions (std::errc) that the tool's logic tests for. Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

#include "define/wide_text.h"

// The Windows errors that stand for a portable condition, and that condition. The first code
// of a condition is the one a condition of the C library's (errno) is told as.
struct WindowsErrorCondition {
    DWORD code;
    std::errc condition;
};
inline constexpr WindowsErrorCondition windows_error_conditions[] = {
    {ERROR_FILE_NOT_FOUND, std::errc::no_such_file_or_directory},
    {ERROR_PATH_NOT_FOUND, std::errc::no_such_file_or_directory},
    {ERROR_INVALID_DRIVE, std::errc::no_such_file_or_directory},
    {ERROR_BAD_NETPATH, std::errc::no_such_file_or_directory},
    {ERROR_ACCESS_DENIED, std::errc::permission_denied},
    {ERROR_SHARING_VIOLATION, std::errc::permission_denied},
    {ERROR_LOCK_VIOLATION, std::errc::permission_denied},
    {ERROR_WRITE_PROTECT, std::errc::permission_denied},
    {ERROR_FILE_EXISTS, std::errc::file_exists},
    {ERROR_ALREADY_EXISTS, std::errc::file_exists},
    {ERROR_DISK_FULL, std::errc::no_space_on_device},
    {ERROR_HANDLE_DISK_FULL, std::errc::no_space_on_device},
    {ERROR_INVALID_NAME, std::errc::invalid_argument},
    {ERROR_BAD_PATHNAME, std::errc::invalid_argument},
    {ERROR_FILENAME_EXCED_RANGE, std::errc::filename_too_long},
    {ERROR_DIR_NOT_EMPTY, std::errc::directory_not_empty},
    {ERROR_DIRECTORY, std::errc::not_a_directory},
    {ERROR_CANT_RESOLVE_FILENAME, std::errc::too_many_symbolic_link_levels},
    {ERROR_GEN_FAILURE, std::errc::io_error},
    {ERROR_WRITE_FAULT, std::errc::io_error},
    {ERROR_READ_FAULT, std::errc::io_error},
};

// The system's text for a Windows error code, in the user's language, without its line end;
// "Windows error N" for a code the system has no text for.
inline std::string windows_error_text(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", n);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "Windows error " + std::to_string(code) : narrow(message);
}

class WindowsErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int code) const override { return windows_error_text(static_cast<DWORD>(code)); }
    std::error_condition default_error_condition(int code) const noexcept override
    {
        for (const WindowsErrorCondition& c : windows_error_conditions)
            if (c.code == static_cast<DWORD>(code)) return std::make_error_condition(c.condition);
        return {code, *this};
    }
};

inline const std::error_category& windows_category()
{
    static const WindowsErrorCategory category;
    return category;
}

inline std::error_code windows_error(DWORD code) { return {static_cast<int>(code), windows_category()}; }

// An error as the user reads it: a C-library error of the standard library's file calls (an
// errno value, English text) is told in the system's words for its condition.
inline std::string windows_reason(const std::error_code& error)
{
    if (error.category() == std::generic_category())
        for (const WindowsErrorCondition& c : windows_error_conditions)
            if (error == c.condition) return windows_error_text(c.code);
    return error.message();
}
