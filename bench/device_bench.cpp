// Cost of the device link on the simulated bus: the tool's CPU time per feature report of a
// block transfer (goal: below 2 µs) and of one search for the application with 16 foreign HID
// interfaces listed before the module (goal: below 100 µs). The simulated module's own work
// is included, so the figures are upper bounds for the tool's part.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "device/device.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

// Reports the CPU time per report beside the time per iteration.
void count_reports(benchmark::State& state, std::size_t reports_per_iteration)
{
    state.counters["cpu_per_report"] = benchmark::Counter(
        static_cast<double>(reports_per_iteration),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * reports_per_iteration));
}

struct ModuleOnBus {
    SimModule module;
    SimBus bus;
    DeviceIdentity app = make_app_identity();
    DeviceHandle h;
    ModuleOnBus()
    {
        bus.add_interface(module);
        h = open_device(bus, app);
    }
    ~ModuleOnBus() { close_device(h); }
};

// RAM image out: one frame and 256 data reports.
void BM_SendData(benchmark::State& state)
{
    ModuleOnBus m;
    const std::vector<std::uint8_t> image(ram_size, 0x5A);
    for (auto _ : state) {
        send_command(m.h, cmd_ram_write_begin, 0, ram_size);
        benchmark::DoNotOptimize(send_data(m.h, image.data(), image.size()));
    }
    count_reports(state, 1 + ram_size / report_data_length);
}
BENCHMARK(BM_SendData);

// RAM image in: one frame and 257 reply reports (the last one read and discarded).
void BM_ReceiveData(benchmark::State& state)
{
    ModuleOnBus m;
    std::vector<std::uint8_t> image(ram_size);
    for (auto _ : state) {
        send_command(m.h, cmd_ram_read, 0, ram_size);
        benchmark::DoNotOptimize(receive_data(m.h, image.data(), image.size()));
        benchmark::ClobberMemory();
    }
    count_reports(state, 1 + ram_size / report_data_length + 1);
}
BENCHMARK(BM_ReceiveData);

// A flash image: 8 summed chunks, 272 reports, committed by the module.
void BM_WriteBlock(benchmark::State& state)
{
    ModuleOnBus m;
    const std::vector<std::uint8_t> image(rom_size, 0xA5);
    for (auto _ : state)
        benchmark::DoNotOptimize(write_block(m.h, image.data(), image.size(), flash_rom_address));
    count_reports(state, 8 * (1 + block_chunk_size / report_data_length + 1));
}
BENCHMARK(BM_WriteBlock);

// One search for the application: 16 foreign interfaces, then the module; the handle is closed
// again in every iteration, as each action of the tool does. Argument: whether the listing
// carries the ids (as sysfs does on Linux) or every foreign interface has to be opened.
void BM_OpenDeviceBehind16Foreign(benchmark::State& state)
{
    const bool ids_in_listing = state.range(0) != 0;
    SimBus bus;
    std::vector<std::unique_ptr<ForeignDevice>> foreign;
    for (std::uint16_t i = 0; i < 16; ++i) {
        foreign.push_back(std::make_unique<ForeignDevice>(0x1000 + i, 0x2000 + i));
        bus.add_interface(*foreign.back(), report_length, ids_in_listing);
    }
    SimModule module;
    bus.add_interface(module, report_length, ids_in_listing);
    DeviceIdentity app = make_app_identity();
    for (auto _ : state) {
        DeviceHandle h = open_device(bus, app);
        if (!h.valid()) state.SkipWithError("module not found");
        close_device(h);
    }
    state.SetLabel(ids_in_listing ? "ids from the listing" : "every interface opened");
}
BENCHMARK(BM_OpenDeviceBehind16Foreign)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
