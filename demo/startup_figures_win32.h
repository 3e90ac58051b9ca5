// The start-up figures of a Windows program with a window: milliseconds from the process's
// creation to now (call it once the window is shown and painted) and the peak working set so
// far. Written as one line "startup_ms peak_working_set_bytes" to a file. The demo's option
// --startup-figures writes them; bench/win32's minimal window, its yardstick, too.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdio>

inline bool write_startup_figures(const wchar_t* file)
{
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const double startup_ms = static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    FILE* out = _wfopen(file, L"w");
    if (out == nullptr) return false;
    std::fprintf(out, "%.1f %llu\n", startup_ms, static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return std::fclose(out) == 0;
}
