#include "app/win32/win32_window.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>

namespace {

constexpr wchar_t window_class[] = L"LirvanServiceWindow";
constexpr wchar_t holder_class[] = L"LirvanServiceHolder";
constexpr std::size_t frame_count = static_cast<std::size_t>(Frame::ea_cnc) + 1;
// Holder windows with this property draw a raised edge (the status panel).
constexpr wchar_t raised_property[] = L"LirvanRaised";

// The window has a fixed layout in pixels, so its fonts have fixed pixel heights too, as in the
// Linux window. Each role names the faces it takes, first found first.
struct FontChoice {
    std::array<const wchar_t*, 4> faces;
    int pixels;
    bool bold;
    bool fixed;
};
constexpr FontChoice font_choice(FontRole role)
{
    switch (role) {
    case FontRole::heading: return {{L"Tahoma", L"Segoe UI", L"DejaVu Sans", nullptr}, 13, true, false};
    case FontRole::list: return {{L"Consolas", L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono"}, 12, false, true};
    case FontRole::bit_row: return {{L"Consolas", L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono"}, 13, false, true};
    case FontRole::ui: break;
    }
    return {{L"Tahoma", L"Segoe UI", L"DejaVu Sans", nullptr}, 11, false, false};
}

int CALLBACK note_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool face_exists(const wchar_t* face)
{
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, note_found, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

HFONT make_font(FontRole role, double scale)
{
    const FontChoice choice = font_choice(role);
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(choice.pixels * scale + 0.5);
    font.lfWeight = choice.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = RUSSIAN_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = choice.fixed ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_SWISS;
    for (const wchar_t* face : choice.faces) {
        if (face != nullptr && face_exists(face)) {
            lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
            break;
        }
    }
    return CreateFontIndirectW(&font);
}

DWORD static_alignment(Align align)
{
    switch (align) {
    case Align::centre: return SS_CENTER | SS_CENTERIMAGE;
    case Align::right: return SS_RIGHT | SS_CENTERIMAGE;
    case Align::left_bottom: return SS_LEFT;  // wraps from the top; no bottom alignment here
    case Align::left: break;
    }
    return SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
}

}  // namespace

std::wstring widen(const std::string& text)
{
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

Win32Window::Win32Window(Hid& hid, CarriedImage update_image) : form_(*this, hid, update_image)
{
    const INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES |
                                          ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);

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
    wc.lpfnWndProc = holder_proc;
    wc.lpszClassName = holder_class;
    wc.hIcon = wc.hIconSm = nullptr;
    RegisterClassExW(&wc);

    // The layout is in pixels of a 96 dpi screen; a denser screen gets it scaled up.
    HDC screen = GetDC(nullptr);
    scale_ = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
    ReleaseDC(nullptr, screen);
    for (std::size_t role = 0; role < fonts_.size(); ++role)
        fonts_[role] = make_font(static_cast<FontRole>(role), scale_);

    // One fixed window: title bar with the system menu, minimise and close; no resizing.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, scaled(form_client_width), scaled(form_client_height)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - width) / 2;
    const int y = work.top + (work.bottom - work.top - height) / 2;
    hwnd_ = CreateWindowExW(0, window_class, widen(module_caption).c_str(), style, x, y, width, height,
                            nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) throw std::runtime_error("CreateWindowExW failed");
    controls_[static_cast<std::size_t>(Control::MainForm)] = hwnd_;
    build();
    routing_ = true;
}

Win32Window::~Win32Window()
{
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : fonts_) DeleteObject(font);
}

int Win32Window::scaled(int pixels) const { return static_cast<int>(pixels * scale_ + 0.5); }

HWND Win32Window::make_child(const wchar_t* window_class_name, const std::wstring& text, DWORD style,
                             DWORD ex_style, HWND parent, const FormRect& rect, POINT offset,
                             std::optional<Control> name, FontRole font)
{
    const auto id = name ? control_id_base + static_cast<UINT_PTR>(*name) : static_cast<UINT_PTR>(0xFFFF);
    HWND child = CreateWindowExW(ex_style, window_class_name, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                 scaled(rect.x + offset.x), scaled(rect.y + offset.y), scaled(rect.w),
                                 scaled(rect.h), parent, reinterpret_cast<HMENU>(id),
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[static_cast<std::size_t>(font)]), FALSE);
    placed_.push_back({child, {rect.x + offset.x, rect.y + offset.y, rect.w, rect.h}, font});
    return child;
}

void Win32Window::build()
{
    struct Holder {
        HWND hwnd = nullptr;
        POINT offset{};  // of the frame's origin in the holder window (group boxes share their page)
    };
    std::array<Holder, frame_count> holders{};
    holders[static_cast<std::size_t>(Frame::window)] = {hwnd_, {}};

    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, GetModuleHandleW(nullptr), nullptr);

    for (const FormControl& c : form_controls()) {
        const Holder holder = holders[static_cast<std::size_t>(c.parent)];
        HWND made = nullptr;
        Holder opened{};
        switch (c.kind) {
        case FormKind::page_control: {
            made = make_child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, 0, holder.hwnd, c.rect,
                              holder.offset, c.name, FontRole::ui);
            break;
        }
        case FormKind::page: {
            // A page is a holder window over the tab control's display area; the hidden page
            // gets no tab, so no click or key brings it forward.
            const int index = static_cast<int>(pages_.size());
            // Placed over the display area once all tabs are in (place_pages).
            HWND page = CreateWindowExW(WS_EX_CONTROLPARENT, holder_class, widen(c.text).c_str(),
                                        WS_CHILD | WS_CLIPSIBLINGS | (index == 0 ? WS_VISIBLE : 0),
                                        0, 0, 0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
            if (c.visible) {
                std::wstring caption = widen(c.text);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = caption.data();
                SendMessageW(control(Control::PageControl1), TCM_INSERTITEMW,
                             static_cast<WPARAM>(tab_pages_.size()), reinterpret_cast<LPARAM>(&item));
                tab_pages_.push_back(index);
            }
            pages_.push_back(page);
            opened = {page, {}};
            break;
        }
        case FormKind::panel: {
            made = CreateWindowExW(WS_EX_CONTROLPARENT, holder_class, L"", WS_CHILD | WS_VISIBLE,
                                   scaled(c.rect.x + holder.offset.x), scaled(c.rect.y + holder.offset.y),
                                   scaled(c.rect.w), scaled(c.rect.h), holder.hwnd, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
            SetPropW(made, raised_property, reinterpret_cast<HANDLE>(1));
            placed_.push_back({made, {c.rect.x + holder.offset.x, c.rect.y + holder.offset.y, c.rect.w, c.rect.h},
                               FontRole::ui});
            opened = {made, {}};
            break;
        }
        case FormKind::group: {
            made = make_child(WC_BUTTONW, widen(c.text), BS_GROUPBOX, 0, holder.hwnd, c.rect,
                              holder.offset, std::nullopt, FontRole::ui);
            // What the group holds stands in the group's holder window, offset by the group's place.
            opened = {holder.hwnd, {holder.offset.x + c.rect.x, holder.offset.y + c.rect.y}};
            break;
        }
        default:
            made = build_control(c, holder.hwnd, holder.offset);
            break;
        }
        if (c.name) {
            const auto index = static_cast<std::size_t>(*c.name);
            controls_[index] = made;
            kinds_[index] = c.kind;
            if (c.kind == FormKind::timer) intervals_[index] = static_cast<UINT>(c.interval_ms);
        }
        if (c.frame) holders[static_cast<std::size_t>(*c.frame)] = opened;
    }
    place_pages();
}

void Win32Window::place_pages()
{
    // Narrow tabs, so that the nine offered pages fit in one row without scroll arrows.
    HWND tabs = control(Control::PageControl1);
    SendMessageW(tabs, TCM_SETPADDING, 0, MAKELPARAM(scaled(3), scaled(3)));
    SendMessageW(tabs, TCM_SETMINTABWIDTH, 0, scaled(16));
    // The tab control's display area, below its row of tabs, in the window's coordinates.
    RECT area;
    GetClientRect(tabs, &area);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    MapWindowPoints(tabs, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    for (HWND page : pages_)
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
}

HWND Win32Window::build_control(const FormControl& c, HWND holder, POINT offset)
{
    const std::wstring text = widen(c.text);
    switch (c.kind) {
    case FormKind::label: {
        const DWORD style = c.wrap ? SS_LEFT : static_alignment(c.align);
        return make_child(WC_STATICW, text, style | SS_NOPREFIX, 0, holder, c.rect, offset, c.name, c.font);
    }
    case FormKind::value:
    case FormKind::letter:
        return make_child(WC_STATICW, text, static_alignment(c.align) | SS_NOPREFIX, WS_EX_STATICEDGE,
                          holder, c.rect, offset, c.name, c.font);
    case FormKind::button:
        return make_child(WC_BUTTONW, text, BS_PUSHBUTTON | WS_TABSTOP, 0, holder, c.rect, offset, c.name,
                          c.font);
    case FormKind::pick_list: {
        // The height given is that of the closed box; the list drops below it.
        FormRect rect = c.rect;
        rect.h += 200;
        HWND combo = make_child(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, holder,
                                rect, offset, c.name, c.font);
        for (const char* item : c.items)
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(c.selected), 0);
        return combo;
    }
    case FormKind::edit: {
        const DWORD align = c.align == Align::right ? ES_RIGHT : c.align == Align::centre ? ES_CENTER : ES_LEFT;
        return make_child(WC_EDITW, text, align | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, holder,
                          c.rect, offset, c.name, c.font);
    }
    case FormKind::preview:
        return make_child(WC_LISTBOXW, L"", LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE, holder, c.rect, offset, c.name, FontRole::list);
    case FormKind::check_box: {
        HWND box = make_child(WC_BUTTONW, L"", BS_AUTOCHECKBOX | WS_TABSTOP, 0, holder, c.rect, offset,
                              c.name, c.font);
        TOOLINFOW tip{};
        tip.cbSize = sizeof(tip);
        tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tip.hwnd = holder;
        tip.uId = reinterpret_cast<UINT_PTR>(box);
        std::wstring tip_text = text;
        tip.lpszText = tip_text.data();
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
        return box;
    }
    case FormKind::progress: {
        HWND bar = make_child(PROGRESS_CLASSW, L"", 0, 0, holder, c.rect, offset, c.name, c.font);
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return bar;
    }
    case FormKind::timer: return nullptr;  // a timer of the message loop, by its control's id
    case FormKind::register_row:
    case FormKind::counter_row:
    case FormKind::dac_row: {
        const FormRowParts parts = form_row_parts(c);
        make_child(WC_STATICW, text, static_alignment(Align::left) | SS_NOPREFIX, 0, holder, parts.caption,
                   offset, std::nullopt, FontRole::ui);
        HWND first = make_child(WC_STATICW, widen(form_row_text(c, true)),
                                static_alignment(c.align) | SS_NOPREFIX, WS_EX_STATICEDGE, holder,
                                parts.first, offset, c.name, c.font);
        if (c.kind == FormKind::counter_row) return first;
        HWND second = make_child(WC_STATICW, widen(form_row_text(c, false)),
                                 static_alignment(c.align) | SS_NOPREFIX, WS_EX_STATICEDGE, holder,
                                 parts.second, offset, c.partner, c.font);
        const auto partner = static_cast<std::size_t>(*c.partner);
        controls_[partner] = second;
        kinds_[partner] = FormKind::value;
        return first;
    }
    default: return nullptr;
    }
}

HWND Win32Window::page_window(int page) const
{
    return page >= 0 && page < static_cast<int>(pages_.size()) ? pages_[static_cast<std::size_t>(page)] : nullptr;
}

void Win32Window::start()
{
    route([this] { form_.FormCreate(); });
}

void Win32Window::show(int show_command)
{
    ShowWindow(hwnd_, show_command);
    UpdateWindow(hwnd_);
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
    if (hwnd_ == nullptr || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
        step_page((GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void Win32Window::step_page(bool back)
{
    const int count = static_cast<int>(pages_.size());
    if (count == 0) return;
    int page = active_page_;
    for (int step = 0; step < count; ++step) {
        page = (page + (back ? count - 1 : 1)) % count;
        bool offered = false;
        for (int shown : tab_pages_) offered = offered || shown == page;
        if (offered) break;
    }
    user_page_change(page);
}

void Win32Window::show_page(int page)
{
    if (page < 0 || page >= static_cast<int>(pages_.size())) return;
    int tab = -1;
    for (std::size_t i = 0; i < tab_pages_.size(); ++i)
        if (tab_pages_[i] == page) tab = static_cast<int>(i);
    SendMessageW(control(Control::PageControl1), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    for (std::size_t i = 0; i < pages_.size(); ++i)
        ShowWindow(pages_[i], static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
    active_page_ = page;
}

void Win32Window::user_page_change(int page)
{
    if (page == active_page_) return;
    show_page(page);
    route([this] { form_.change(Control::PageControl1); });
}

void Win32Window::change_dpi(int dpi, const RECT& suggested)
{
    // Moved to a screen of another density: the same layout at the new scale, in the place
    // the system proposes.
    scale_ = dpi / 96.0;
    const auto old_fonts = fonts_;
    for (std::size_t role = 0; role < fonts_.size(); ++role)
        fonts_[role] = make_font(static_cast<FontRole>(role), scale_);
    for (const Placed& p : placed_) {
        SetWindowPos(p.hwnd, nullptr, scaled(p.rect.x), scaled(p.rect.y), scaled(p.rect.w), scaled(p.rect.h),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[static_cast<std::size_t>(p.font)]), FALSE);
    }
    for (HFONT font : old_fonts) DeleteObject(font);
    place_pages();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

template <typename Handler> void Win32Window::route(Handler&& handler)
{
    std::string fault;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        fault = e.what();
    } catch (...) {
        fault = "Внутренняя ошибка программы";
    }
    // The box runs a message loop of its own, in which the timers keep ticking: a handler that
    // fails on every tick would stack box upon box. While a fault is on show, ticks are let
    // pass and a further fault is not shown.
    if (showing_fault_) return;
    showing_fault_ = true;
    show_error(fault);
    showing_fault_ = false;
}

void Win32Window::close()
{
    if (closed_) return;
    closed_ = true;
    set_timer_enabled(Control::Timer1, false);
    set_timer_enabled(Control::Timer2, false);
    route([this] { form_.FormClose(); });
}

LRESULT CALLBACK Win32Window::window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        auto* window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        window->hwnd_ = hwnd;
    }
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, msg, wparam, lparam);
    return window->handle(hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK Win32Window::holder_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        // The controls of a page or of the panel report to the main window.
        return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wparam, lparam);
    case WM_PAINT:
        if (GetPropW(hwnd, raised_property) != nullptr) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            RECT edge;
            GetClientRect(hwnd, &edge);
            DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
            EndPaint(hwnd, &paint);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemovePropW(hwnd, raised_property);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

LRESULT Win32Window::handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND: {
        const UINT_PTR id = LOWORD(wparam);
        if (!routing_ || id < control_id_base || id >= control_id_base + control_count) break;
        const auto c = static_cast<Control>(id - control_id_base);
        const FormKind kind = kinds_[static_cast<std::size_t>(c)];
        const WORD code = HIWORD(wparam);
        if (kind == FormKind::button && code == BN_CLICKED)
            route([this, c] { form_.click(c); });
        else if (kind == FormKind::pick_list && code == CBN_SELCHANGE)  // the user's pick only
            route([this, c] { form_.change(c); });
        else if (kind == FormKind::edit && code == EN_CHANGE)
            route([this, c] { form_.change(c); });
        return 0;
    }
    case WM_NOTIFY: {
        const auto* note = reinterpret_cast<const NMHDR*>(lparam);
        if (routing_ && note->hwndFrom == control(Control::PageControl1) && note->code == TCN_SELCHANGE) {
            const auto tab = static_cast<int>(SendMessageW(note->hwndFrom, TCM_GETCURSEL, 0, 0));
            if (tab >= 0 && tab < static_cast<int>(tab_pages_.size()))
                user_page_change(tab_pages_[static_cast<std::size_t>(tab)]);
        }
        return 0;
    }
    case WM_TIMER: {
        const UINT_PTR id = wparam;
        if (id == control_id_base + static_cast<UINT_PTR>(Control::Timer1) ||
            id == control_id_base + static_cast<UINT_PTR>(Control::Timer2)) {
            const auto c = static_cast<Control>(id - control_id_base);
            if (!showing_fault_) route([this, c] { form_.click(c); });
            return 0;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        const LRESULT brush = DefWindowProcW(hwnd, msg, wparam, lparam);
        const auto id = static_cast<UINT_PTR>(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)));
        if (id >= control_id_base && id < control_id_base + control_count &&
            red_[id - control_id_base])
            SetTextColor(reinterpret_cast<HDC>(wparam), RGB(255, 0, 0));
        return brush;
    }
    case WM_SETCURSOR:
        if (hourglass_) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case 0x02E0:  // WM_DPICHANGED: the new density in both words, the proposed window rect
        change_dpi(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_CLOSE:
        close();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}
