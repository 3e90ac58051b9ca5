#include "app/qt/qt_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

}  // namespace

QtView::QtView(QWidget& window) : window_(window) {}

void QtView::add(Control c, QObject* object)
{
    object->setObjectName(QString::fromLatin1(control_name(c).data(),
                                              static_cast<qsizetype>(control_name(c).size())));
    objects_[static_cast<std::size_t>(c)] = object;
}

QObject* QtView::object(Control c) const { return objects_[static_cast<std::size_t>(c)]; }

QWidget* QtView::widget(Control c) const { return qobject_cast<QWidget*>(object(c)); }

QTabWidget* QtView::pages() const { return qobject_cast<QTabWidget*>(object(Control::PageControl1)); }

void QtView::set_text(Control c, const std::string& text)
{
    QObject* o = object(c);
    if (c == Control::MainForm) {
        // Only the window's own title: an application display name would be appended by the
        // platform to the title of every box (" — " and the name), not only the window's.
        window_.setWindowTitle(q(text));
    } else if (auto* label = qobject_cast<QLabel*>(o)) {
        label->setText(q(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
        button->setText(q(text));
    } else if (auto* edit = qobject_cast<QLineEdit*>(o)) {
        edit->setText(q(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(o)) {
        // A pick-only list shows one of its items: select the item with that text, if any.
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(combo->findText(q(text)));
    }
}

std::string QtView::text(Control c) const
{
    QObject* o = object(c);
    if (c == Control::MainForm) return s(window_.windowTitle());
    if (auto* label = qobject_cast<QLabel*>(o)) return s(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(o)) return s(button->text());
    if (auto* edit = qobject_cast<QLineEdit*>(o)) return s(edit->text());
    if (auto* combo = qobject_cast<QComboBox*>(o)) return s(combo->currentText());
    return {};
}

void QtView::set_enabled(Control c, bool enabled)
{
    if (QWidget* w = widget(c)) w->setEnabled(enabled);
}

bool QtView::checked(Control c) const
{
    auto* button = qobject_cast<QAbstractButton*>(object(c));
    return button != nullptr && button->isChecked();
}

void QtView::set_red(Control c, bool red)
{
    QWidget* w = widget(c);
    if (w == nullptr) return;
    // A palette with nothing set inherits every colour; red text sets only the text colours.
    QPalette palette;
    if (red) {
        palette.setColor(QPalette::Text, Qt::red);
        palette.setColor(QPalette::WindowText, Qt::red);
    }
    w->setPalette(palette);
}

void QtView::list_clear(Control list)
{
    if (auto* l = qobject_cast<QListWidget*>(object(list))) l->clear();
}

void QtView::list_append(Control list, const std::string& line)
{
    if (auto* l = qobject_cast<QListWidget*>(object(list))) l->addItem(q(line));
}

void QtView::combo_set_items(Control c, const std::vector<std::string>& items)
{
    auto* combo = qobject_cast<QComboBox*>(object(c));
    if (combo == nullptr) return;
    const QSignalBlocker block(combo);
    combo->clear();
    for (const auto& item : items) combo->addItem(q(item));
    combo->setCurrentIndex(-1);
}

int QtView::combo_count(Control c) const
{
    auto* combo = qobject_cast<QComboBox*>(object(c));
    return combo == nullptr ? 0 : combo->count();
}

int QtView::combo_index(Control c) const
{
    auto* combo = qobject_cast<QComboBox*>(object(c));
    return combo == nullptr ? -1 : combo->currentIndex();
}

void QtView::combo_select(Control c, int index)
{
    auto* combo = qobject_cast<QComboBox*>(object(c));
    if (combo == nullptr) return;
    // A selection made by the logic is not a user's pick: no change handler runs.
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int QtView::active_page() const
{
    QTabWidget* p = pages();
    return p == nullptr ? 0 : p->currentIndex();
}

void QtView::set_active_page(int index)
{
    QTabWidget* p = pages();
    if (p == nullptr) return;
    // A page chosen by the logic is not the user's page change.
    const QSignalBlocker block(p);
    p->setCurrentIndex(index);
}

void QtView::set_cursor(CursorShape shape)
{
    const bool hourglass = shape == CursorShape::hourglass;
    if (hourglass == hourglass_) return;
    if (hourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    hourglass_ = hourglass;
}

void QtView::set_progress(int position)
{
    auto* bar = qobject_cast<QProgressBar*>(object(Control::ProgressBar1));
    // A stream sets the bar after every piece. A new position marks the bar for painting, and
    // the window's next turn (every 100 ms of a transfer) or the end of the transfer paints it:
    // one paint a turn at most, however many pieces went meanwhile; a position the bar already
    // has costs nothing. (Left to itself the bar would paint at once on most steps.)
    if (bar == nullptr || bar->value() == position) return;
    bar->setUpdatesEnabled(false);
    bar->setValue(position);
    bar->setUpdatesEnabled(true);  // marks the bar for its next paint
}

void QtView::repaint()
{
    // Paints the whole window at once. Events are not processed here: a timer tick or a
    // click must not run inside the handler that asked for the repaint.
    window_.repaint();
}

void QtView::keep_alive()
{
    // Paints, the window system's questions (the window manager's ping among them) and timers;
    // the user's keys and clicks stay queued for the end of the transfer. The timers' ticks
    // and any other handler find the logic busy and run nothing.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtView::drop_input()
{
    // The input held back in the turns is delivered once more, to a filter in front of every
    // object that eats keys, mouse buttons, the wheel and touches. The rest goes on as in a
    // turn (the logic is still busy): paints, and the close that waited is asked again.
    struct InputEater : QObject {
        bool eventFilter(QObject*, QEvent* event) override { return dynamic_cast<QInputEvent*>(event) != nullptr; }
    } eater;
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::instance()->removeEventFilter(&eater);
}

void QtView::set_timer_enabled(Control c, bool enabled)
{
    auto* timer = qobject_cast<QTimer*>(object(c));
    if (timer == nullptr) return;
    if (enabled && !timer->isActive())
        timer->start();
    else if (!enabled)
        timer->stop();
}

bool QtView::ask_yes_no(const std::string& caption, const std::string& text)
{
    // Yes is the default button, as in the platform's own Yes/No box; Esc or closing means No.
    return QMessageBox::question(&window_, q(caption), q(normalize_line_breaks(text)),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void QtView::show_message(const std::string& caption, const std::string& text)
{
    // A plain box: no icon, one OK button.
    QMessageBox box(QMessageBox::NoIcon, q(caption), q(normalize_line_breaks(text)), QMessageBox::Ok,
                    &window_);
    box.exec();
}

void QtView::show_error(const std::string& text)
{
    QMessageBox::critical(&window_, window_.windowTitle(), q(normalize_line_breaks(text)));
}

bool QtView::open_file_dialog(std::string& file_name)
{
    const QString chosen = QFileDialog::getOpenFileName(&window_, QString(), q(file_name));
    if (chosen.isEmpty()) return false;
    file_name = s(chosen);
    return true;
}

bool QtView::save_file_dialog(std::string& file_name)
{
    // The tool asks about an existing file itself, after the dialog.
    QFileDialog dialog(&window_, QString(), q(file_name), QStringLiteral("Бинарный файл (*.bin)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!file_name.empty()) dialog.selectFile(q(file_name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    file_name = s(dialog.selectedFiles().constFirst());
    return true;
}
