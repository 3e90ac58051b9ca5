// The tool's main window: a fixed window with the tabbed pages on the left and the status
// panel on the right. It builds its controls from the form table (app/form.h), hands the controls to the
// window's logic (TMainForm) through QtView, and routes clicks, picks, edits, page changes and
// the two timers to the logic's handlers.
#pragma once

#include <QWidget>

#include "app/Unit1.h"
#include "app/form.h"
#include "app/qt/failure_log.h"
#include "app/qt/qt_view.h"

class QApplication;
class QFont;
class QTabWidget;
class QTimer;

// Size of the window's client area.
constexpr int window_client_width = form_client_width;
constexpr int window_client_height = form_client_height;

// Sets up the application object as the window needs it: its style, its fonts, its names and
// icon, and the C library's number format from the user's locale (the DAC page shows volts
// with the user's decimal separator). Call once, right after the application object exists.
void prepare_application(QApplication& app);

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(Hid& hid, CarriedImage update_image, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the window's start-up (FormCreate), centres the window on its screen and starts the
    // status monitor. Call once, before show().
    void start();

    TMainForm& form() { return form_; }
    QtView& view() { return view_; }
    QWidget* control(Control c) const { return view_.widget(c); }
    QTabWidget* pages() const { return pages_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connect_controls();
    // Takes back a step of the tab bar onto a hidden tab.
    void keep_off_hidden_tab(int index);

    QtView view_;
    TMainForm form_;
    FailureLog failures_;
    QTabWidget* pages_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    int last_visible_page_ = 0;
    bool started_ = false;
    bool closed_ = false;
};
