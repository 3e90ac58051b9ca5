// The start-up figures of a Windows program with a window: milliseconds from the process's
// creation to now (call it once the window is shown and painted) and the peak working set so
// far, then the milliseconds of each phase marked on the way. Written as one line
// "startup_ms peak_working_set_bytes [phase=ms ...]" to a file. The demo's option
// --startup-figures writes them; bench/win32's minimal windows, its yardsticks, too.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdio>

// Milliseconds from the process's creation to now.
inline double startup_ms_now()
{
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

// The ends of the phases of a start-up, by name, in the order they come.
struct StartupPhases {
    struct Mark {
        const char* name;
        double ms;
    };
    Mark marks[8]{};
    int count = 0;
    void mark(const char* name)
    {
        if (count < 8) marks[count++] = {name, startup_ms_now()};
    }
};

inline bool write_startup_figures(const wchar_t* file, const StartupPhases& phases = {})
{
    const double startup_ms = startup_ms_now();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    FILE* out = _wfopen(file, L"w");
    if (out == nullptr) return false;
    std::fprintf(out, "%.1f %llu", startup_ms, static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    double start = 0;
    for (int i = 0; i < phases.count; ++i) {
        std::fprintf(out, " %s=%.1f", phases.marks[i].name, phases.marks[i].ms - start);
        start = phases.marks[i].ms;
    }
    std::fprintf(out, "\n");
    return std::fclose(out) == 0;
}
