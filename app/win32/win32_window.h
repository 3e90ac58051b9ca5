// The tool's main window on the Win32 API: a fixed window with the tabbed pages on the left and
// the status panel on the right, its controls made from the form table (form_builder.h). It is
// the View of the window's logic (TMainForm, win32_view.h) and routes clicks, picks, edits, page
// changes and the two timers to the logic, all on the thread's message loop; what a handler
// throws is the logic's to show.
#pragma once

#include <windows.h>

#include "app/Unit1.h"
#include "app/win32/failure_log.h"
#include "app/win32/screen_density.h"
#include "app/win32/win32_view.h"

class Win32Window : public Win32View {
public:
    // Builds the window (not yet shown) and its controls at the density of the screen it stands
    // on (the system's calls unless told); FormCreate runs in start().
    Win32Window(Hid& hid, CarriedImage update_image, const DensityCalls& density = system_density_calls());
    ~Win32Window() override;

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

    TMainForm& form() { return form_; }

private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    void on_command(WPARAM wparam);
    void on_notify(const NMHDR& note);
    bool on_timer(UINT_PTR id);
    LRESULT on_control_colour(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    void user_page_change(int page);
    void close();

    TMainForm form_;
    FailureLog failures_;  // why a device or serial call failed, after each handler
    bool closed_ = false;
};
