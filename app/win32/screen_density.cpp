#include "app/win32/screen_density.h"

#include "define/win32/system_library.h"

namespace {

UINT screen_logpixels()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// FARPROC to the entry point's own type.
template <typename F> F typed(FARPROC entry)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(entry));
}

// GetDpiForMonitor bound when first called: wherever the system says a window's own density,
// that answers first, and shcore.dll is never loaded. Without it the call fails.
LateEntry monitor_density{L"shcore.dll", "GetDpiForMonitor"};

HRESULT WINAPI late_dpi_for_monitor(HMONITOR monitor, int kind, UINT* x, UINT* y)
{
    const auto call = monitor_density.as<decltype(DensityCalls::dpi_for_monitor)>();
    return call != nullptr ? call(monitor, kind, x, y) : E_NOTIMPL;
}

DensityCalls look_up_density_calls()
{
    DensityCalls calls;
    calls.system_dpi = screen_logpixels;
    if (HMODULE user = GetModuleHandleW(L"user32.dll"))
        calls.dpi_for_window = typed<decltype(calls.dpi_for_window)>(GetProcAddress(user, "GetDpiForWindow"));
    calls.dpi_for_monitor = late_dpi_for_monitor;
    return calls;
}

}  // namespace

const DensityCalls& system_density_calls()
{
    static const DensityCalls calls = look_up_density_calls();
    return calls;
}

UINT window_dpi(HWND window, const DensityCalls& calls)
{
    if (calls.dpi_for_window != nullptr) {
        const UINT dpi = calls.dpi_for_window(window);
        if (dpi != 0) return dpi;
    }
    if (calls.dpi_for_monitor != nullptr) {
        UINT x = 0, y = 0;
        const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        if (monitor != nullptr && SUCCEEDED(calls.dpi_for_monitor(monitor, 0, &x, &y)) && y != 0) return y;
    }
    return calls.system_dpi != nullptr ? calls.system_dpi() : 96;
}
