// System DLLs loaded from the system folder only. A program started from a USB stick or the
// Downloads folder must never load a DLL planted beside it under a system DLL's name: the
// plain search by name looks in the program's own folder first, and only the Known DLLs (the
// ones the programs import statically here) are exempt from that search.
#pragma once

#include <windows.h>

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
