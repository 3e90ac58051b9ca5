// What a control of a page not yet made shows: the form table's start, then whatever the logic
// wrote to it since. The view reads and writes this in place of the control, and hands it over
// when the control is made, so the logic cannot tell a kept control from a made one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/form.h"

struct KeptState {
    FormKind kind = FormKind::label;
    std::string text;                 // a pick list's text is its selected item's
    bool enabled = true;
    std::vector<std::string> lines;   // a list box's lines, a pick list's items
    int index = -1;                   // a pick list's selected item
    bool text_set = false, lines_set = false, index_set = false;  // written since the table's start

    // The table's start of a named control, or of a row's second value (`partner`).
    static KeptState from_table(const FormControl& c, bool partner);

    std::string shown_text() const;
    void set_text(const std::string& text);
    void set_items(const std::vector<std::string>& items);
    void select(int index);
    void clear_lines();
    void append_line(const std::string& line);

    // Writes onto the control, now made from the table, what was written here since.
    void hand_over(HWND control) const;
};
