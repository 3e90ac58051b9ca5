// The command line's platform calls on Windows.
#include "cli/platform.h"

#include <windows.h>
#include <io.h>

#include <atomic>
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

namespace {

std::atomic<bool> interrupt_raised{false};

// Runs on a thread of its own that the console starts; TRUE keeps the process alive.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    interrupt_raised = true;
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch()
{
    interrupt_raised = false;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptWatch::~InterruptWatch() { SetConsoleCtrlHandler(on_console_event, FALSE); }

bool InterruptWatch::interrupted() const { return interrupt_raised; }
