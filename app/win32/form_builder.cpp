#include "app/win32/form_builder.h"

#include <commctrl.h>

#include "app/win32/widgets.h"

namespace {

constexpr wchar_t holder_class[] = L"LirvanServiceHolder";
// Holder windows with this property draw a raised edge (the status panel).
constexpr wchar_t raised_property[] = L"LirvanRaised";

LRESULT CALLBACK holder_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
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

void register_holder_class()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = holder_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = holder_class;
    RegisterClassExW(&wc);
}

FormRect offset_by(const FormRect& rect, POINT offset)
{
    return {rect.x + offset.x, rect.y + offset.y, rect.w, rect.h};
}

}  // namespace

FormBuilder::~FormBuilder()
{
    for (HFONT font : fonts_)
        if (font != nullptr) DeleteObject(font);
}

void FormBuilder::build(HWND window, double scale)
{
    register_holder_class();
    window_ = window;
    scale_ = scale;
    windows_.hwnd[static_cast<std::size_t>(Control::MainForm)] = window;
    holders_[static_cast<std::size_t>(FormHolder::window)] = {window, {}};
    frame_page_.fill(-1);
    control_page_.fill(-1);
    for (const FormControl& c : form_controls()) {
        const int page = page_of(c);
        if (page < 0 || page == first_page) {
            build_entry(c);
            continue;
        }
        if (to_make_.size() <= static_cast<std::size_t>(page)) to_make_.resize(static_cast<std::size_t>(page) + 1);
        to_make_[static_cast<std::size_t>(page)].push_back(&c);
        // The kinds are known before the windows: the view keeps each control by its kind.
        if (c.name) windows_.kind[static_cast<std::size_t>(*c.name)] = c.kind;
        if (c.partner) windows_.kind[static_cast<std::size_t>(*c.partner)] = FormKind::value;
        for (auto name : {c.name, c.partner})
            if (name) control_page_[static_cast<std::size_t>(*name)] = page;
    }
    place_pages();
}

int FormBuilder::page_of(const FormControl& c)
{
    const int page = frame_page_[static_cast<std::size_t>(c.parent)];
    // A page opens a frame of its own; a group's frame stands on its holder's page.
    if (c.kind == FormKind::page) frame_page_[static_cast<std::size_t>(*c.holder)] = static_cast<int>(windows_.pages.size());
    if (c.kind == FormKind::group) frame_page_[static_cast<std::size_t>(*c.holder)] = page;
    return page;
}

std::vector<Control> FormBuilder::build_page(int page)
{
    std::vector<Control> made;
    if (page < 0 || static_cast<std::size_t>(page) >= to_make_.size()) return made;
    auto& entries = to_make_[static_cast<std::size_t>(page)];
    for (const FormControl* c : entries) {
        build_entry(*c);
        for (auto name : {c->name, c->partner}) {
            if (!name) continue;
            control_page_[static_cast<std::size_t>(*name)] = -1;
            made.push_back(*name);
        }
    }
    entries.clear();
    return made;
}

std::span<const FormControl* const> FormBuilder::entries_to_make(int page) const
{
    if (page < 0 || static_cast<std::size_t>(page) >= to_make_.size()) return {};
    return to_make_[static_cast<std::size_t>(page)];
}

void FormBuilder::build_entry(const FormControl& c)
{
    const Holder holder = holders_[static_cast<std::size_t>(c.parent)];
    HWND made = nullptr;
    Holder opened{};
    switch (c.kind) {
    case FormKind::page:
        build_page(c);
        opened = {windows_.pages.back(), {}};
        break;
    case FormKind::panel:
        made = build_panel(c, holder);
        opened = {made, {}};
        break;
    case FormKind::group:
        made = make_child(WC_BUTTONW, widen(c.text), BS_GROUPBOX, 0, holder, c.rect, std::nullopt, FontRole::ui);
        // What the group holds stands in the group's holder window, offset by the group's place.
        opened = {holder.hwnd, {holder.offset.x + c.rect.x, holder.offset.y + c.rect.y}};
        break;
    default:
        made = build_control(c, holder);
        break;
    }
    if (c.name) {
        const auto index = static_cast<std::size_t>(*c.name);
        windows_.hwnd[index] = made;
        windows_.kind[index] = c.kind;
        if (c.kind == FormKind::timer) windows_.interval_ms[index] = static_cast<UINT>(c.interval_ms);
    }
    if (c.holder) holders_[static_cast<std::size_t>(*c.holder)] = opened;
}

