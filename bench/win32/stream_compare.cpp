// The firmware stream of the Win32 window against a bare loop of the same reports through the
// same Hid link, with the simulated module answering at 1 ms per report and at no pace, under
// wine. Each round runs the window's stream (the streaming routine of a tick that found the
// loader, with its bar, paints and turns) and then the bare loop; printed are every round,
// the medians and the least of each with their ratios (the least is the round least disturbed
// by other work on the machine). wine has no fine clock of a thread's processor time, so on a
// busy machine the rounds at 1 ms carry its lateness; the figures at no pace (a few ms each,
// the least of many rounds) then tell the window's own cost: its stream without turns, and
// with a turn after every report, which gives the cost of one turn. From them comes the
// window's time at 1 ms per report as the bare loop's plus that cost, with a turn every 100 ms.
// Usage: stream_compare.exe [ROUNDS_AT_1_MS [ROUNDS_AT_0_MS]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/win32/win32_window.h"
#include "bench/stream_pace.h"

namespace {

using stream_pace::median;

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct Figures {
    double tool_least = 0, bare_least = 0;
};

Figures compare(stream_pace::Rig& rig, Win32Window& window, std::chrono::microseconds pace, int rounds,
                const char* what = "")
{
    rig.pace = pace;
    std::vector<double> tool, bare;
    for (int i = 0; i < rounds; ++i) {
        tool.push_back(stream_pace::window_stream(rig, [&] { window.form().stream_update(); }).count() * 1000);
        bare.push_back(stream_pace::bare_loop(rig).count() * 1000);
        pump();  // what the window left to paint, outside the timing
        if (rounds <= 10)
            std::printf("%lld us per report%s, round %d: window %.1f ms, bare loop %.1f ms\n",
                        static_cast<long long>(pace.count()), what, i + 1, tool.back(), bare.back());
    }
    const double tool_least = *std::min_element(tool.begin(), tool.end());
    const double bare_least = *std::min_element(bare.begin(), bare.end());
    std::printf("%lld us per report%s, %zu reports: median window %.1f ms, bare %.1f ms, ratio %.4f; "
                "least window %.1f ms, bare %.1f ms, ratio %.4f\n",
                static_cast<long long>(pace.count()), what, rig.window_hid.reports.size(), median(tool),
                median(bare), median(tool) / median(bare), tool_least, bare_least, tool_least / bare_least);
    std::fflush(stdout);
    return {tool_least, bare_least};
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds_paced = argc > 1 ? std::atoi(argv[1]) : 7;
    const int rounds_unpaced = argc > 2 ? std::atoi(argv[2]) : 30;
    const std::vector<std::uint8_t> image = stream_pace::make_image();
    stream_pace::Rig rig;
    Win32Window window(rig.window_hid, CarriedImage{image.data(), image.size(), 0x00043600});
    window.start();
    window.show(SW_SHOWNORMAL);
    pump();
    // The first stream is recorded without a pace: it gives the bare loop its reports.
    stream_pace::window_stream(rig, [&] { window.form().stream_update(); });
    pump();
    const Figures paced = compare(rig, window, std::chrono::microseconds(1000), rounds_paced);
    const Figures unpaced = compare(rig, window, std::chrono::microseconds(0), rounds_unpaced);
    window.form().set_keep_alive_interval(std::chrono::milliseconds(0));
    const Figures every_report =
        compare(rig, window, std::chrono::microseconds(0), rounds_unpaced, ", a turn after every report");
    const double reports = static_cast<double>(rig.window_hid.reports.size());
    const double turn_ms = (every_report.tool_least - unpaced.tool_least) / reports;
    const double turns_at_pace = reports * 1.0 / 100.0;  // 1 ms per report, a turn every 100 ms
    const double own_ms = unpaced.tool_least - unpaced.bare_least + turns_at_pace * turn_ms;
    std::printf("one turn %.3f ms; the window's own cost at 1 ms per report %.1f ms (%.0f turns): "
                "window %.1f ms against the bare loop's %.1f ms, ratio %.4f\n",
                turn_ms, own_ms, turns_at_pace, paced.bare_least + own_ms, paced.bare_least,
                (paced.bare_least + own_ms) / paced.bare_least);
    return 0;
}
