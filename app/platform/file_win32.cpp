// Files on Windows: file HANDLEs.
#include "app/platform/file.h"

#include <windows.h>

#include <algorithm>

#include "define/wide_text.h"
#include "define/windows_error.h"

namespace {

// The system's error, told in its own words (define/windows_error.h).
std::error_code last_error() { return windows_error(GetLastError()); }

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::string file_error_reason(const std::error_code& error) { return windows_reason(error); }

PlatformFile::~PlatformFile() { close(); }

std::error_code PlatformFile::open_for_reading(const std::string& name)
{
    close();
    regular_ = false;
    // Backup semantics let a folder open too, so that it is named for what it is. Opening a
    // pipe or a port does not wait; what was opened is asked below.
    const HANDLE h = CreateFileW(widen(name).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_error();
    handle_ = reinterpret_cast<std::intptr_t>(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info))
        regular_ = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    if (!regular_) close();
    return {};
}

std::error_code PlatformFile::create_new(const std::string& name)
{
    close();
    const HANDLE h = CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_error();
    handle_ = reinterpret_cast<std::intptr_t>(h);
    // A device's name (NUL, COM1, ...) opens the device in any folder: never write to one.
    regular_ = GetFileType(h) == FILE_TYPE_DISK;
    if (regular_) return {};
    close();
    return windows_error(ERROR_INVALID_NAME);
}

std::error_code PlatformFile::read(std::span<std::uint8_t> out, std::size_t& got)
{
    got = 0;
    while (got < out.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 30));
        if (!ReadFile(as_handle(handle_), out.data() + got, want, &n, nullptr)) return last_error();
        if (n == 0) break;
        got += n;
    }
    return {};
}

std::error_code PlatformFile::write_all(std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(as_handle(handle_), bytes.data() + done, want, &n, nullptr)) return last_error();
        if (n == 0) return windows_error(ERROR_WRITE_FAULT);
        done += n;
    }
    return {};
}

std::error_code PlatformFile::sync()
{
    return FlushFileBuffers(as_handle(handle_)) ? std::error_code{} : last_error();
}

std::error_code PlatformFile::close()
{
    if (handle_ == -1) return {};
    const HANDLE h = as_handle(handle_);
    handle_ = -1;
    return CloseHandle(h) ? std::error_code{} : last_error();
}
