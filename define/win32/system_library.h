// System DLLs loaded from the system folder only. A program started from a USB stick or the
// Downloads folder must never load a DLL planted beside it under a system DLL's name: the
// plain search by name looks in the program's own folder first, and only the Known DLLs (the
// ones the programs import statically here) are exempt from that search.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

// Narrows the DLL search of this process before anything is loaded at run time: the current
// folder leaves the search, and where the system can (Windows 8, Windows 7 with its update
// KB2533623) a DLL loaded by name comes from the system folder alone. Looked up at run time, so
// that a Windows 7 without the update still starts. Called first thing by each program.
void restrict_dll_search();

// The file `name` in the system folder (C:\Windows\System32 for a 64-bit program); empty when
// the system does not say where that is.
std::wstring system_folder_file(const wchar_t* name);

// Loads the system DLL `name` from the system folder, and what it needs from there too,
// without the system's file-error box; null when it is not there.
HMODULE load_system_library(const wchar_t* name);

// An entry point of a system DLL bound when first asked for, not imported: the DLL is loaded
// from the system folder (load_system_library) then, not at the program's start, and stays
// loaded for the rest of the run. A DLL or entry point that is not there gives null, and the
// system's error code for that to GetLastError, at every asking. Safe from any thread.
class LateEntry {
public:
    constexpr LateEntry(const wchar_t* library, const char* name) : library_(library), name_(name) {}
    LateEntry(const LateEntry&) = delete;
    LateEntry& operator=(const LateEntry&) = delete;

    FARPROC get();
    // The entry point as the function type Fn.
    template <typename Fn>
    Fn as()
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(get()));
    }

private:
    const wchar_t* library_;
    const char* name_;
    std::once_flag bound_;
    FARPROC entry_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};
