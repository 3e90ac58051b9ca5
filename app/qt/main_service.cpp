// lirvan-service: the service tool, talking to the module through Linux hidraw.
#include <QApplication>

#include "app/qt/carried_image.h"
#include "app/qt/main_window.h"
#include "app/qt/toolkit_setup.h"
#include "device/hidraw/linux_hid.h"

int main(int argc, char** argv)
{
    if (print_version_if_asked(argc, argv)) return 0;
    QApplication app(argc, argv);
    prepare_application(app);
    LinuxHid hid;
    MainWindow window(hid, carried_update_image());
    window.start();
    window.show();
    return app.exec();
}
