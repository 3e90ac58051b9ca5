// A View that keeps every control's state in memory and records every question, message and
// dialog, so the window's logic can be driven and checked without a screen.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/view.h"

class FakeView : public View {
public:
    struct Box {
        std::string caption, text;
    };

    // --- state kept per control ---
    std::map<Control, std::string> texts;
    std::map<Control, bool> disabled;  // absent = enabled, as controls start
    std::map<Control, bool> checks;
    std::map<Control, bool> reds;
    std::map<Control, std::vector<std::string>> lists;
    std::map<Control, std::vector<std::string>> combo_items;
    std::map<Control, int> combo_indexes;
    std::map<Control, bool> timers;
    int page = 0;
    CursorShape cursor = CursorShape::normal;
    std::vector<CursorShape> cursor_history;
    std::function<void(CursorShape)> on_cursor;  // told of every cursor change, if set
    std::vector<CursorShape> cursor_at_boxes;     // the cursor as each message or error box came up
    int progress = 0;
    std::vector<int> progress_history;
    int repaints = 0;
    int keep_alives = 0;
    int input_drops = 0;
    std::function<void()> on_keep_alive;  // run in every turn the logic gives the window, if set

    // --- scripted answers and records of modal boxes ---
    std::deque<bool> yes_no_answers;  // empty: answer Yes
    std::vector<Box> questions;
    std::vector<Box> messages;
    std::vector<std::string> errors;
    std::deque<std::optional<std::string>> open_answers;  // nullopt or empty queue: cancel
    std::deque<std::optional<std::string>> save_answers;
    std::vector<std::string> open_proposals;  // the names the dialogs proposed
    std::vector<std::string> save_proposals;

    // Test helpers.
    bool enabled(Control c) const
    {
        auto it = disabled.find(c);
        return it == disabled.end() || !it->second;
    }
    bool red(Control c) const
    {
        auto it = reds.find(c);
        return it != reds.end() && it->second;
    }
    std::string get(Control c) const
    {
        auto it = texts.find(c);
        return it == texts.end() ? std::string{} : it->second;
    }
    const std::vector<std::string>& list(Control c) { return lists[c]; }
    void set_checked(Control c, bool on) { checks[c] = on; }

    // --- View ---
    void set_text(Control c, const std::string& t) override { texts[c] = t; }
    std::string text(Control c) const override
    {
        auto items = combo_items.find(c);
        if (items != combo_items.end()) {
            const int i = combo_index(c);
            if (i >= 0 && i < static_cast<int>(items->second.size())) return items->second[i];
            return get(c);
        }
        return get(c);
    }
    void set_enabled(Control c, bool on) override { disabled[c] = !on; }
    bool checked(Control c) const override
    {
        auto it = checks.find(c);
        return it != checks.end() && it->second;
    }
    void set_red(Control c, bool on) override { reds[c] = on; }
    void list_clear(Control c) override { lists[c].clear(); }
    void list_append(Control c, const std::string& line) override { lists[c].push_back(line); }
    void combo_set_items(Control c, const std::vector<std::string>& items) override
    {
        combo_items[c] = items;
        combo_indexes[c] = -1;
    }
    int combo_count(Control c) const override
    {
        auto it = combo_items.find(c);
        return it == combo_items.end() ? 0 : static_cast<int>(it->second.size());
    }
    int combo_index(Control c) const override
    {
        auto it = combo_indexes.find(c);
        return it == combo_indexes.end() ? -1 : it->second;
    }
    void combo_select(Control c, int index) override { combo_indexes[c] = index; }
    int active_page() const override { return page; }
    void set_active_page(int index) override { page = index; }
    void set_cursor(CursorShape shape) override
    {
        cursor = shape;
        cursor_history.push_back(shape);
        if (on_cursor) on_cursor(shape);
    }
    void set_progress(int position) override
    {
        progress = position;
        progress_history.push_back(position);
    }
    void repaint() override { ++repaints; }
    void keep_alive() override
    {
        ++keep_alives;
        if (on_keep_alive) on_keep_alive();
    }
    void drop_input() override { ++input_drops; }
    void set_timer_enabled(Control timer, bool on) override { timers[timer] = on; }
    bool ask_yes_no(const std::string& caption, const std::string& t) override
    {
        questions.push_back({caption, t});
        if (yes_no_answers.empty()) return true;
        const bool answer = yes_no_answers.front();
        yes_no_answers.pop_front();
        return answer;
    }
    void show_message(const std::string& caption, const std::string& t) override
    {
        messages.push_back({caption, t});
        cursor_at_boxes.push_back(cursor);
    }
    void show_error(const std::string& t) override
    {
        errors.push_back(t);
        cursor_at_boxes.push_back(cursor);
        if (while_error_shown) while_error_shown();  // the box's own message loop
    }
    std::function<void()> while_error_shown;
    bool open_file_dialog(std::string& file_name) override
    {
        return answer(open_answers, open_proposals, file_name);
    }
    bool save_file_dialog(std::string& file_name) override
    {
        return answer(save_answers, save_proposals, file_name);
    }

private:
    static bool answer(std::deque<std::optional<std::string>>& answers,
                       std::vector<std::string>& proposals, std::string& file_name)
    {
        proposals.push_back(file_name);
        if (answers.empty()) return false;
        auto a = answers.front();
        answers.pop_front();
        if (!a) return false;
        file_name = *a;
        return true;
    }
};
