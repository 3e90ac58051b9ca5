// lirvan-cli watch over the simulated bus, on the simulated module's clock: every report takes
// one millisecond, and a script sets the registers as time passes. A short pulse among steady
// values, a module that vanishes in the middle, Ctrl+C; the CSV rows, the exit codes and the
// place of the pulse in the timing diagram.
#include <csignal>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli_rig.h"
#include "sim/paced_hid.h"

using json = nlohmann::json;
using namespace std::chrono_literals;

namespace {

struct WatchRig : CliRig {
    std::chrono::milliseconds report_time{0};
    // Runs before each report at the time it is sent, in ms since the start of the run.
    std::function<void(std::int64_t)> script;
    PacedHid paced{bus, [this] {
                       if (script) script((report_time + waited).count());
                       module.advance_ms(1);
                       report_time += 1ms;
                   }};
    WatchRig()
    {
        hid = &paced;
        clock = [this] { return std::chrono::microseconds(report_time + waited); };
    }

    std::vector<std::string> lines(const std::string& name) const
    {
        const auto bytes = file(name);
        std::vector<std::string> out;
        std::string line;
        for (const std::uint8_t b : bytes) {
            if (b != '\n') {
                line += static_cast<char>(b);
                continue;
            }
            out.push_back(line);
            line.clear();
        }
        return out;
    }
};

// The diagram: how x follows time, and the x of every edge of one lane's path (none: no lane).
// Read with plain searches: GCC 12's <regex> warns under the sanitizers' optimisation.
struct Diagram {
    std::string text;
    double origin_x = 0, px_per_us = 0;
    explicit Diagram(const std::vector<std::uint8_t>& bytes) : text(bytes.begin(), bytes.end())
    {
        origin_x = number_after("data-origin-x=\"", 0);
        px_per_us = number_after("data-px-per-us=\"", 0);
    }
    std::optional<std::vector<double>> lane(const std::string& reg, int bit) const
    {
        const auto at = text.find("<g class=\"lane\" data-register=\"" + reg + "\" data-bit=\"" + std::to_string(bit) + "\">");
        if (at == std::string::npos) return std::nullopt;
        const std::string key = "<path class=\"level\" d=\"";
        const auto from = text.find(key, at);
        if (from == std::string::npos) return std::nullopt;
        // "M x y H x V y H x V y ... H x": each H followed by a V is an edge.
        const std::string d = text.substr(from + key.size(), text.find('"', from + key.size()) - from - key.size());
        std::vector<double> edges;
        for (auto h = d.find('H'); h != std::string::npos; h = d.find('H', h + 1)) {
            std::size_t used = 0;
            const double x = std::stod(d.substr(h + 1), &used);
            if (d.compare(h + 1 + used, 2, " V") == 0) edges.push_back(x);
        }
        return edges;
    }
    double x_of(double us) const { return origin_x + us * px_per_us; }

private:
    double number_after(const std::string& key, std::size_t from) const
    {
        const auto at = text.find(key, from);
        return at == std::string::npos ? 0 : std::stod(text.substr(at + key.size()));
    }
};

void steady_values(SimModule& module)
{
    const std::pair<std::uint16_t, std::uint16_t> steady[] = {
        {bus_inputs_1, 0000001}, {bus_inputs_2, 0000200},  {bus_inputs_3, 0052525},
        {bus_inputs_4, 0000000}, {bus_outputs_1, 0100000}, {bus_outputs_2, 0000017}};
    for (const auto& [reg, value] : steady) module.set_bus_register(reg, value);
}

}  // namespace

