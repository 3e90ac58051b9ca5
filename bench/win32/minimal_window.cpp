// The yardstick of the demo's start-up figures: the least a Win32 program with a window does
// (one class, one window with a caption, shown and painted, then quits), measured the same
// way. Usage: minimal_window.exe --startup-figures FILE
#include <windows.h>

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
