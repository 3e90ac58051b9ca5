// Writes every window of the Win32 window on the demo's module as text, so that two builds can
// be compared line by line (a change of the window's code that should show nothing different
// shows nothing different). Usage: widget_dump.exe FILE
//
// First what the logic reads through the view right after start-up and one status tick; then
// each page is put forward once (the hidden one too) and the whole tree is written: class, id,
// text, place, styles, state, font, items and lines, tabs and tool tips; last a tick on each
// page and the tree once more.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/win32/win32_window.h"
#include "demo/demo_core.h"

namespace {

FILE* out = nullptr;

void line(const std::string& text) { std::fprintf(out, "%s\n", text.c_str()); }

std::string hex(unsigned long value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08lx", value);
    return buffer;
}

std::string window_text(HWND hwnd)
{
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return narrow(text);
}

std::string name_of(HWND hwnd)
{
    const auto id = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
    if (id >= Win32Window::control_id_base && id < Win32Window::control_id_base + control_count)
        return std::string(control_name(static_cast<Control>(id - Win32Window::control_id_base)));
    std::string unnamed = "#";
    unnamed += std::to_string(id);
    return unnamed;
}

std::string font_of(HWND hwnd)
{
    auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    if (font == nullptr) return "none";
    LOGFONTW face{};
    GetObjectW(font, sizeof face, &face);
    return narrow(face.lfFaceName) + " " + std::to_string(face.lfHeight) + " w" + std::to_string(face.lfWeight);
}

void contents(HWND hwnd, const std::string& indent)
{
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    const std::wstring kind = cls;
    if (kind == L"ComboBox") {
        const auto n = SendMessageW(hwnd, CB_GETCOUNT, 0, 0);
        line(indent + "  selected " + std::to_string(SendMessageW(hwnd, CB_GETCURSEL, 0, 0)));
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t item[256] = {};
            SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            line(indent + "  item " + narrow(item));
        }
    } else if (kind == L"ListBox") {
        const auto n = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t item[256] = {};
            SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            line(indent + "  line " + narrow(item));
        }
    } else if (kind == L"SysTabControl32") {
        const auto n = SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0);
        line(indent + "  current " + std::to_string(SendMessageW(hwnd, TCM_GETCURSEL, 0, 0)));
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t text[64] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 64;
            SendMessageW(hwnd, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            RECT r{};
            SendMessageW(hwnd, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
            line(indent + "  tab " + narrow(text) + " " + std::to_string(r.left) + "," + std::to_string(r.right));
        }
    } else if (kind == L"msctls_progress32") {
        line(indent + "  position " + std::to_string(SendMessageW(hwnd, PBM_GETPOS, 0, 0)) + " of " +
             std::to_string(SendMessageW(hwnd, PBM_GETRANGE, FALSE, 0)));
    } else if (kind == L"Button") {
        line(indent + "  check " + std::to_string(SendMessageW(hwnd, BM_GETCHECK, 0, 0)));
    }
}

void tree(HWND hwnd, const std::string& indent)
{
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    RECT r;
    GetWindowRect(hwnd, &r);
    if (HWND parent = GetParent(hwnd)) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    line(indent + narrow(cls) + " " + name_of(hwnd) + " \"" + window_text(hwnd) + "\" " + std::to_string(r.left) +
         "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top) + " style " + hex(static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE))) +
         " ex " + hex(static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE))) + " enabled " +
         std::to_string(IsWindowEnabled(hwnd) != FALSE) + " visible " + std::to_string(IsWindowVisible(hwnd) != FALSE) +
         " font " + font_of(hwnd));
    contents(hwnd, indent);
    // Children in their order on the screen, which is also the keyboard's order.
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        tree(child, indent + "  ");
}

void tool_tips(HWND window)
{
    // The tool-tip window is a popup owned by the main window.
    HWND tips = nullptr;
    for (HWND w = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr))
        if (GetWindow(w, GW_OWNER) == window) tips = w;
    if (tips == nullptr) return;
    const auto n = SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t text[256] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        SendMessageW(tips, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool));
        line("tip " + name_of(reinterpret_cast<HWND>(tool.uId)) + " \"" + narrow(text) + "\"");
    }
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void read_through_view(Win32Window& window)
{
    for (std::size_t i = 0; i < control_count; ++i) {
        const auto c = static_cast<Control>(i);
        line("view " + std::string(control_name(c)) + " \"" + window.text(c) + "\" items " +
             std::to_string(window.combo_count(c)) + " index " + std::to_string(window.combo_index(c)) +
             " checked " + std::to_string(window.checked(c)));
    }
    line("view page " + std::to_string(window.active_page()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (__argc < 2) return 2;
    out = _wfopen(__wargv[1], L"w");
    if (out == nullptr) return 2;
    DemoCore demo(0x00043600);
    static const std::uint8_t image[600] = {};
    {
        Win32Window window(demo.hid(), CarriedImage{image, sizeof image, 0x00043600});
        window.start();
        window.show(SW_SHOWNORMAL);
        pump();
        window.form().click(Control::Timer1);
        read_through_view(window);
        for (int page = page_config; page <= page_network; ++page) window.set_active_page(page);
        window.set_active_page(page_config);
        pump();
        line("--- after every page was shown");
        tree(window.hwnd(), "");
        tool_tips(window.hwnd());
        for (int page = page_config; page <= page_network; ++page) {
            window.set_active_page(page);
            window.form().click(Control::Timer1);
        }
        window.set_active_page(page_config);
        pump();
        line("--- after a tick on every page");
        read_through_view(window);
        tree(window.hwnd(), "");
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
