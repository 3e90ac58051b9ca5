// The tool's main window on the Win32 API: a fixed window with the tabbed pages on the left and
// the status panel on the right, built from the form table (app/form.h) by one loop. It is the
// View of the window's logic (TMainForm) and routes clicks, picks, edits, page changes and the
// two timers to the logic's handlers, all on the thread's message loop.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/form.h"
#include "app/view.h"

// UTF-8 (the sources' texts) to UTF-16 (the API's) and back.
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

class Win32Window : public View {
public:
    // A named control's window id: this base plus the control's number.
    static constexpr UINT_PTR control_id_base = 1000;

    // Builds the window (not yet shown) and its controls; FormCreate runs in start().
    Win32Window(Hid& hid, CarriedImage update_image);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Runs the window's start-up (FormCreate), which starts the status monitor. Call once,
    // before showing the window.
    void start();
    // Shows the window and paints it at once.
    void show(int show_command = SW_SHOWNORMAL);

    // The thread's message loop, until the window is closed. Returns the quit code.
    int run();
    // What the loop does with a message before the usual translation: Ctrl+Tab and
    // Ctrl+Shift+Tab step through the shown pages, and Tab moves the focus between controls.
    // True when the message was taken.
    bool pre_translate(MSG& msg);

    // The user's step to the next (or previous) shown page, wrapping round at either end.
    void step_page(bool back);

    // The window's answer to a move onto a screen of another density (WM_DPICHANGED): every
    // control at the new scale, the window in the place proposed.
    void change_dpi(int dpi, const RECT& suggested);
    double scale() const { return scale_; }

    HWND hwnd() const { return hwnd_; }
    HWND control(Control c) const { return controls_[static_cast<std::size_t>(c)]; }
    // The holder window of a page, by page index.
    HWND page_window(int page) const;
    // The page index of each tab, left to right (the hidden page has no tab).
    const std::vector<int>& tab_pages() const { return tab_pages_; }
    TMainForm& form() { return form_; }

    // --- View ---
    void set_text(Control c, const std::string& text) override;
    std::string text(Control c) const override;
    void set_enabled(Control c, bool enabled) override;
    bool checked(Control c) const override;
    void set_red(Control c, bool red) override;
    void list_clear(Control list) override;
    void list_append(Control list, const std::string& line) override;
    void combo_set_items(Control combo, const std::vector<std::string>& items) override;
    int combo_count(Control combo) const override;
    int combo_index(Control combo) const override;
    void combo_select(Control combo, int index) override;
    int active_page() const override;
    void set_active_page(int index) override;
    void set_cursor(CursorShape shape) override;
    void set_progress(int position) override;
    void repaint() override;
    void set_timer_enabled(Control timer, bool enabled) override;
    bool ask_yes_no(const std::string& caption, const std::string& text) override;
    void show_message(const std::string& caption, const std::string& text) override;
    void show_error(const std::string& text) override;
    bool open_file_dialog(std::string& file_name) override;
    bool save_file_dialog(std::string& file_name) override;

private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK holder_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

    void build();
    void place_pages();
    HWND build_control(const FormControl& c, HWND holder, POINT offset);
    HWND make_child(const wchar_t* window_class, const std::wstring& text, DWORD style,
                    DWORD ex_style, HWND parent, const FormRect& rect, POINT offset,
                    std::optional<Control> name, FontRole font);
    int scaled(int pixels) const;
    void show_page(int page);
    void user_page_change(int page);
    // Runs a handler of the logic; a fault it throws is shown in an error box and the window
    // goes on.
    template <typename Handler> void route(Handler&& handler);
    void close();

    TMainForm form_;
    HWND hwnd_ = nullptr;
    HWND tooltips_ = nullptr;
    std::array<HWND, control_count> controls_{};
    std::array<FormKind, control_count> kinds_{};
    std::array<bool, control_count> red_{};
    std::array<UINT, control_count> intervals_{};  // timers
    std::array<bool, 2> timer_running_{};          // Timer1, Timer2
    struct Placed {
        HWND hwnd;
        FormRect rect;  // in form pixels, in its holder window
        FontRole font;
    };
    std::vector<Placed> placed_;   // every control window with its place, for a change of density
    std::vector<HWND> pages_;      // holder window of each page, by page index
    std::vector<int> tab_pages_;   // page index of each tab
    int active_page_ = 0;
    std::array<HFONT, 4> fonts_{};  // by font role
    double scale_ = 1.0;            // screen pixels per form pixel
    bool hourglass_ = false;
    bool routing_ = false;          // whether control notifications reach the logic yet
    bool closed_ = false;
    bool showing_fault_ = false;    // an error box of a failed handler is open
};