void FormBuilder::build_page(const FormControl& c)
{
    // A page is a holder window over the tab control's display area (placed there once all
    // tabs are in); the hidden page gets no tab, so no click or key brings it forward.
    const int index = static_cast<int>(windows_.pages.size());
    HWND page = CreateWindowExW(WS_EX_CONTROLPARENT, holder_class, widen(c.text).c_str(),
                                WS_CHILD | WS_CLIPSIBLINGS | (index == 0 ? WS_VISIBLE : 0), 0, 0, 0, 0, window_,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    if (c.visible) {
        std::wstring caption = widen(c.text);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(windows_.hwnd[static_cast<std::size_t>(Control::PageControl1)], TCM_INSERTITEMW,
                     static_cast<WPARAM>(windows_.tab_pages.size()), reinterpret_cast<LPARAM>(&item));
        windows_.tab_pages.push_back(index);
    }
    windows_.pages.push_back(page);
}

HWND FormBuilder::build_panel(const FormControl& c, const Holder& holder)
{
    const FormRect rect = offset_by(c.rect, holder.offset);
    HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, holder_class, L"", WS_CHILD | WS_VISIBLE, scaled(rect.x),
                                 scaled(rect.y), scaled(rect.w), scaled(rect.h), holder.hwnd, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetPropW(panel, raised_property, reinterpret_cast<HANDLE>(1));
    placed_.push_back({panel, rect, FontRole::ui});
    return panel;
}

HWND FormBuilder::build_control(const FormControl& c, const Holder& holder)
{
    const std::wstring text = widen(c.text);
    switch (c.kind) {
    case FormKind::page_control:
        return make_child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, 0, holder, c.rect, c.name,
                          FontRole::ui);
    case FormKind::label: {
        const DWORD style = c.wrap ? SS_LEFT : static_alignment(c.align);
        return make_child(WC_STATICW, text, style | SS_NOPREFIX, 0, holder, c.rect, c.name, c.font);
    }
    case FormKind::value:
    case FormKind::letter:
        return make_child(WC_STATICW, text, static_alignment(c.align) | SS_NOPREFIX, WS_EX_STATICEDGE, holder,
                          c.rect, c.name, c.font);
    case FormKind::button:
        return make_child(WC_BUTTONW, text, BS_PUSHBUTTON | WS_TABSTOP, 0, holder, c.rect, c.name, c.font);
    case FormKind::pick_list: return build_pick_list(c, holder);
    case FormKind::edit: {
        const DWORD align = c.align == Align::right ? ES_RIGHT : c.align == Align::centre ? ES_CENTER : ES_LEFT;
        return make_child(WC_EDITW, text, align | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, holder, c.rect,
                          c.name, c.font);
    }
    case FormKind::preview:
        return make_child(WC_LISTBOXW, L"", LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE, holder, c.rect, c.name, FontRole::list);
    case FormKind::check_box: return build_check_box(c, holder);
    case FormKind::progress: {
        HWND bar = make_child(PROGRESS_CLASSW, L"", 0, 0, holder, c.rect, c.name, c.font);
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return bar;
    }
    case FormKind::register_row:
    case FormKind::counter_row:
    case FormKind::dac_row: return build_row(c, holder);
    default: return nullptr;  // a timer is one of the message loop's, by its control's id
    }
}

HWND FormBuilder::build_pick_list(const FormControl& c, const Holder& holder)
{
    // The height given is that of the closed box; the list drops below it.
    FormRect rect = c.rect;
    rect.h += 200;
    HWND combo = make_child(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, holder, rect, c.name,
                            c.font);
    for (const char* item : c.items)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(c.selected), 0);
    return combo;
}

