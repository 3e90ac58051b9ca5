// The View of the window's logic on real Qt widgets: every control of the window is registered
// here under its name, and each view operation acts on the widget of that kind.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <QPointer>

#include "app/line_breaks.h"
#include "app/view.h"

class QObject;
class QTabWidget;
class QWidget;

class QtView : public View {
public:
    explicit QtView(QWidget& window);
    QtView(const QtView&) = delete;
    QtView& operator=(const QtView&) = delete;

    // Registers the widget (or timer) of a control and gives it the control's name as its
    // objectName. MainForm is the window itself.
    void add(Control c, QObject* object);
    QObject* object(Control c) const;
    // The widget of a control; nullptr for the timers.
    QWidget* widget(Control c) const;

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
    void keep_alive() override;
    void drop_input() override;
    void set_timer_enabled(Control timer, bool enabled) override;
    bool ask_yes_no(const std::string& caption, const std::string& text) override;
    void show_message(const std::string& caption, const std::string& text) override;
    void show_error(const std::string& text) override;
    bool open_file_dialog(std::string& file_name) override;
    bool save_file_dialog(std::string& file_name) override;

private:
    QTabWidget* pages() const;

    QWidget& window_;
    std::array<QPointer<QObject>, control_count> objects_{};
    bool hourglass_ = false;  // whether our override cursor is on the application's stack
};
