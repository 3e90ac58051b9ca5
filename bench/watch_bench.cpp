// lirvan-cli watch against the simulated module answering at the module's own pace: every
// feature report takes 1 ms, as a USB frame does. One sample of the six registers of КЭ/БФОС
// is 12 reports, so no trace can do better than 1000 / 12 = 83.3 samples per second. The
// figures: samples per second against that limit, and the sample-to-sample jitter (the spread
// of the time from one sample's start to the next's), measured by the trace itself and again
// from the CSV file it wrote, a row per reading, flushed per row.
//
// Two clocks. Real time: each report spins for 1 ms of the steady clock, and the trace runs on
// that clock; on a busy machine a report takes longer than its millisecond (the spinning thread
// loses the processor), so bus_share_percent tells how much of the run the reports took and how
// little the trace's own work. Bus time: each report adds 1 ms to a simulated clock and the
// trace's clock is that plus the processor time the program itself used (std::clock), i.e. the
// rate the trace would reach on an idle machine, whatever else runs on this one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "sim/paced_hid.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace fs = std::filesystem;

namespace {

constexpr double reports_per_sample = 12;
constexpr double limit_per_second = 1000.0 / reports_per_sample;

void BM_WatchSixRegisters(benchmark::State& state)
{
    const auto seconds = state.range(0);
    const bool bus_time = state.range(1) != 0;
    std::int64_t simulated_us = 0;
    // Time spent inside the bus's reports, to tell the bus's own lateness (a busy machine) from
    // the trace's.
    double bus_seconds = 0;
    SimModule module;
    ForeignDevice keyboard{0x046D, 0xC31C};
    SimBus bus;
    bus.add_interface(keyboard);
    bus.add_interface(module);
    PacedHid paced(bus, [&] {
        if (bus_time) {
            simulated_us += 1000;
            return;
        }
        const auto begin = std::chrono::steady_clock::now();
        spin_for(std::chrono::milliseconds(1));
        bus_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    });
    const fs::path csv = fs::temp_directory_path() / ("lirvan-watch-bench-" + std::to_string(::getpid()) + ".csv");
    nlohmann::json summary;
    double trace_seconds = 0;
    for (auto _ : state) {
        bus_seconds = 0;
        const auto begin = std::chrono::steady_clock::now();
        std::ostringstream out, err;
        CliEnv env(out, err);
        env.hid = &paced;
        if (bus_time)
            env.clock = [&] {
                const double cpu_us = 1e6 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
                return std::chrono::microseconds(simulated_us + static_cast<std::int64_t>(cpu_us));
            };
        const int code = run_cli({"--json", "watch", "--for", std::to_string(seconds) + "s", "--csv", csv.string(),
                                  "--every-sample"},
                                 env);
        if (code != 0) state.SkipWithError("watch failed");
        std::string last, line;
        std::istringstream lines(out.str());
        while (std::getline(lines, line)) last = line;
        summary = nlohmann::json::parse(last);
        trace_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    // The CSV's own account: the start of each sample is its reading of the first register.
    std::vector<double> starts;
    std::ifstream rows(csv);
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row))
        if (row.find(",170461,") != std::string::npos) starts.push_back(std::stod(row.substr(0, row.find(','))));
    fs::remove(csv);
    double sum = 0, squares = 0, low = 1e18, high = 0;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        const double d = starts[i] - starts[i - 1];
        sum += d;
        squares += d * d;
        low = std::min(low, d);
        high = std::max(high, d);
    }
    const double n = static_cast<double>(starts.size() > 1 ? starts.size() - 1 : 1);
    const double mean = sum / n;

    const double rate = summary.value("samples_per_second", 0.0);
    state.counters["samples_per_s"] = rate;
    state.counters["limit_per_s"] = limit_per_second;
    state.counters["percent_of_limit"] = 100 * rate / limit_per_second;
    state.counters["period_us"] = summary["period_us"].value("mean", 0.0);
    state.counters["jitter_us"] = summary["period_us"].value("jitter", 0.0);
    state.counters["min_period_us"] = summary["period_us"].value("min", 0.0);
    state.counters["max_period_us"] = summary["period_us"].value("max", 0.0);
    state.counters["csv_period_us"] = mean;
    state.counters["csv_jitter_us"] = std::sqrt(std::max(0.0, squares / n - mean * mean));
    state.counters["csv_spread_us"] = high - low;
    // The share of the run that the bus's reports took: what is left is the trace's own work
    // (and, on a busy machine, the time the scheduler gave to others).
    if (!bus_time) state.counters["bus_share_percent"] = 100 * bus_seconds / trace_seconds;
    state.counters["reports_per_sample"] =
        static_cast<double>(bus.reports()) / std::max(1.0, summary.value("samples", 0.0));
}
BENCHMARK(BM_WatchSixRegisters)
    ->ArgNames({"seconds", "bus_time"})
    ->Args({5, 0})
    ->Args({60, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
