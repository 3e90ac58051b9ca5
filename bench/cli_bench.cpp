// lirvan-cli on the simulated bus: the CPU time of a backup of every memory (configuration,
// ROM, AMT, KVP, RAM) and of a verified restore, run in-process as a script would run the
// program, and the reports each exchanges against the fewest the protocol allows.
//
// The fewest reports (a reply of n bytes takes n/64 + 1 reports when n is a multiple of 64):
//   backup:  search 2 + status 2 (the manifest's firmware version) + configuration 1+1
//            + ROM 1+257 + AMT 1+129 + KVP 1+257 + RAM (stop, read 1+257, start) 260  = 912
//   restore: search 2 + status 2 (the firmware check) + configuration page 1+32+1
//            + ROM 8×34 + AMT 4×34 + KVP 8×34 = 718, and the read-backs 2+258+130+258 = 648:
//            1366 verified, 718 with --no-verify.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "cli/cli.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace fs = std::filesystem;

namespace {

constexpr double backup_minimum = 912;
constexpr double restore_minimum = 1366;
constexpr double restore_unverified_minimum = 718;

struct Bench {
    SimModule module;
    ForeignDevice keyboard{0x046D, 0xC31C};
    SimBus bus;
    std::ostringstream out, err;
    fs::path dir = fs::temp_directory_path() / ("lirvan-cli-bench-" + std::to_string(::getpid()));
    Bench()
    {
        bus.add_interface(keyboard);
        bus.add_interface(module);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Bench() { fs::remove_all(dir); }
    int run(const std::vector<std::string>& args)
    {
        CliEnv env(out, err);
        env.hid = &bus;
        return run_cli(args, env);
    }
};

void BM_Backup(benchmark::State& state)
{
    Bench b;
    std::size_t reports = 0;
    int n = 0;
    for (auto _ : state) {
        const std::string folder = (b.dir / ("b" + std::to_string(n++))).string();
        const std::size_t before = b.bus.reports();
        if (b.run({"backup", folder}) != 0) state.SkipWithError("backup failed");
        reports = b.bus.reports() - before;
        state.PauseTiming();
        fs::remove_all(folder);
        state.ResumeTiming();
    }
    state.counters["reports"] = static_cast<double>(reports);
    state.counters["minimum"] = backup_minimum;
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond);

void BM_Restore(benchmark::State& state)
{
    const bool verify = state.range(0) != 0;
    Bench b;
    const std::string folder = (b.dir / "b").string();
    b.run({"backup", folder});
    std::size_t reports = 0;
    for (auto _ : state) {
        const std::size_t before = b.bus.reports();
        std::vector<std::string> args = {"restore", folder};
        if (!verify) args.push_back("--no-verify");
        if (b.run(args) != 0) state.SkipWithError("restore failed");
        reports = b.bus.reports() - before;
    }
    state.counters["reports"] = static_cast<double>(reports);
    state.counters["minimum"] = verify ? restore_minimum : restore_unverified_minimum;
}
BENCHMARK(BM_Restore)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
