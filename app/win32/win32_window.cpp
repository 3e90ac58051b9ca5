#include "app/win32/win32_window.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

constexpr wchar_t window_class[] = L"LirvanServiceWindow";
constexpr UINT dpi_changed_message = 0x02E0;  // WM_DPICHANGED: the new density in both words

void register_window_class(WNDPROC window_proc)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = window_class;
    // The executable's icon (resource 1), when it has one.
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = wc.hIcon;
    RegisterClassExW(&wc);
}

// Gives the window the form's client size at a scale, in the middle of the work area of its
// monitor. The frame is measured on the window itself, as the system draws it at that
// monitor's density.
void place_centred(HWND window, double scale)
{
    const int client_w = static_cast<int>(form_client_width * scale + 0.5);
    const int client_h = static_cast<int>(form_client_height * scale + 0.5);
    RECT outer{}, inner{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &inner);
    const int width = client_w + (outer.right - outer.left) - (inner.right - inner.left);
    const int height = client_h + (outer.bottom - outer.top) - (inner.bottom - inner.top);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{};
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        work = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Win32Window::Win32Window(Hid& hid, CarriedImage update_image, const DensityCalls& density)
    : form_(*this, hid, update_image), failures_(hid)
{
    // The system would put a "not responding" stand-in over a window that has not taken its
    // messages for 5 s; a firmware stream takes longer. The window answers in its turns
    // between the reports (keep_alive), and the stand-in, whose close button would end the
    // program in the middle of the stream, is never made.
    DisableProcessWindowsGhosting();
    const INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES |
                                          ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);
    register_window_class(window_proc);

    // One fixed window: title bar with the system menu, minimise and close; no resizing. The
    // layout is in pixels of a 96 dpi screen; a denser screen gets it scaled up. The window is
    // made on the primary monitor first, hidden; then it takes the density of the monitor it
    // stands on (which may differ from the system's, set when the user signed in), and its
    // size and place from that.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND window = CreateWindowExW(0, window_class, widen(module_caption).c_str(), style, work.left, work.top,
                                  form_client_width, form_client_height, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), this);
    if (window == nullptr) throw std::runtime_error("CreateWindowExW failed");
    const double scale = window_dpi(window, density) / 96.0;
    place_centred(window, scale);
    build(window, scale);
    start_routing();
}

Win32Window::~Win32Window()
{
    if (HWND window = hwnd()) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

void Win32Window::start() { form_.create(); }

void Win32Window::show(int show_command)
{
    ShowWindow(hwnd(), show_command);
    UpdateWindow(hwnd());
}

int Win32Window::run()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (pre_translate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool Win32Window::pre_translate(MSG& msg)
{
    HWND window = hwnd();
    if (window == nullptr || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
        step_page((GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return IsDialogMessageW(window, &msg) != FALSE;
}

void Win32Window::step_page(bool back)
{
    const int count = page_count();
    if (count == 0) return;
    int page = active_page();
    for (int step = 0; step < count; ++step) {
        page = (page + (back ? count - 1 : 1)) % count;
        bool offered = false;
        for (int shown : tab_pages()) offered = offered || shown == page;
        if (offered) break;
    }
    user_page_change(page);
}

void Win32Window::user_page_change(int page)
{
    if (page == active_page()) return;
    show_page(page);
    form_.change(Control::PageControl1);
}

void Win32Window::change_dpi(int dpi, const RECT& suggested)
{
    // Moved to a screen of another density: the same layout at the new scale, in the place
    // the system proposes.
    rescale(dpi / 96.0);
    SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::close()
{
    if (closed_) return;
    closed_ = true;
    set_timer_enabled(Control::Timer1, false);
    set_timer_enabled(Control::Timer2, false);
    form_.close();
}

LRESULT CALLBACK Win32Window::window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        auto* window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, msg, wparam, lparam);
    return window->handle(hwnd, msg, wparam, lparam);
}

LRESULT Win32Window::handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND: on_command(wparam); return 0;
    case WM_NOTIFY: on_notify(*reinterpret_cast<const NMHDR*>(lparam)); return 0;
    case WM_TIMER:
        if (on_timer(wparam)) return 0;
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: return on_control_colour(hwnd, msg, wparam, lparam);
    case WM_SETCURSOR:
        if (hourglass()) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case progress_message: on_progress_message(); return 0;
    case dpi_changed_message:
        change_dpi(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_CLOSE:
        // Sent in the window's turn inside a transfer: closing now would close the module
        // under it. Posted again, it waits in the queue for the end of the transfer.
        if (form_.keeping_alive()) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        close();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        forget_window();
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

void Win32Window::on_command(WPARAM wparam)
{
    const UINT_PTR id = LOWORD(wparam);
    if (!routing() || id < control_id_base || id >= control_id_base + control_count) return;
    const auto c = static_cast<Control>(id - control_id_base);
    const WORD code = HIWORD(wparam);
    switch (kind(c)) {
    case FormKind::button:
        if (code == BN_CLICKED) form_.click(c);
        break;
    case FormKind::pick_list:
        if (code == CBN_SELCHANGE) form_.change(c);  // the user's pick only
        break;
    case FormKind::edit:
        if (code == EN_CHANGE) form_.change(c);
        break;
    default: break;
    }
    failures_.report();
}

void Win32Window::on_notify(const NMHDR& note)
{
    if (!routing() || note.hwndFrom != control(Control::PageControl1) || note.code != TCN_SELCHANGE) return;
    const auto tab = static_cast<int>(SendMessageW(note.hwndFrom, TCM_GETCURSEL, 0, 0));
    if (tab >= 0 && tab < static_cast<int>(tab_pages().size()))
        user_page_change(tab_pages()[static_cast<std::size_t>(tab)]);
}

bool Win32Window::on_timer(UINT_PTR id)
{
    for (Control timer : {Control::Timer1, Control::Timer2}) {
        if (id != control_id_base + static_cast<UINT_PTR>(timer)) continue;
        form_.click(timer);
        failures_.report();
        return true;
    }
    return false;
}

LRESULT Win32Window::on_control_colour(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    // The system's colours, with red text for a control the logic marked red.
    const LRESULT brush = DefWindowProcW(hwnd, msg, wparam, lparam);
    const auto id = static_cast<UINT_PTR>(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)));
    if (id >= control_id_base && id < control_id_base + control_count &&
        red(static_cast<Control>(id - control_id_base)))
        SetTextColor(reinterpret_cast<HDC>(wparam), RGB(255, 0, 0));
    return brush;
}
