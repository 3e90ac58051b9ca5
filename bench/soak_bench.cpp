// Soak run of the demo window: the real window (offscreen unless a display is asked for) on
// the demo's simulated module, driven through MINUTES minutes of simulated time (default 10)
// as fast as it goes: one status tick per simulated second, a page step per tick round all
// the shown pages, and once a simulated minute the page actions that need no dialog (read
// the configuration, stop or start the CNC, send outputs, channel 0 and the DAC values,
// reset the counters). It reports the process's resident memory, open descriptors and
// threads at the start, after the first simulated minute and at the end, so that growth
// shows. Run by hand: build/bench/soak_bench [MINUTES]
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/carried_update.h"
#include "demo/demo_module.h"
#include "app/qt/main_window.h"

namespace {

struct Usage {
    long rss_kb = 0;
    long fds = 0;
    long threads = 0;
};

Usage usage_now()
{
    Usage u;
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key == "VmRSS:") status >> u.rss_kb;
        else if (key == "Threads:") status >> u.threads;
    }
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++u.fds;
    return u;
}

void report(const char* when, const Usage& u)
{
    std::printf("%-28s RSS %7ld KB   fds %3ld   threads %2ld\n", when, u.rss_kb, u.fds, u.threads);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const long minutes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10;
    if (minutes < 1) {
        std::fprintf(stderr, "usage: %s [MINUTES of simulated time, at least 1]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    prepare_application(app);
    const CarriedImage image = carried_update_image();
    DemoModule demo(image.version_word);
    MainWindow window(demo.hid(), image);
    window.start();
    window.show();
    QApplication::processEvents();

    QTabWidget* pages = window.pages();
    const auto click = [&](Control c) {
        if (auto* button = qobject_cast<QAbstractButton*>(window.control(c))) button->click();
    };
    const Control minute_actions[] = {Control::Button1, Control::Button8, Control::Button10,
                                      Control::Button11, Control::Button12, Control::Button6};

    QElapsedTimer wall;
    wall.start();
    Usage first_minute;
    int page = 0;
    for (long second = 0; second < minutes * 60; ++second) {
        demo.module().advance_ms(1000);
        window.form().Timer1Timer();
        do page = (page + 1) % pages->count(); while (!pages->isTabVisible(page));
        pages->setCurrentIndex(page);
        if (second % 60 == 59)
            for (const Control c : minute_actions) click(c);
        demo.module().clear_commands();
        QApplication::processEvents();
        if (second == 0) report("after the first tick", usage_now());
        if (second == 59) report("after 1 simulated minute", first_minute = usage_now());
    }
    const Usage end = usage_now();
    char label[64];
    std::snprintf(label, sizeof label, "after %ld simulated minutes", minutes);
    report(label, end);
    std::printf("growth after the first minute: RSS %+ld KB, fds %+ld, threads %+ld; %.1f s of wall time\n",
                end.rss_kb - first_minute.rss_kb, end.fds - first_minute.fds,
                end.threads - first_minute.threads, static_cast<double>(wall.elapsed()) / 1000);
    return 0;
}
