// Writes every widget of the Qt window on the demo's module as text, so that two builds can be
// compared line by line (a change of the window's code that should show nothing different shows
// nothing different). Usage: QT_QPA_PLATFORM=offscreen widget_dump FILE
//
// The window after start-up and one status tick: each object in creation order with its class,
// name, place, state, font, text and items; then a tick on every page and the tree once more.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include "app/carried_update.h"
#include "app/qt/main_window.h"
#include "demo/demo_core.h"

namespace {

void widget_line(QTextStream& out, const QWidget* w, const QWidget* window)
{
    const QRect g = w->geometry();
    const QFont f = w->font();
    out << " " << g.x() << "," << g.y() << " " << g.width() << "x" << g.height() << " enabled "
        << w->isEnabled() << " visible " << w->isVisibleTo(window) << " font " << f.family() << " "
        << f.pixelSize() << " " << f.pointSize() << " " << f.bold() << " tip \"" << w->toolTip() << "\"";
    if (const auto* frame = qobject_cast<const QFrame*>(w)) out << " frame " << frame->frameStyle();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        out << " \"" << label->text() << "\" align " << label->alignment() << " wrap " << label->wordWrap()
            << " indent " << label->indent() << " colour " << label->palette().color(QPalette::WindowText).name();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        out << " \"" << button->text() << "\" checked " << button->isChecked();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        out << " \"" << edit->text() << "\" align " << edit->alignment() << " colour "
            << edit->palette().color(QPalette::Text).name();
    if (const auto* group = qobject_cast<const QGroupBox*>(w)) out << " \"" << group->title() << "\"";
    if (const auto* bar = qobject_cast<const QProgressBar*>(w))
        out << " " << bar->minimum() << ".." << bar->maximum() << " at " << bar->value() << " text "
            << bar->isTextVisible();
    out << "\n";
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        out << "  selected " << combo->currentIndex() << "\n";
        for (int i = 0; i < combo->count(); ++i) out << "  item " << combo->itemText(i) << "\n";
    }
    if (const auto* list = qobject_cast<const QListWidget*>(w))
        for (int i = 0; i < list->count(); ++i) out << "  line " << list->item(i)->text() << "\n";
    if (const auto* tabs = qobject_cast<const QTabWidget*>(w)) {
        out << "  current " << tabs->currentIndex() << "\n";
        for (int i = 0; i < tabs->count(); ++i)
            out << "  tab " << tabs->tabText(i) << " shown " << tabs->isTabVisible(i) << "\n";
    }
}

void tree(QTextStream& out, const QObject* o, const QWidget* window, const QString& indent)
{
    out << indent << o->metaObject()->className() << " " << o->objectName();
    if (const auto* w = qobject_cast<const QWidget*>(o))
        widget_line(out, w, window);
    else if (const auto* timer = qobject_cast<const QTimer*>(o))
        out << " every " << timer->interval() << " active " << timer->isActive() << "\n";
    else
        out << "\n";
    for (const QObject* child : o->children()) tree(out, child, window, indent + "  ");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    QApplication app(argc, argv);
    prepare_application(app);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 2;
    QTextStream out(&file);
    DemoCore demo(0x00043600);
    {
        MainWindow window(demo.hid(), carried_update_image());
        window.start();
        window.show();
        QApplication::processEvents();
        window.form().click(Control::Timer1);
        QApplication::processEvents();
        tree(out, &window, &window, "");
        for (int page = page_config; page <= page_network; ++page) {
            window.view().set_active_page(page);
            window.form().click(Control::Timer1);
        }
        window.view().set_active_page(page_config);
        QApplication::processEvents();
        out << "--- after a tick on every page\n";
        tree(out, &window, &window, "");
    }
    out.flush();
    return file.error() == QFile::NoError ? 0 : 1;
}
