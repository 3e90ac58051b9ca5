// The tool's main window: a fixed window with the tabbed pages on the left and the status
// panel on the right. It builds every control under its name, hands the controls to the
// window's logic (TMainForm) through QtView, and routes clicks, picks, edits, page changes and
// the two timers to the logic's handlers.
#pragma once

#include <QWidget>

#include "app/Unit1.h"
#include "app/qt/qt_view.h"

class QApplication;
class QFont;
class QTabWidget;
class QTimer;

// Size of the window's client area.
constexpr int window_client_width = 712;
constexpr int window_client_height = 340;

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
    void build_status_panel();
    void build_configuration_page(QWidget* page);
    void build_rom_page(QWidget* page);
    void build_amt_page(QWidget* page);
    void build_kvp_page(QWidget* page);
    void build_ram_page(QWidget* page);
    void build_ke_bfos_page(QWidget* page);
    void build_kip_bos_page(QWidget* page);
    void build_dac_page(QWidget* page);
    void build_ea_page(QWidget* page);
    void build_network_page(QWidget* page);
    void connect_controls();

    QtView view_;
    TMainForm form_;
    QTabWidget* pages_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    int last_visible_page_ = 0;
    bool started_ = false;
    bool closed_ = false;
};
