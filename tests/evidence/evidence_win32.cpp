// lirvan-evidence.exe (Windows): writes DIR\widgets-win32.txt, every child window of the Win32
// window with its class, id, place, text, styles, items and font (as built, after start-up, and
// after a tick on each page and a configuration read on the demo's module), and DIR\session.log,
// the scripted session of scripted_run.h. Run it on two builds and compare the folders.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <fstream>
#include <iostream>
#include <string>

#include "app/win32/win32_window.h"
#include "demo/demo_core.h"
#include "scripted_run.h"

namespace {

std::string text_of(HWND hwnd)
{
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return narrow(text);
}

void dump_one(std::ostream& out, HWND hwnd)
{
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    out << narrow(cls) << " id " << GetDlgCtrlID(hwnd) << " parent " << GetDlgCtrlID(GetParent(hwnd)) << ' '
        << r.left << ',' << r.top << ' ' << r.right - r.left << 'x' << r.bottom - r.top << " style " << std::hex
        << GetWindowLongW(hwnd, GWL_STYLE) << " ex " << GetWindowLongW(hwnd, GWL_EXSTYLE) << std::dec
        << (IsWindowEnabled(hwnd) ? "" : " disabled") << (IsWindowVisible(hwnd) ? "" : " invisible") << " text '"
        << text_of(hwnd) << "'";
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0))) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof lf, &lf);
        out << " font " << narrow(lf.lfFaceName) << ' ' << lf.lfHeight << ' ' << lf.lfWeight;
    }
    const std::wstring c = cls;
    if (c == L"ComboBox") {
        out << " index " << SendMessageW(hwnd, CB_GETCURSEL, 0, 0) << " items";
        const auto n = SendMessageW(hwnd, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t item[256] = {};
            SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            out << " | " << narrow(item);
        }
    } else if (c == L"ListBox") {
        out << " rows";
        const auto n = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t item[256] = {};
            SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            out << " | " << narrow(item);
        }
    } else if (c == L"Button") {
        out << " checked " << SendMessageW(hwnd, BM_GETCHECK, 0, 0);
    } else if (c == L"msctls_progress32") {
        out << " value " << SendMessageW(hwnd, PBM_GETPOS, 0, 0);
    } else if (c == L"SysTabControl32") {
        out << " current " << SendMessageW(hwnd, TCM_GETCURSEL, 0, 0) << " tabs";
        const auto n = SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t item[128] = {};
            TCITEMW tab{};
            tab.mask = TCIF_TEXT;
            tab.pszText = item;
            tab.cchTextMax = 128;
            SendMessageW(hwnd, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
            out << " | " << narrow(item);
        }
    }
    out << '\n';
}

void dump(std::ostream& out, Win32Window& window)
{
    out << "window '" << text_of(window.hwnd()) << "'\n";
    EnumChildWindows(
        window.hwnd(),
        [](HWND child, LPARAM data) -> BOOL {
            dump_one(*reinterpret_cast<std::ostream*>(data), child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::cerr << "usage: lirvan-evidence DIR\n";
        return 64;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    std::ofstream widgets(dir / "widgets-win32.txt");
    {
        const std::array<std::uint8_t, 600> image{};
        DemoCore demo(0x00043600);
        Win32Window window(demo.hid(), CarriedImage{image.data(), image.size(), 0x00043600});
        widgets << "--- as built\n";
        dump(widgets, window);
        window.start();
        pump();
        widgets << "--- after start-up\n";
        dump(widgets, window);
        std::int64_t now = 0;
        for (int page = 0; page < 10; ++page) {
            window.set_active_page(page);
            now += 1000;
            demo.advance_to(now);
            window.form().click(Control::Timer1);
        }
        window.set_active_page(0);
        window.form().click(Control::Timer1);
        window.form().click(Control::Button1);
        pump();
        widgets << "--- after a tick on each page and a configuration read\n";
        dump(widgets, window);
    }
    std::ofstream form(dir / "form.txt");
    dump_form_table(form);
    std::ofstream session(dir / "session.log");
    run_scripted_session(dir / "scratch", session);
    return 0;
}
