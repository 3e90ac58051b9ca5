// The View of the window's logic on Win32 controls: the controls made from the form table, the
// page on view, the timers, the cursor, the boxes and the file dialogs, each view operation
// acting on the control window of its kind.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "app/view.h"
#include "app/win32/form_builder.h"
#include "app/win32/widgets.h"

class Win32View : public View {
public:
    // A named control's window id: this base plus the control's number.
    static constexpr UINT_PTR control_id_base = form_control_id_base;

    Win32View() = default;
    Win32View(const Win32View&) = delete;
    Win32View& operator=(const Win32View&) = delete;

    HWND hwnd() const { return window_; }
    HWND control(Control c) const { return windows_.hwnd[static_cast<std::size_t>(c)]; }
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
    // The window is being destroyed: nothing more is shown in it.
    void forget_window() { window_ = nullptr; }

    FormKind kind(Control c) const { return windows_.kind[static_cast<std::size_t>(c)]; }
    bool red(Control c) const { return red_[static_cast<std::size_t>(c)]; }
    bool hourglass() const { return hourglass_; }

private:
    HWND window_ = nullptr;
    ControlWindows windows_;
    FormBuilder builder_{windows_};
    std::array<bool, control_count> red_{};
    std::array<bool, 2> timer_running_{};  // Timer1, Timer2
    int active_page_ = 0;
    bool hourglass_ = false;
};
