// What the window's logic needs of the screen. TMainForm talks to its controls only through
// this interface: the Qt and the Win32 window implement it, tests a fake that records all.
#pragma once

#include <string>
#include <vector>

#include "app/controls.h"

enum class CursorShape { normal, hourglass };

class View {
public:
    virtual ~View() = default;

    // Text of a label, static text, button, edit field or the window caption (MainForm; the
    // application title follows the window caption).
    virtual void set_text(Control c, const std::string& text) = 0;
    // Text of an edit field or the shown text of a combo box.
    virtual std::string text(Control c) const = 0;
    virtual void set_enabled(Control c, bool enabled) = 0;
    // State of a check box.
    virtual bool checked(Control c) const = 0;
    // Shows an edit field's text in red (a conversion error) or in the normal colour.
    virtual void set_red(Control c, bool red) = 0;

    virtual void list_clear(Control list) = 0;
    virtual void list_append(Control list, const std::string& line) = 0;

    // Combo boxes: items, count, selected index (-1 for none). Selecting from code never runs
    // the change handler.
    virtual void combo_set_items(Control combo, const std::vector<std::string>& items) = 0;
    virtual int combo_count(Control combo) const = 0;
    virtual int combo_index(Control combo) const = 0;
    virtual void combo_select(Control combo, int index) = 0;

    virtual int active_page() const = 0;
    virtual void set_active_page(int index) = 0;

    virtual void set_cursor(CursorShape shape) = 0;
    // Position of ProgressBar1 (0..100). The bar shows the position set last from the window's
    // next turn of a transfer on (or once the transfer is over), painted only for a new one.
    virtual void set_progress(int position) = 0;
    // Lets the window paint what has been set so far (before a long transfer).
    virtual void repaint() = 0;
    // A turn for the window between two reports of a long transfer: it answers the system
    // (so that it is not taken for hung) and paints what changed, and takes no input meanwhile.
    // Input waits for the end of the transfer; a timer tick or another control's event that
    // the toolkit delivers in the turn finds the logic busy and is turned away.
    virtual void keep_alive() = 0;
    // At the end of such a transfer: the keys and mouse clicks that waited meanwhile are
    // thrown away. A close request is no input: it still goes through afterwards.
    virtual void drop_input() = 0;

    virtual void set_timer_enabled(Control timer, bool enabled) = 0;

    // Modal boxes. Text lines may be separated by "\r", "\n" or "\n\r" as the callers give them.
    virtual bool ask_yes_no(const std::string& caption, const std::string& text) = 0;
    virtual void show_message(const std::string& caption, const std::string& text) = 0;
    virtual void show_error(const std::string& text) = 0;
    // File dialogs propose file_name and set it to the chosen name; false when cancelled.
    virtual bool open_file_dialog(std::string& file_name) = 0;
    virtual bool save_file_dialog(std::string& file_name) = 0;
};
