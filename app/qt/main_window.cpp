#include "app/qt/main_window.h"

#include <clocale>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/qt/failure_log.h"
#include "app/qt/form_builder.h"
#include "app/qt/toolkit_setup.h"
#include "app/qt/widgets.h"

namespace {

// Ctrl+Tab and Ctrl+Shift+Tab step through the shown pages and wrap round at either end. The
// tab widget's own stepping would land on the hidden network page (it skips only disabled
// tabs), so the two keys are taken before it sees them.
class ShownPageCycler : public QObject {
public:
    explicit ShownPageCycler(QTabWidget* pages) : QObject(pages), pages_(pages) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != pages_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (!tab || !(key->modifiers() & Qt::ControlModifier)) return false;
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        const int count = pages_->count();
        int page = pages_->currentIndex();
        for (int step = 0; step < count; ++step) {
            page = (page + (back ? count - 1 : 1)) % count;
            if (pages_->isTabVisible(page) && pages_->isTabEnabled(page)) break;
        }
        pages_->setCurrentIndex(page);
        return true;
    }

private:
    QTabWidget* pages_;
};

}  // namespace

void prepare_application(QApplication& app)
{
    // The volts of the DAC page are formatted by the C library with the user's decimal
    // separator. Qt formats its own numbers independently of this category.
    std::setlocale(LC_NUMERIC, "");
    set_window_style(app);
    QApplication::setApplicationName(QStringLiteral("lirvan-service"));
    QApplication::setDesktopFileName(QStringLiteral("lirvan-service"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lirvan-service.png")));
    use_russian_toolkit_texts();
    keep_no_toolkit_settings();
}

MainWindow::MainWindow(Hid& hid, CarriedImage update_image, QWidget* parent)
    : QWidget(parent), view_(*this), form_(view_, hid, update_image), failures_(hid)
{
    // One fixed window: title bar with the system menu, minimise and close; no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(window_client_width, window_client_height);
    setFont(form_font(FontRole::ui));
    setWindowTitle(QString::fromUtf8(module_caption));
    view_.add(Control::MainForm, this);

    build_form(*this, view_);
    pages_ = qobject_cast<QTabWidget*>(view_.object(Control::PageControl1));
    timer1_ = qobject_cast<QTimer*>(view_.object(Control::Timer1));
    timer2_ = qobject_cast<QTimer*>(view_.object(Control::Timer2));

    connect_controls();
}

MainWindow::~MainWindow()
{
    timer1_->stop();
    timer2_->stop();
}

void MainWindow::start()
{
    if (started_) return;
    started_ = true;
    form_.FormCreate();
    if (QScreen* screen = this->screen()) {
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 screen->availableGeometry())
                 .topLeft());
    }
    timer1_->start();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing in the window's turn inside a transfer would close the module under it: the
    // close waits for the end of the transfer.
    if (form_.keeping_alive()) {
        event->ignore();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (!closed_) {
        closed_ = true;
        timer1_->stop();
        timer2_->stop();
        form_.FormClose();
    }
    event->accept();
}

void MainWindow::connect_controls()
{
    for (std::size_t i = 0; i < control_count; ++i) {
        const auto c = static_cast<Control>(i);
        QObject* o = view_.object(c);
        if (o == nullptr || c == Control::MainForm || c == Control::PageControl1) continue;
        if (qobject_cast<QCheckBox*>(o) != nullptr) {
            continue;  // a check box only holds a state; the buttons read it
        } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
            connect(button, &QAbstractButton::clicked, this, [this, c] {
                form_.click(c);
                failures_.report();
            });
        } else if (auto* combo = qobject_cast<QComboBox*>(o)) {
            // Only the user's pick: a selection made by the logic runs no handler.
            connect(combo, &QComboBox::activated, this, [this, c] {
                form_.change(c);
                failures_.report();
            });
        } else if (auto* edit = qobject_cast<QLineEdit*>(o)) {
            connect(edit, &QLineEdit::textChanged, this, [this, c] {
                form_.change(c);
                failures_.report();
            });
        } else if (auto* timer = qobject_cast<QTimer*>(o)) {
            connect(timer, &QTimer::timeout, this, [this, c] {
                form_.click(c);
                failures_.report();
            });
        }
    }
    pages_->installEventFilter(new ShownPageCycler(pages_));
    connect(pages_->tabBar(), &QTabBar::currentChanged, this, &MainWindow::keep_off_hidden_tab);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && pages_->isTabVisible(index)) form_.change(Control::PageControl1);
    });
}

void MainWindow::keep_off_hidden_tab(int index)
{
    // The toolkit's own navigation (arrows on the tabs, the wheel) also walks onto a hidden
    // tab; the network page is never to be brought forward, so such a step is taken back. The
    // tab bar reports every change, also those made by the logic with the page control's
    // signals blocked, so it keeps the page to go back to.
    if (index < 0) return;
    if (pages_->isTabVisible(index)) {
        last_visible_page_ = index;
        return;
    }
    const QSignalBlocker block(pages_);
    pages_->setCurrentIndex(last_visible_page_);
}
