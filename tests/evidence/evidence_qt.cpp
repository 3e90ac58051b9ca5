// lirvan-evidence (Linux): writes DIR/widgets-qt.txt, every widget of the Qt window with its
// class, name, place, text, items, font and state (as built, after start-up, and after a tick
// on each page and a configuration read on the demo's module), and DIR/session.log, the
// scripted session of scripted_run.h. Run it on two builds and compare the folders.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTabWidget>

#include <array>
#include <fstream>
#include <iostream>

#include "app/qt/main_window.h"
#include "demo/demo_core.h"
#include "scripted_run.h"

namespace {

void dump(std::ostream& out, const QWidget* w, int depth)
{
    const QRect g = w->geometry();
    out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << w->metaObject()->className() << " '"
        << w->objectName().toStdString() << "' " << g.x() << ',' << g.y() << ' ' << g.width() << 'x'
        << g.height() << (w->isEnabled() ? "" : " disabled") << (w->isHidden() ? " hidden" : "")
        << " font " << w->font().family().toStdString() << ' ' << w->font().pointSizeF()
        << (w->font().bold() ? " bold" : "");
    if (!w->toolTip().isEmpty()) out << " tip '" << w->toolTip().toStdString() << "'";
    if (auto* l = qobject_cast<const QLabel*>(w))
        out << " text '" << l->text().toStdString() << "' align " << l->alignment() << " wrap " << l->wordWrap()
            << " frame " << l->frameShape();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        out << " text '" << b->text().toStdString() << "' checked " << b->isChecked();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        out << " text '" << e->text().toStdString() << "' align " << e->alignment();
    if (auto* g2 = qobject_cast<const QGroupBox*>(w)) out << " title '" << g2->title().toStdString() << "'";
    if (auto* p = qobject_cast<const QProgressBar*>(w)) out << " value " << p->value();
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        out << " index " << c->currentIndex() << " items";
        for (int i = 0; i < c->count(); ++i) out << " | " << c->itemText(i).toStdString();
    }
    if (auto* l = qobject_cast<const QListWidget*>(w)) {
        out << " rows";
        for (int i = 0; i < l->count(); ++i) out << " | " << l->item(i)->text().toStdString();
    }
    if (auto* t = qobject_cast<const QTabWidget*>(w)) {
        out << " current " << t->currentIndex() << " tabs";
        for (int i = 0; i < t->count(); ++i)
            out << " | " << t->tabText(i).toStdString() << (t->isTabVisible(i) ? "" : " (hidden)");
    }
    out << '\n';
    for (const QObject* child : w->children())
        if (auto* cw = qobject_cast<const QWidget*>(child)) dump(out, cw, depth + 1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: lirvan-evidence DIR\n";
        return 64;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare_application(app);

    std::ofstream widgets(dir / "widgets-qt.txt");
    {
        const std::array<std::uint8_t, 600> image{};
        DemoCore demo(0x00043600);
        MainWindow window(demo.hid(), CarriedImage{image.data(), image.size(), 0x00043600});
        widgets << "--- as built\n";
        dump(widgets, &window, 0);
        window.start();
        widgets << "--- after start-up\n";
        dump(widgets, &window, 0);
        std::int64_t now = 0;
        for (int page = 0; page < window.pages()->count(); ++page) {
            window.pages()->setCurrentIndex(page);
            now += 1000;
            demo.advance_to(now);
            window.form().click(Control::Timer1);
        }
        window.pages()->setCurrentIndex(0);
        window.form().click(Control::Timer1);
        window.form().click(Control::Button1);
        widgets << "--- after a tick on each page and a configuration read\n";
        dump(widgets, &window, 0);
    }
    std::ofstream form(dir / "form.txt");
    dump_form_table(form);
    std::ofstream session(dir / "session.log");
    run_scripted_session(dir / "scratch", session);
    return 0;
}
