#include "app/win32/kept_state.h"

#include "app/win32/widgets.h"

KeptState KeptState::from_table(const FormControl& c, bool partner)
{
    KeptState kept;
    const bool row = c.kind == FormKind::register_row || c.kind == FormKind::counter_row ||
                     c.kind == FormKind::dac_row;
    kept.kind = row ? FormKind::value : c.kind;
    if (row) {
        kept.text = form_row_text(c, !partner);
    } else if (c.kind == FormKind::pick_list) {
        kept.lines.assign(c.items.begin(), c.items.end());
        kept.index = c.selected >= 0 && c.selected < static_cast<int>(c.items.size()) ? c.selected : -1;
    } else if (c.kind != FormKind::check_box && c.kind != FormKind::preview && c.kind != FormKind::progress) {
        kept.text = c.text;  // a check box's text is its tool tip, not its caption
    }
    return kept;
}

std::string KeptState::shown_text() const
{
    if (kind != FormKind::pick_list) return text;
    return index >= 0 ? lines[static_cast<std::size_t>(index)] : std::string{};
}

void KeptState::set_text(const std::string& new_text)
{
    if (kind != FormKind::pick_list) {
        text = new_text;
        text_set = true;
        return;
    }
    // A pick-only list shows one of its items: the first with that text, compared as the
    // control compares (without regard to case), or none.
    const std::wstring wanted = widen(new_text);
    int found = -1;
    for (std::size_t i = 0; i < lines.size() && found < 0; ++i)
        if (lstrcmpiW(widen(lines[i]).c_str(), wanted.c_str()) == 0) found = static_cast<int>(i);
    select(found);
}

void KeptState::set_items(const std::vector<std::string>& items)
{
    lines = items;
    lines_set = true;
    select(-1);
}

void KeptState::select(int new_index)
{
    index = new_index >= 0 && new_index < static_cast<int>(lines.size()) ? new_index : -1;
    index_set = true;
}

void KeptState::clear_lines()
{
    lines.clear();
    lines_set = true;
}

void KeptState::append_line(const std::string& line)
{
    lines.push_back(line);
    lines_set = true;
}

void KeptState::hand_over(HWND control) const
{
    if (kind == FormKind::pick_list) {
        if (lines_set) {
            SendMessageW(control, CB_RESETCONTENT, 0, 0);
            for (const auto& item : lines)
                SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
        }
        if (index_set) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (kind == FormKind::preview) {
        if (lines_set) {
            SendMessageW(control, LB_RESETCONTENT, 0, 0);
            for (const auto& line : lines)
                SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(line).c_str()));
        }
    } else if (text_set) {
        SetWindowTextW(control, widen(text).c_str());
    }
    if (!enabled) EnableWindow(control, FALSE);
}