TEST(CliWatch, ShortPulseAmongSteadyValuesReachesTheLinesTheCsvAndTheDiagramAtItsSamples)
{
    WatchRig rig;
    rig.module.set_cpu_running(false);
    steady_values(rig.module);
    // 170465 (read third: 4 ms into each 12 ms sample) holds bit 9 for 3 ms from 100 ms on.
    // The run's first 4 reports are the search and the status; the trace's time 0 is 4 ms.
    rig.script = [&](std::int64_t ms) {
        const std::int64_t t = ms - 4;
        rig.module.set_bus_register(bus_inputs_3, t >= 100 && t < 103 ? 0053525 : 0052525);
    };
    ASSERT_EQ(rig.run({"watch", "--for", "200ms", "--csv", rig.path("t.csv"), "--svg", rig.path("t.svg")}), 0)
        << rig.err.str();
    // The readings of 170465 at 100 ms (sample 8, 96 + 4) saw the pulse, at 112 ms it was gone.
    const std::string out = rig.out.str();
    EXPECT_NE(out.find("100.000 ms  170465  052525 → 053525  bit 9\n"), std::string::npos) << out;
    EXPECT_NE(out.find("112.000 ms  170465  053525 → 052525  bit 9\n"), std::string::npos) << out;
    EXPECT_NE(out.find("17 samples in 204.000 ms, 2 changes; 83.3 samples/s, period 12.000 ms"), std::string::npos) << out;

    const std::vector<std::string> csv = rig.lines("t.csv");
    ASSERT_EQ(csv.size(), 1u + 6u + 2u);
    EXPECT_EQ(csv[0], "time_us,register,value,bits");
    EXPECT_EQ(csv[1], "0,170461,000001,0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
    EXPECT_EQ(csv[6], "10000,170464,000017,0 0 0 0 0 0 0 0 0 0 0 0 1 1 1 1");
    EXPECT_EQ(csv[7], "100000,170465,053525,0 1 0 1 0 1 1 1 0 1 0 1 0 1 0 1");
    EXPECT_EQ(csv[8], "112000,170465,052525,0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1");

    const Diagram svg(rig.file("t.svg"));
    ASSERT_GT(svg.px_per_us, 0) << svg.text;
    const auto pulse = svg.lane("170465", 9);
    ASSERT_TRUE(pulse) << svg.text;
    ASSERT_EQ(pulse->size(), 2u);
    EXPECT_NEAR((*pulse)[0], svg.x_of(100000), 0.01);
    EXPECT_NEAR((*pulse)[1], svg.x_of(112000), 0.01);
    EXPECT_FALSE(svg.lane("170465", 8)) << "a lane only for a bit that changed";
    EXPECT_FALSE(svg.lane("170461", 0));
    EXPECT_NE(svg.text.find("shortest pulse 12.000 ms: 170465 bit 9 from 100.000 ms"), std::string::npos);
    EXPECT_NE(svg.text.find("sample period 12.000 ms"), std::string::npos);
}

TEST(CliWatch, VanishedModuleExitsTwoKeepingEveryRowAndTheDiagramOfWhatCame)
{
    WatchRig rig;
    steady_values(rig.module);
    rig.script = [&](std::int64_t ms) {
        const std::int64_t t = ms - 4;
        rig.module.set_bus_register(bus_outputs_1, t >= 30 ? 0100001 : 0100000);
        if (t == 50) rig.bus.remove_interface(rig.module_index);
    };
    EXPECT_EQ(rig.run({"watch", "--csv", rig.path("t.csv"), "--every-sample", "--svg", rig.path("t.svg")}), 2);
    EXPECT_NE(rig.err.str().find("stopped answering at 50.000 ms (reading 170463)"), std::string::npos) << rig.err.str();
    // Samples at 0, 12, 24, 36 complete, and 170461 of the one at 48: every reading a row.
    const std::vector<std::string> csv = rig.lines("t.csv");
    EXPECT_EQ(csv.size(), 1u + 4 * 6 + 1);
    EXPECT_EQ(csv.back().substr(0, 14), "48000,170461,0") << csv.back();
    EXPECT_EQ(csv[1 + 3 * 6 + 4], "44000,170462,100001,1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
    const auto edge = Diagram(rig.file("t.svg")).lane("170462", 0);
    EXPECT_EQ(edge.value_or(std::vector<double>{}).size(), 1u) << "the diagram of a trace cut short";
    EXPECT_NE(rig.out.str().find("watch ended: 4 samples"), std::string::npos) << rig.out.str();
}

TEST(CliWatch, CtrlCEndsTheTraceCleanlyAndGivesTheSignalBack)
{
#ifdef _WIN32
    // The console's Ctrl+C comes to its handler only in a console; wine gives a test program
    // none that GenerateConsoleCtrlEvent reaches.
    GTEST_SKIP() << "no console to press Ctrl+C in";
#endif
    WatchRig rig;
    steady_values(rig.module);
    rig.script = [&](std::int64_t ms) {
        if (ms == 4 + 60) std::raise(SIGINT);
    };
    // --for only as a bound should Ctrl+C not arrive: the trace must end by it well before.
    ASSERT_EQ(rig.run({"--json", "watch", "--interval", "20", "--for", "10s", "--csv", rig.path("t.csv"), "--svg",
                       rig.path("t.svg")}), 0) << rig.err.str();
    std::vector<json> records;
    std::istringstream lines(rig.out.str());
    for (std::string line; std::getline(lines, line);) records.push_back(json::parse(line));
    ASSERT_EQ(records.size(), 6u + 1u);  // the first values, then the summary
    EXPECT_EQ(records[2]["register"], "170465");
    EXPECT_EQ(records[2]["value"], "052525");
    // Samples start every 20 ms; the signal comes in the one at 60 ms, which completes.
    EXPECT_EQ(records.back()["end"], "interrupted");
    EXPECT_EQ(records.back()["samples"], 4);
    EXPECT_EQ(records.back()["period_us"]["mean"], 20000.0);
    EXPECT_EQ(rig.lines("t.csv").size(), 7u);
    EXPECT_FALSE(rig.file("t.svg").empty());
    // The handler is gone again: the default action (ending the program) is back.
    const auto previous = std::signal(SIGINT, SIG_DFL);
    EXPECT_EQ(previous, SIG_DFL);
}

TEST(CliWatch, EachPagesRulesNoModuleAndUsage)
{
    WatchRig rig;
    // The DAC page's registers are read with the external DAC on; another trace gives it back.
    rig.module.set_ext_dac_on(false);
    EXPECT_EQ(rig.run({"watch", "--page", "kp", "--for", "20ms"}), 0) << rig.err.str();
    EXPECT_TRUE(rig.module.ext_dac_on());
    EXPECT_EQ(rig.run({"watch", "170461", "--interval", "30", "--for", "50ms"}), 0) << rig.err.str();
    EXPECT_FALSE(rig.module.ext_dac_on());
    EXPECT_NE(rig.out.str().find("2 samples in 50.000 ms"), std::string::npos) << "the last wait ends with the duration";

    // The counters only while the CNC is stopped: reading one takes its counts.
    rig.module.set_cpu_running(true);
    rig.module.clear_commands();
    EXPECT_EQ(rig.run({"watch", "--page", "kip", "--for", "20ms"}), 2);
    for (const SimCommand& c : rig.module.commands())
        EXPECT_NE(c.code, cmd_bus_read) << "no count taken from the running CNC";
    rig.module.set_cpu_running(false);
    rig.module.set_bus_register(bus_counter_kip1, 7);
    EXPECT_EQ(rig.run({"watch", "--page", "kip", "170500", "--for", "20ms"}), 0) << rig.err.str();
    EXPECT_NE(rig.out.str().find("170521  000007"), std::string::npos) << rig.out.str();
    EXPECT_NE(rig.out.str().find("170500  000000"), std::string::npos) << "addresses after the page's";

    // The controller's page: its six words, read first as the page's tick reads them, then the
    // CNC's own view of its output and input.
    rig.module.set_ea_inputs({1, 2, 3, 4});
    rig.module.set_ea_outputs({5, 6});
    rig.module.clear_commands();
    EXPECT_EQ(rig.run({"watch", "--page", "ea", "--for", "8ms", "--csv", rig.path("ea.csv")}), 0) << rig.err.str();
    EXPECT_NE(rig.out.str().find("0.000 ms  ea-in 170463  000002\n"), std::string::npos) << rig.out.str();
    EXPECT_NE(rig.out.str().find("2.000 ms  ea-out 170464  000006\n"), std::string::npos) << rig.out.str();
    EXPECT_EQ(rig.lines("ea.csv")[8], "6000,170461,000001,0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
    ASSERT_GE(rig.module.commands().size(), 6u);
    const auto& sent = rig.module.commands();
    EXPECT_EQ(sent[sent.size() - 4].code, cmd_ea_read_inputs);
    EXPECT_EQ(sent[sent.size() - 3].code, cmd_ea_read_outputs);
    EXPECT_EQ(sent.back().word_a, bus_inputs_1);

    for (const auto& args : std::vector<std::vector<std::string>>{{"watch", "--for", "soon"},
                                                                  {"watch", "--for", "-1s"},
                                                                  {"watch", "--every-sample"},
                                                                  {"watch", "170481"},
                                                                  {"watch", "--page", "rom"}})
        EXPECT_EQ(rig.run(args), 64) << ::testing::PrintToString(args);

    rig.bus.remove_interface(rig.module_index);
    EXPECT_EQ(rig.run({"watch", "--for", "1s", "--csv", rig.path("none.csv")}), 1);
    EXPECT_FALSE(fs::exists(rig.dir / "none.csv")) << "no trace, no file";
}
