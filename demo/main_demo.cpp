// lirvan-service-demo: the same window on the simulated module, for a first look and for
// training without hardware. The module behaves like a live CNC: inputs move, counters count
// while the CNC runs, and "Обновить" hands over to the loader and back with the carried image.
//
// Developer option (not for users): --screenshots DIR shows every page in turn, saves each as
// DIR/page-N.png after two status ticks, stops the CNC, saves the pages that follow the CNC
// state again as DIR/page-N-stopped.png, and quits.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>

#include "app/carried_update.h"
#include "demo/demo_module.h"
#include "app/qt/main_window.h"
#include "app/qt/toolkit_setup.h"

namespace {

// Shows the pages in turn and saves a picture of each; then stops the CNC and pictures the
// pages whose controls follow the CNC state once more ("-stopped").
void tour_pages(MainWindow& window, const QString& directory, int page, bool stopped)
{
    QTabWidget* pages = window.pages();
    const int last = stopped ? page_kp_dac : pages->count() - 1;
    if (page > last) {
        pages->setTabVisible(page_network, false);
        if (stopped) {
            QApplication::quit();
            return;
        }
        pages->setCurrentIndex(page_config);
        window.form().click(Control::Button8);  // the CNC runs at start: stop it
        QTimer::singleShot(2300, &window, [&window, directory] {
            tour_pages(window, directory, page_ke_bfos, true);
        });
        return;
    }
    pages->setTabVisible(page, true);  // the hidden network page too, for its picture
    pages->setCurrentIndex(page);
    QTimer::singleShot(2300, &window, [&window, directory, page, stopped] {
        const QString name = QStringLiteral("page-%1%2.png").arg(page).arg(stopped ? "-stopped" : "");
        window.grab().save(QDir(directory).filePath(name));
        tour_pages(window, directory, page + 1, stopped);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (print_version_if_asked(argc, argv)) return 0;
    QApplication app(argc, argv);
    prepare_application(app);
    QApplication::setApplicationName(QStringLiteral("lirvan-service-demo"));

    const CarriedImage image = carried_update_image();
    DemoModule demo(image.version_word);
    MainWindow window(demo.hid(), image);
    window.start();
    window.show();
    demo.start();

    const QStringList args = QApplication::arguments();
    const qsizetype option = args.indexOf(QStringLiteral("--screenshots"));
    if (option > 0 && option + 1 < args.size()) {
        const QString directory = args[option + 1];
        QDir().mkpath(directory);
        QTimer::singleShot(0, &window, [&window, directory] { tour_pages(window, directory, 0, false); });
    }
    return app.exec();
}
