// Start-up of the demo window against a bare Qt window from the same binary: time from
// starting the process to the window shown (exposed and painted), and the process's peak
// resident set size. Each run is a fresh process, so nothing is warm but the OS's file cache.
//
// Needs a display: run under Xvfb, e.g.
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/startup_bench
// (QT_QPA_PLATFORM=offscreen works too, without a real window system.)
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "app/carried_update.h"
#include "demo/demo_module.h"
#include "app/qt/main_window.h"
#include "comport/comport.h"

extern char** environ;

namespace {

std::int64_t monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// How long a child stays after its window is shown: the demo's first status ticks and the
// simulated module's clock run in this time, so the peak covers a window at work.
constexpr int linger_ms = 1200;

// Reports the moment the window has been exposed and painted, then quits after a while.
class ShownProbe : public QObject {
public:
    explicit ShownProbe(QWidget& window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!reported_ && event->type() == QEvent::Expose && window_.windowHandle()->isExposed()) {
            reported_ = true;
            // The expose event paints the window; report once that has run.
            QTimer::singleShot(0, &window_, [] {
                std::printf("shown %lld\n", static_cast<long long>(monotonic_ns()));
                std::fflush(stdout);
                QTimer::singleShot(linger_ms, [] { QApplication::quit(); });
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& window_;
    bool reported_ = false;
};

int run_child(int argc, char** argv, const std::string& kind)
{
    QApplication app(argc, argv);
    std::unique_ptr<DemoModule> demo;
    std::unique_ptr<QWidget> window;
    if (kind == "demo") {
        prepare_application(app);
        const CarriedImage image = carried_update_image();
        demo = std::make_unique<DemoModule>(image.version_word);
        auto main_window = std::make_unique<MainWindow>(demo->hid(), image);
        main_window->start();
        window = std::move(main_window);
    } else {
        window = std::make_unique<QWidget>();
        window->setFixedSize(window_client_width, window_client_height);
        window->setWindowTitle(QStringLiteral("bare"));
        if (kind == "label") {
            // The bare window plus one line of Cyrillic text: the cost of loading a font and
            // drawing glyphs, which the empty window never pays.
            auto* label = new QLabel(QStringLiteral("Версия прошивки: н/д"), window.get());
            label->move(10, 10);
        }
    }
    window->winId();  // create the native window now, to watch its expose event
    ShownProbe probe(*window);
    window->windowHandle()->installEventFilter(&probe);
    window->show();
    if (demo) demo->start();
    return app.exec();
}

struct ChildRun {
    double seconds_to_shown = 0;
    double peak_rss_mib = 0;
};

bool spawn_child(const char* kind, ChildRun& run)
{
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::string self = "/proc/self/exe";
    std::string child_flag = "--child";
    std::string kind_arg = kind;
    char* args[] = {self.data(), child_flag.data(), kind_arg.data(), nullptr};

    const std::int64_t start = monotonic_ns();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return false;
    }
    std::string output;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;

    const auto at = output.find("shown ");
    if (at == std::string::npos) return false;
    const long long shown = std::atoll(output.c_str() + at + 6);
    run.seconds_to_shown = static_cast<double>(shown - start) / 1e9;
    run.peak_rss_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    return true;
}

struct Summary {
    std::vector<double> seconds, rss;
};
Summary bare_summary, label_summary, demo_summary;

void startup(benchmark::State& state, const char* kind, Summary& summary)
{
    for (auto _ : state) {
        ChildRun run;
        if (!spawn_child(kind, run)) {
            state.SkipWithError("the child did not show its window (no display?)");
            return;
        }
        state.SetIterationTime(run.seconds_to_shown);
        summary.seconds.push_back(run.seconds_to_shown);
        summary.rss.push_back(run.peak_rss_mib);
    }
    if (!summary.rss.empty())
        state.counters["peak_rss_MiB"] = *std::max_element(summary.rss.begin(), summary.rss.end());
}

void BM_startup_bare_window(benchmark::State& state) { startup(state, "bare", bare_summary); }
void BM_startup_label_window(benchmark::State& state) { startup(state, "label", label_summary); }
void BM_startup_demo_window(benchmark::State& state) { startup(state, "demo", demo_summary); }

// The serial port listing that the start-up runs (the network page's port list): a share of
// the demo's start-up that no window work can save.
void BM_serial_port_listing(benchmark::State& state)
{
    int argc = 1;
    char name[] = "startup_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    for (auto _ : state) {
        std::vector<std::string> ports;
        com_port_list(ports);
        benchmark::DoNotOptimize(ports.data());
    }
}

BENCHMARK(BM_startup_bare_window)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_startup_label_window)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_startup_demo_window)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_serial_port_listing)->Iterations(8)->Unit(benchmark::kMillisecond);

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return run_child(argc, argv, argv[2]);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (!bare_summary.seconds.empty() && !demo_summary.seconds.empty()) {
        const double bare_ms = median(bare_summary.seconds) * 1000, demo_ms = median(demo_summary.seconds) * 1000;
        const double bare_rss = median(bare_summary.rss), demo_rss = median(demo_summary.rss);
        std::printf("\nmedian start-up to window shown: bare %.1f ms, demo %.1f ms, ratio %.2f\n", bare_ms,
                    demo_ms, demo_ms / bare_ms);
        std::printf("median peak RSS:                 bare %.1f MiB, demo %.1f MiB, ratio %.2f\n", bare_rss,
                    demo_rss, demo_rss / bare_rss);
        if (!label_summary.seconds.empty())
            std::printf("bare window with one label:      %.1f ms, %.1f MiB\n", median(label_summary.seconds) * 1000,
                        median(label_summary.rss));
    }
    return 0;
}
