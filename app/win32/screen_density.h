// The density of the screen a window stands on, in dots per inch (96 is the form's own). The
// system says it per window from Windows 10 1607 on (GetDpiForWindow, user32.dll) and per
// monitor from Windows 8.1 on (GetDpiForMonitor, shcore.dll); Windows 7 and 8 know only the one
// density of the whole system (the screen's LOGPIXELSY). The two newer calls are looked up at
// run time, so that the program still starts where they are missing.
#pragma once

#include <windows.h>

struct DensityCalls {
    UINT(WINAPI* dpi_for_window)(HWND) = nullptr;  // GetDpiForWindow; 0 when it cannot say
    // GetDpiForMonitor(monitor, kind, x, y); kind 0 is the effective density, the one to draw at.
    HRESULT(WINAPI* dpi_for_monitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
    UINT (*system_dpi)() = nullptr;  // the system's one density
};

// This system's calls: the newer ones where this Windows has them, looked up once. shcore.dll
// is loaded by its full path in the system folder (Windows 7 has none there, and a file of that
// name beside the program must not be taken for it) when the monitor's density is first asked
// for, and stays loaded; where it is missing, that call fails.
const DensityCalls& system_density_calls();

// The density of the window's screen: the window's own where the system can say it, else its
// monitor's, else the system's.
UINT window_dpi(HWND window, const DensityCalls& calls = system_density_calls());
