#include "app/win32/win32_view.h"

#include <commctrl.h>
#include <commdlg.h>

#include <utility>

#include "app/Unit1.h"
#include "app/line_breaks.h"
#include "define/win32/system_library.h"

namespace {

std::wstring window_text(HWND hwnd)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A message box wants "\r\n" between lines.
std::wstring box_text(const std::string& text)
{
    std::wstring out;
    for (wchar_t c : widen(normalize_line_breaks(text))) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

constexpr std::size_t file_name_capacity = 32768;  // the longest path the API takes

// Runs a file dialog proposing `file_name`; on OK sets it to the name chosen.
template <typename Dialog>
bool file_dialog(HWND owner, std::string& file_name, bool save, Dialog dialog)
{
    std::wstring buffer = widen(file_name);
    buffer.resize(file_name_capacity, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    // The tool asks about an existing file itself, after the dialog.
    ofn.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                (save ? 0 : OFN_FILEMUSTEXIST);
    if (save) {
        ofn.lpstrFilter = L"Бинарный файл\0*.bin\0";
        ofn.lpstrDefExt = L"bin";
    }
    // The dialogs' library (and what it pulls in) is loaded when a dialog is first asked for, so
    // that a run without one does not carry it, from the system folder only, and then kept:
    // loading and freeing it around every dialog would load and free the shell with it.
    static const HMODULE library = load_system_library(L"comdlg32.dll");
    if (library == nullptr) return false;
    if (!dialog(library, &ofn)) return false;
    file_name = narrow(buffer.c_str());
    return true;
}

}  // namespace

void Win32View::build(HWND window, double scale)
{
    window_ = window;
    builder_.build(window, scale);
    // What the controls of the pages still to make show, from the table.
    for (int page = 0; page < page_count(); ++page) {
        for (const FormControl* c : builder_.entries_to_make(page)) {
            if (c->name) kept_[static_cast<std::size_t>(*c->name)] = KeptState::from_table(*c, false);
            if (c->partner) kept_[static_cast<std::size_t>(*c->partner)] = KeptState::from_table(*c, true);
        }
    }
}

void Win32View::make_page(int page)
{
    if (builder_.entries_to_make(page).empty()) return;
    // Making a control and giving it its text must not look like the user's change.
    const bool was_routing = routing_;
    routing_ = false;
    for (Control c : builder_.build_page(page)) {
        auto& state = kept_[static_cast<std::size_t>(c)];
        if (!state) continue;
        state->hand_over(made(c));
        state.reset();
    }
    routing_ = was_routing;
}

HWND Win32View::control(Control c)
{
    make_page(builder_.page_to_make(c));
    return made(c);
}

HWND Win32View::page_window(int page) const
{
    return page >= 0 && page < page_count() ? windows_.pages[static_cast<std::size_t>(page)] : nullptr;
}

void Win32View::show_page(int page)
{
    if (page < 0 || page >= page_count()) return;
    make_page(page);
    int tab = -1;
    for (std::size_t i = 0; i < windows_.tab_pages.size(); ++i)
        if (windows_.tab_pages[i] == page) tab = static_cast<int>(i);
    SendMessageW(made(Control::PageControl1), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    for (std::size_t i = 0; i < windows_.pages.size(); ++i)
        ShowWindow(windows_.pages[i], static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
    active_page_ = page;
}

void Win32View::set_text(Control c, const std::string& text)
{
    // An edit field tells its change to the logic, as the user's typing does: one not made yet
    // is made for it, so that a write from code runs the same handler either way.
    HWND hwnd = kind(c) == FormKind::edit ? control(c) : made(c);
    if (hwnd == nullptr) {
        if (KeptState* state = kept(c)) state->set_text(text);
        return;
    }
    if (kind(c) == FormKind::pick_list) {
        // A pick-only list shows one of its items: select the item with that text, if any. A
        // selection from code sends no change notification.
        const std::wstring wanted = widen(text);
        const auto index = SendMessageW(hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(wanted.c_str()));
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        return;
    }
    SetWindowTextW(hwnd, widen(text).c_str());
}

std::string Win32View::text(Control c) const
{
    if (HWND hwnd = made(c)) return narrow(window_text(hwnd));
    const KeptState* state = kept(c);
    return state != nullptr ? state->shown_text() : std::string{};
}

void Win32View::set_enabled(Control c, bool enabled)
{
    if (HWND hwnd = made(c))
        EnableWindow(hwnd, enabled ? TRUE : FALSE);
    else if (KeptState* state = kept(c))
        state->enabled = enabled;
}

bool Win32View::checked(Control c) const
{
    // A check box not made yet was never ticked.
    HWND hwnd = made(c);
    return hwnd != nullptr && kind(c) == FormKind::check_box && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32View::set_red(Control c, bool red)
{
    // The colour is the window's answer to the control's paint; a control made later takes it then.
    if (red_[static_cast<std::size_t>(c)] == red) return;
    red_[static_cast<std::size_t>(c)] = red;
    if (HWND hwnd = made(c)) InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32View::list_clear(Control list)
{
    if (HWND hwnd = made(list))
        SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
    else if (KeptState* state = kept(list))
        state->clear_lines();
}

void Win32View::list_append(Control list, const std::string& line)
{
    if (HWND hwnd = made(list))
        SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(line).c_str()));
    else if (KeptState* state = kept(list))
        state->append_line(line);
}

void Win32View::combo_set_items(Control c, const std::vector<std::string>& items)
{
    HWND hwnd = made(c);
    if (hwnd == nullptr) {
        if (KeptState* state = kept(c)) state->set_items(items);
        return;
    }
    SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
    for (const auto& item : items)
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int Win32View::combo_count(Control c) const
{
    if (HWND hwnd = made(c)) return static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0));
    const KeptState* state = kept(c);
    return state != nullptr && state->kind == FormKind::pick_list ? static_cast<int>(state->lines.size()) : 0;
}

int Win32View::combo_index(Control c) const
{
    if (HWND hwnd = made(c)) return static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
    const KeptState* state = kept(c);
    if (state == nullptr) return -1;
    return state->kind == FormKind::pick_list ? state->index : 0;  // another kind answers 0, as its window does
}

void Win32View::combo_select(Control c, int index)
{
    HWND hwnd = made(c);
    if (hwnd == nullptr) {
        if (KeptState* state = kept(c)) state->select(index);
        return;
    }
    // CB_SETCURSEL sends no CBN_SELCHANGE: a selection made by the logic runs no handler.
    if (index < 0 || index >= combo_count(c)) index = -1;
    SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32View::set_active_page(int index)
{
    // A page chosen by the logic is not the user's page change: no handler runs.
    show_page(index);
}

void Win32View::set_cursor(CursorShape shape)
{
    hourglass_ = shape == CursorShape::hourglass;
    SetCursor(LoadCursorW(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
}

void Win32View::set_progress(int position)
{
    // A stream sets the bar after every piece, and the bar paints itself at once on every new
    // position it is given. So the position is kept here and given to the bar in the window's
    // next turn (every 100 ms of a transfer) or by its message loop after the transfer: one
    // paint a turn at most, and nothing at all for the pieces between.
    if (position == progress_) return;
    progress_ = position;
    if (!progress_posted_ && window_ != nullptr)
        progress_posted_ = PostMessageW(window_, progress_message, 0, 0) != FALSE;
}

void Win32View::give_progress()
{
    HWND bar = made(Control::ProgressBar1);
    if (bar != nullptr && SendMessageW(bar, PBM_GETPOS, 0, 0) != progress_)
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(progress_), 0);
}

void Win32View::repaint()
{
    // Paints now whatever of the window is due: the texts set since its last paint, and what a
    // closed dialog uncovered. Messages are not processed here: a timer tick or a click must
    // not run inside the handler that asked for the repaint.
    RedrawWindow(window_, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32View::keep_alive()
{
    // Looking into the queue answers what other threads and programs send the window (the
    // system's "are you there" among them) and tells the system the window is not hung. Of
    // what is posted only paints and the bar's own timers are taken (under visual styles the
    // bar moves its fill towards a new position by a timer of its own; without it the bar
    // would stand where it stood when the transfer began): the window's timers, clicks and
    // keys stay queued for the end of the transfer. Every window validates what it paints;
    // the bounds only guard the loops.
    give_progress();
    MSG msg;
    if (HWND bar = made(Control::ProgressBar1); bar != nullptr)
        for (int round = 0; round < 8 && PeekMessageW(&msg, bar, WM_TIMER, WM_TIMER, PM_REMOVE); ++round)
            DispatchMessageW(&msg);
    for (std::size_t round = 0; round < 4 * control_count; ++round) {
        if (!PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) break;
        DispatchMessageW(&msg);
    }
}

void Win32View::drop_input()
{
    // Keys and mouse buttons of every window of the thread that waited in the queue during the
    // transfer, in the client area and on the frame, are removed unread. What other threads
    // send meanwhile is answered as in a turn; a posted close stays queued and goes through.
    // The bound only guards against a hand that keeps moving the mouse.
    constexpr std::pair<UINT, UINT> input[] = {
        {WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    MSG msg;
    for (const auto& [first, last] : input)
        for (std::size_t round = 0; round < 4096 && PeekMessageW(&msg, nullptr, first, last, PM_REMOVE); ++round) {
        }
}

void Win32View::set_timer_enabled(Control c, bool enabled)
{
    if (window_ == nullptr || (c != Control::Timer1 && c != Control::Timer2)) return;
    const UINT_PTR id = control_id_base + static_cast<UINT_PTR>(c);
    // Re-arming a running timer would restart its interval; a running timer is left alone.
    auto& running = timer_running_[c == Control::Timer1 ? 0 : 1];
    if (enabled && !running) {
        SetTimer(window_, id, windows_.interval_ms[static_cast<std::size_t>(c)], nullptr);
        running = true;
    } else if (!enabled && running) {
        KillTimer(window_, id);
        running = false;
    }
}

bool Win32View::ask_yes_no(const std::string& caption, const std::string& text)
{
    // Yes is the default button; the platform's own box speaks the user's language.
    return MessageBoxW(window_, box_text(text).c_str(), widen(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Win32View::show_message(const std::string& caption, const std::string& text)
{
    // A plain box: no icon, one OK button.
    MessageBoxW(window_, box_text(text).c_str(), widen(caption).c_str(), MB_OK);
}

void Win32View::show_error(const std::string& text)
{
    const std::wstring caption = window_ != nullptr ? window_text(window_) : widen(window_caption());
    MessageBoxW(window_, box_text(text).c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

bool Win32View::open_file_dialog(std::string& file_name)
{
    return file_dialog(window_, file_name, false, [](HMODULE library, OPENFILENAMEW* ofn) {
        const auto open = reinterpret_cast<decltype(&GetOpenFileNameW)>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW")));
        return open != nullptr && open(ofn) != FALSE;
    });
}

bool Win32View::save_file_dialog(std::string& file_name)
{
    return file_dialog(window_, file_name, true, [](HMODULE library, OPENFILENAMEW* ofn) {
        const auto save = reinterpret_cast<decltype(&GetSaveFileNameW)>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetSaveFileNameW")));
        return save != nullptr && save(ofn) != FALSE;
    });
}
