// The View of the window's logic on Win32 controls: the controls made from the form table, the
// page on view, the timers, the cursor, the boxes and the file dialogs, each view operation
// acting on the control window of its kind. A control of a page not shown yet has no window:
// the view keeps what is written to it and hands that over when the page is first shown, so
// the logic reads what it wrote either way.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/view.h"
#include "app/win32/form_builder.h"
#include "app/win32/kept_state.h"
#include "app/win32/widgets.h"

class Win32View : public View {
public:
    // A named control's window id: this base plus the control's number.
    static constexpr UINT_PTR control_id_base = form_control_id_base;

    Win32View() = default;
    Win32View(const Win32View&) = delete;
    Win32View& operator=(const Win32View&) = delete;

    HWND hwnd() const { return window_; }
    // The window of a control, made now (with its page) when its page was not shown yet.
    HWND control(Control c);
    // The holder window of a page, by page index.
    HWND page_window(int page) const;
    int page_count() const { return static_cast<int>(windows_.pages.size()); }
    // The page index of each tab, left to right (the hidden page has no tab).
    const std::vector<int>& tab_pages() const { return windows_.tab_pages; }
    double scale() const { return builder_.scale(); }

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
    int active_page() const override { return active_page_; }
    void set_active_page(int index) override;
    void set_cursor(CursorShape shape) override;
    void set_progress(int position) override;
    void repaint() override;
    void keep_alive() override;
    void drop_input() override;
    void set_timer_enabled(Control timer, bool enabled) override;
    bool ask_yes_no(const std::string& caption, const std::string& text) override;
    void show_message(const std::string& caption, const std::string& text) override;
    void show_error(const std::string& text) override;
    bool open_file_dialog(std::string& file_name) override;
    bool save_file_dialog(std::string& file_name) override;

protected:
    // Makes the controls of the form table in the window, at `scale` screen pixels per form pixel.
    void build(HWND window, double scale);
    // The window's controls at another scale (a screen of another density).
    void rescale(double scale) { builder_.rescale(scale); }
    // Brings a page forward and its tab with it.
    void show_page(int page);
    // Whether control notifications reach the logic: not while the window is being built nor
    // while a page's controls are made and given what was kept for them.
    bool routing() const { return routing_; }
    void start_routing() { routing_ = true; }
    // The window is being destroyed: nothing more is shown in it.
    void forget_window() { window_ = nullptr; }
    // Posted to the window when the bar's position changed: its message loop gives the bar the
    // position the logic set last (a transfer's turns give it meanwhile).
    static constexpr UINT progress_message = WM_APP + 1;
    void on_progress_message()
    {
        progress_posted_ = false;
        give_progress();
    }

    FormKind kind(Control c) const { return windows_.kind[static_cast<std::size_t>(c)]; }
    bool red(Control c) const { return red_[static_cast<std::size_t>(c)]; }
    bool hourglass() const { return hourglass_; }

private:
    // The window of a control, or none while its page is not made.
    HWND made(Control c) const { return windows_.hwnd[static_cast<std::size_t>(c)]; }
    KeptState* kept(Control c) { return kept_[static_cast<std::size_t>(c)] ? &*kept_[static_cast<std::size_t>(c)] : nullptr; }
    const KeptState* kept(Control c) const { return const_cast<Win32View*>(this)->kept(c); }
    // Makes the controls of a page not shown yet and hands each what was kept for it.
    void make_page(int page);
    // Gives the bar the position the logic set last, if it has another.
    void give_progress();

    HWND window_ = nullptr;
    ControlWindows windows_;
    FormBuilder builder_{windows_};
    std::array<bool, control_count> red_{};
    std::array<bool, 2> timer_running_{};  // Timer1, Timer2
    int active_page_ = 0;
    bool hourglass_ = false;
    bool routing_ = false;
    int progress_ = 0;              // the bar's position as the logic set it last
    bool progress_posted_ = false;  // progress_message waits in the queue
    std::array<std::optional<KeptState>, control_count> kept_{};  // controls of pages not made
};
