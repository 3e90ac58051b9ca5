// The few calls of the command line that differ between platforms. CMake builds the source of
// the platform in hand (platform_<platform>.cpp); the rest of cli/ knows no platform.
#pragma once

#include <ctime>
#include <filesystem>

// The calendar time of `t` in UTC.
std::tm utc_time(std::time_t t);
// Whether the standard error stream is a terminal (a progress bar is drawn only there).
bool stderr_is_terminal();
// This process's id, for names no other process in a folder uses.
unsigned long process_id();
// Flushes the entries of `folder` (a rename inside it) to the disk where the system allows it;
// a folder that cannot be flushed is left to the system's write-back.
void sync_folder(const std::filesystem::path& folder);

// While one lives, Ctrl+C (SIGINT and SIGTERM on Linux; the console's Ctrl+C and Ctrl+Break
// on Windows) only raises a flag, so that a long command ends cleanly at its next step and
// keeps what it has. A report call that the signal cuts short fails; the caller asks
// interrupted() before taking that for a lost module. The previous handling comes back when
// it is destroyed. One at a time.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    bool interrupted() const;
};