HWND FormBuilder::build_check_box(const FormControl& c, const Holder& holder)
{
    HWND box = make_child(WC_BUTTONW, L"", BS_AUTOCHECKBOX | WS_TABSTOP, 0, holder, c.rect, c.name, c.font);
    // The bit's name shows as the box's tool tip.
    std::wstring tip_text = widen(c.text);
    TOOLINFOW tip{};
    tip.cbSize = sizeof(tip);
    tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tip.hwnd = holder.hwnd;
    tip.uId = reinterpret_cast<UINT_PTR>(box);
    tip.lpszText = tip_text.data();
    SendMessageW(tool_tips(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
    return box;
}

HWND FormBuilder::build_row(const FormControl& c, const Holder& holder)
{
    // The caption, then the first value (the row's name), then the second (its partner).
    const FormRowParts parts = form_row_parts(c);
    const DWORD value_style = static_alignment(c.align) | SS_NOPREFIX;
    make_child(WC_STATICW, widen(c.text), static_alignment(Align::left) | SS_NOPREFIX, 0, holder, parts.caption,
               std::nullopt, FontRole::ui);
    HWND first = make_child(WC_STATICW, widen(form_row_text(c, true)), value_style, WS_EX_STATICEDGE, holder,
                            parts.first, c.name, c.font);
    if (c.kind == FormKind::counter_row) return first;
    HWND second = make_child(WC_STATICW, widen(form_row_text(c, false)), value_style, WS_EX_STATICEDGE, holder,
                             parts.second, c.partner, c.font);
    const auto partner = static_cast<std::size_t>(*c.partner);
    windows_.hwnd[partner] = second;
    windows_.kind[partner] = FormKind::value;
    return first;
}

HWND FormBuilder::make_child(const wchar_t* window_class, const std::wstring& text, DWORD style, DWORD ex_style,
                             const Holder& holder, const FormRect& rect, std::optional<Control> name,
                             FontRole font)
{
    const FormRect placed = offset_by(rect, holder.offset);
    const auto id = name ? form_control_id_base + static_cast<UINT_PTR>(*name) : static_cast<UINT_PTR>(0xFFFF);
    HWND child = CreateWindowExW(ex_style, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                 scaled(placed.x), scaled(placed.y), scaled(placed.w), scaled(placed.h),
                                 holder.hwnd, reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_of(font)), FALSE);
    placed_.push_back({child, placed, font});
    return child;
}

void FormBuilder::place_pages()
{
    // Narrow tabs, so that the nine offered pages fit in one row without scroll arrows.
    HWND tabs = windows_.hwnd[static_cast<std::size_t>(Control::PageControl1)];
    SendMessageW(tabs, TCM_SETPADDING, 0, MAKELPARAM(scaled(3), scaled(3)));
    SendMessageW(tabs, TCM_SETMINTABWIDTH, 0, scaled(16));
    // The tab control's display area, below its row of tabs, in the window's coordinates.
    RECT area;
    GetClientRect(tabs, &area);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    MapWindowPoints(tabs, window_, reinterpret_cast<POINT*>(&area), 2);
    for (HWND page : windows_.pages)
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
}

void FormBuilder::rescale(double scale)
{
    scale_ = scale;
    const auto old_fonts = fonts_;
    fonts_ = {};
    for (const Placed& p : placed_) {
        SetWindowPos(p.hwnd, nullptr, scaled(p.rect.x), scaled(p.rect.y), scaled(p.rect.w), scaled(p.rect.h),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_of(p.font)), FALSE);
    }
    for (HFONT font : old_fonts)
        if (font != nullptr) DeleteObject(font);
    place_pages();
}

HFONT FormBuilder::font_of(FontRole role)
{
    // Made on first use: the fixed-pitch faces are looked up only once a page shows them.
    HFONT& font = fonts_[static_cast<std::size_t>(role)];
    if (font == nullptr) font = make_form_font(role, scale_);
    return font;
}

HWND FormBuilder::tool_tips()
{
    // The bits' names, made with the first check box.
    if (tooltips_ == nullptr)
        tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    return tooltips_;
}
