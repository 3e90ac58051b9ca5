// lirvan-service: the service tool, talking to the module through the system's HID backend.
#include <QApplication>

#include "app/carried_update.h"
#include "app/qt/main_window.h"
#include "app/qt/toolkit_setup.h"
#include "device/system_hid.h"

int main(int argc, char** argv)
{
    if (print_version_if_asked(argc, argv)) return 0;
    QApplication app(argc, argv);
    prepare_application(app);
    const std::unique_ptr<Hid> hid = make_system_hid();
    MainWindow window(*hid, carried_update_image());
    window.start();
    window.show();
    return app.exec();
}
