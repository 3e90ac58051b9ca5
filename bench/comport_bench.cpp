// The network page's poll (10 holding registers from register 0) on a pseudo-terminal against
// libmodbus's RTU server, next to libmodbus's own master on the same server; and the CRC-16.
//
// BM_PollSideBySide is the comparison to read: it alternates single polls of the two masters in
// one run, so that both see the same machine load, and reports both round trips and their
// ratio (ours / libmodbus's).
#include <benchmark/benchmark.h>

#include <modbus/modbus.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "comport/comport.h"
#include "tests/comport/pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int slave_id = 1;
constexpr int baud = 115200;

// One pty and one server for the whole run.
struct Bench {
    PtyPair pty;
    ModbusSlavePeer slave{pty, slave_id};
    Bench()
    {
        for (int i = 0; i < 10; ++i) slave.set_register(i, static_cast<std::uint16_t>(0x1111 * i));
    }
};

Bench& bench()
{
    static Bench b;
    return b;
}

void fail(benchmark::State& state, const char* what)
{
    state.SkipWithError(what);
}

struct LibmodbusMaster {
    modbus_t* ctx = nullptr;
    explicit LibmodbusMaster(const std::string& path)
    {
        ctx = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
        if (ctx && (modbus_set_slave(ctx, slave_id) != 0 || modbus_connect(ctx) != 0)) {
            modbus_free(ctx);
            ctx = nullptr;
        }
    }
    ~LibmodbusMaster()
    {
        if (!ctx) return;
        modbus_close(ctx);
        modbus_free(ctx);
    }
    bool poll(std::uint16_t* regs) { return modbus_read_registers(ctx, 0, 10, regs) == 10; }
};

void BM_PollComport(benchmark::State& state)
{
    Bench& b = bench();
    if (!com_open(b.pty.path(), baud)) return fail(state, "com_open");
    std::uint8_t regs[20];
    for (auto _ : state) {
        if (!modbus_read_holding(slave_id, 0, 10, regs)) {
            fail(state, "poll failed");
            break;
        }
        benchmark::DoNotOptimize(regs);
    }
    com_close();
}
BENCHMARK(BM_PollComport)->Unit(benchmark::kMicrosecond);

void BM_PollLibmodbus(benchmark::State& state)
{
    Bench& b = bench();
    LibmodbusMaster master(b.pty.path());
    if (!master.ctx) return fail(state, "modbus_connect");
    std::uint16_t regs[10];
    for (auto _ : state) {
        if (!master.poll(regs)) {
            fail(state, "poll failed");
            break;
        }
        benchmark::DoNotOptimize(regs);
    }
}
BENCHMARK(BM_PollLibmodbus)->Unit(benchmark::kMicrosecond);

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double mean(const std::vector<double>& v)
{
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// Each master polls its own server on its own pty, both open all the time, one poll each in
// turn (the order swapped every round), so that a burst of load on the machine hits both
// alike. Medians are the figures to compare; means are shown beside them.
void BM_PollSideBySide(benchmark::State& state)
{
    Bench& ours_side = bench();
    static Bench theirs_side;
    if (!com_open(ours_side.pty.path(), baud)) return fail(state, "com_open");
    LibmodbusMaster master(theirs_side.pty.path());
    if (!master.ctx) {
        com_close();
        return fail(state, "modbus_connect");
    }
    std::vector<double> ours, theirs;
    std::uint8_t regs8[20];
    std::uint16_t regs16[10];
    auto poll_ours = [&] {
        const auto t0 = Clock::now();
        const bool ok = modbus_read_holding(slave_id, 0, 10, regs8);
        ours.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        return ok;
    };
    auto poll_theirs = [&] {
        const auto t0 = Clock::now();
        const bool ok = master.poll(regs16);
        theirs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        return ok;
    };
    bool ok = true;
    for (auto _ : state) {
        ok = (ours.size() % 2 == 0) ? poll_ours() && poll_theirs() : poll_theirs() && poll_ours();
        if (!ok) break;
    }
    com_close();
    if (!ok) return fail(state, "poll failed");
    state.counters["comport_median_us"] = median(ours);
    state.counters["libmodbus_median_us"] = median(theirs);
    state.counters["ratio_median"] = median(ours) / median(theirs);
    state.counters["comport_mean_us"] = mean(ours);
    state.counters["libmodbus_mean_us"] = mean(theirs);
    state.counters["ratio_mean"] = mean(ours) / mean(theirs);
}
BENCHMARK(BM_PollSideBySide)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_Crc16_255Bytes(benchmark::State& state)
{
    std::array<std::uint8_t, 255> data{};
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.data());
        benchmark::DoNotOptimize(modbus_crc16(data.data(), static_cast<std::uint16_t>(data.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 255);
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 255,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Crc16_255Bytes);

}  // namespace

BENCHMARK_MAIN();
