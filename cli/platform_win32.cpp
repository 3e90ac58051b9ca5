// The command line's platform calls on Windows.
#include "cli/platform.h"

#include <windows.h>
#include <io.h>

#include <cstdio>

std::tm utc_time(std::time_t t)
{
    std::tm utc{};
    gmtime_s(&utc, &t);
    return utc;
}

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

unsigned long process_id() { return GetCurrentProcessId(); }

// A folder's entries reach the disk with the files' own flushes on NTFS; nothing to do.
void sync_folder(const std::filesystem::path&) {}
