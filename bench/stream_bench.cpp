// The firmware stream of the Qt window against a bare loop of the same reports through the same
// Hid link, with the simulated module answering at 1 ms per report and at no pace at all.
// Each iteration runs the window's stream (the streaming routine of a tick that found the
// loader, with its bar, paints and keep-alive) and then the bare loop; the counters give the
// medians of both and their ratio. The pace and the timings are in the thread's processor
// time, so that other work on the machine does not blur a difference of a per cent; the
// window's turns still come by the wall clock, as in the tool. (The display server's own
// time for the paints is not counted: the window does not wait for it.)
//
// Needs a display: run under Xvfb, e.g.
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/stream_bench
#include <benchmark/benchmark.h>

#include <time.h>

#include <vector>

#include <QApplication>

#include "app/qt/main_window.h"
#include "bench/stream_pace.h"

namespace {

std::chrono::steady_clock::duration thread_cpu_now()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void BM_Stream(benchmark::State& state)
{
    const auto pace = std::chrono::microseconds(state.range(0));
    const std::vector<std::uint8_t> image = stream_pace::make_image();
    stream_pace::Rig rig(thread_cpu_now);
    MainWindow window(rig.window_hid, CarriedImage{image.data(), image.size(), 0x00043600});
    window.start();
    window.show();
    QApplication::processEvents();

    // The first stream is recorded without a pace: it gives the bare loop its reports.
    stream_pace::window_stream(rig, [&] { window.form().stream_update(); });
    rig.pace = pace;
    std::vector<double> tool, bare;
    for (auto _ : state) {
        const double t = stream_pace::window_stream(rig, [&] { window.form().stream_update(); }).count();
        const double b = stream_pace::bare_loop(rig).count();
        QApplication::processEvents();  // what the window left to paint, outside the timing
        state.SetIterationTime(t);
        tool.push_back(t);
        bare.push_back(b);
    }
    state.counters["reports"] = static_cast<double>(rig.window_hid.reports.size());
    state.counters["tool_ms"] = stream_pace::median(tool) * 1000;
    state.counters["bare_ms"] = stream_pace::median(bare) * 1000;
    state.counters["ratio"] = stream_pace::median(tool) / stream_pace::median(bare);
}

}  // namespace

// The argument is the pace in microseconds per report.
BENCHMARK(BM_Stream)->Arg(1000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stream)->Arg(0)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepare_application(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
