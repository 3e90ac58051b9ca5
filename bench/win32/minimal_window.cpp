// The yardsticks of the demo's start-up figures: the least a Win32 program with a window does
// (one class, one window with a caption, shown and painted, then quits), measured the same
// way. Built twice: bare, and as a themed program (minimal_themed_window.exe) with the tool's
// manifest — common controls 6, the Windows versions, per-monitor density — and one Cyrillic
// label in the window's face, the least any window of the tool's look pays for.
// Usage: minimal_window.exe --startup-figures FILE
#include <windows.h>
#ifdef LIRVAN_THEMED_YARDSTICK
#include <commctrl.h>
#endif

#include <string>

#include "demo/startup_figures_win32.h"

namespace {

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command)
{
    std::wstring figures;
    for (int i = 1; i + 1 < __argc; ++i)
        if (std::wstring(__wargv[i]) == L"--startup-figures") figures = __wargv[i + 1];

#ifdef LIRVAN_THEMED_YARDSTICK
    const INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);
#endif
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"MinimalWindow";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Окно", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 712, 340, nullptr, nullptr, instance, nullptr);
#ifdef LIRVAN_THEMED_YARDSTICK
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma");
    HWND label = CreateWindowExW(0, WC_STATICW, L"Надпись по-русски", WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 12,
                                 240, 18, hwnd, nullptr, instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
#endif
    ShowWindow(hwnd, show_command);
    UpdateWindow(hwnd);
    if (!figures.empty()) {
        write_startup_figures(figures.c_str());
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
