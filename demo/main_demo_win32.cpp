// lirvan-service-demo.exe: the tool's window on the simulated module, for a first look and for
// training without hardware. The module moves as on a live CNC, driven by a timer of the
// window's message loop.
//
// Developer option (not for users): --screenshots DIR shows every page in turn, saves each as
// DIR/page-N.bmp after two status ticks, stops the CNC, saves the pages that follow the CNC
// state again as DIR/page-N-stopped.bmp, and quits. --startup-figures FILE writes the time
// from the process's creation to the window shown and painted, and the peak working set then
// (one line, "ms bytes"), and quits.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/carried_update.h"
#include "app/win32/win32_window.h"
#include "demo/startup_figures_win32.h"
#include "demo/demo_core.h"
#include "define/win32/system_library.h"

namespace {

constexpr UINT_PTR clock_timer = 1;  // ids of the demo's own timers, below the controls' ids
constexpr UINT_PTR tour_timer = 2;
constexpr UINT tour_step_ms = 2300;

DemoCore* demo_core = nullptr;
ULONGLONG demo_started = 0;

void CALLBACK advance_demo(HWND, UINT, UINT_PTR, DWORD)
{
    demo_core->advance_to(static_cast<std::int64_t>(GetTickCount64() - demo_started));
}

// Saves the window's client area, as the screen shows it, as a 24-bit bitmap file.
bool save_client_area(HWND hwnd, const std::wstring& file)
{
    RECT client;
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    const int w = client.right, h = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD row = static_cast<DWORD>((w * 3 + 3) & ~3);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(row) * static_cast<std::size_t>(h));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file_header{};
    file_header.bfType = 0x4D42;  // "BM"
    file_header.bfOffBits = sizeof(file_header) + sizeof(header);
    file_header.bfSize = file_header.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(file.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(&file_header, sizeof(file_header), 1, out) == 1 &&
                    std::fwrite(&header, sizeof(header), 1, out) == 1 &&
                    std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

// The page tour of --screenshots: one step per tour_step_ms.
struct Tour {
    Win32Window* window = nullptr;
    std::wstring directory;
    int page = 0;
    bool stopped = false;
    bool failed = false;
};
Tour tour;

void CALLBACK tour_step(HWND hwnd, UINT, UINT_PTR, DWORD)
{
    // The page shown for a whole step (two status ticks) is pictured, then the next is shown.
    const std::wstring name = L"page-" + std::to_wstring(tour.page) + (tour.stopped ? L"-stopped" : L"") + L".bmp";
    if (!save_client_area(hwnd, tour.directory + L"\\" + name)) tour.failed = true;
    const int last = tour.stopped ? page_kp_dac : page_network;
    if (++tour.page > last) {
        if (tour.stopped) {
            KillTimer(hwnd, tour_timer);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return;
        }
        tour.stopped = true;
        tour.page = page_ke_bfos;
        tour.window->set_active_page(page_config);
        tour.window->form().click(Control::Button8);  // the CNC runs at start: stop it
    }
    // The hidden network page too, for its picture.
    tour.window->set_active_page(tour.page);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command)
{
    StartupPhases phases;
    phases.mark("loaded");  // the program and its DLLs loaded, the C++ run-time started
    restrict_dll_search();  // the file dialogs' library, as every DLL loaded later, from the system folder
    std::wstring screenshots, figures;
    for (int i = 1; i + 1 < __argc; ++i) {
        if (std::wstring(__wargv[i]) == L"--screenshots") screenshots = __wargv[i + 1];
        if (std::wstring(__wargv[i]) == L"--startup-figures") figures = __wargv[i + 1];
    }

    const CarriedImage image = carried_update_image();
    DemoCore demo(image.version_word);
    demo_core = &demo;
    int code = 0;
    {
        Win32Window window(demo.hid(), image);
        phases.mark("built");  // the window and the controls of its first page and panel
        window.start();
        phases.mark("started");  // the window's logic started (FormCreate)
        window.show(show_command);
        phases.mark("shown");  // shown and painted
        demo_started = GetTickCount64();
        SetTimer(window.hwnd(), clock_timer, 100, advance_demo);
        if (!screenshots.empty()) {
            CreateDirectoryW(screenshots.c_str(), nullptr);
            tour = {&window, screenshots, 0, false, false};
            SetTimer(window.hwnd(), tour_timer, tour_step_ms, tour_step);
        }
        if (!figures.empty()) {
            write_startup_figures(figures.c_str(), phases);
            PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
        }
        code = window.run();
    }
    demo_core = nullptr;
    return tour.failed ? 1 : code;
}
