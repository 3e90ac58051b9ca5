// lirvan-cli's command line: the global options and the parse (CLI11) of the subcommands
// registered in cli/subcommands.cpp; the choice of bus (the system's HID backend, or the demo's simulated
// module for --demo); the support log; and the one place where failures become an exit code
// and one line on stderr.
#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "cli/commands.h"
#include "cli/subcommands.h"
#include "cli/exit_codes.h"
#include "define/utf8_path.h"
#include "define/version.h"
#include "app/value_formats.h"
#include "demo/demo_core.h"
#include "module/page_polls.h"
#include "sim/paced_hid.h"

namespace {

constexpr const char* description =
    "lirvan-cli: the ЛИРВАН НЦ-31 module from the command line.\n"
    "Exit codes: 0 done, 1 module not found, 2 transfer failed or refused, 3 verify mismatch\n"
    "(compare: the images differ), 4 file problem, 64 usage.";


struct GlobalOptions {
    bool demo = false;
    bool json = false;
    std::string log_file;
    double busy_wait_seconds = 5;
};

void add_global_options(CLI::App& app, GlobalOptions& g)
{
    app.require_subcommand(1);
    app.fallthrough();  // the global options may also follow the subcommand
    app.set_version_flag("--version", std::string("lirvan-cli ") + tool_version_text);
    app.add_flag("--demo", g.demo, "Work on the built-in simulated module instead of a real one");
    app.add_flag("--json", g.json, "Print each result as one JSON object on one line");
    app.add_option("--log", g.log_file,
                   "Append every report exchanged with the module to FILE, one JSON line each "
                   "(time, direction, command, words, bytes, result): the support log")
        ->type_name("FILE");
    app.add_option("--busy-wait", g.busy_wait_seconds,
                   "Seconds to wait while another program (a window of the tool, another "
                   "lirvan-cli) holds the module, then fail with exit 2")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
}

// The command's name as typed, for results and failure lines: "config show", "read", ...
std::string command_name(const CLI::App& app)
{
    std::string name;
    for (const CLI::App* sub : app.get_subcommands()) {
        name = sub->get_name();
        for (const CLI::App* subsub : sub->get_subcommands()) name += " " + subsub->get_name();
    }
    return name;
}

// The module a command works on: a test's bus, the demo's simulated module, or the system's
// HID backend; and the firmware that goes with it.
struct Bus {
    std::unique_ptr<DemoCore> demo;
    std::unique_ptr<Hid> system_hid;
    // The demo at the module's pace: its bus, and the simulated time that has passed.
    std::unique_ptr<PacedHid> paced;
    std::unique_ptr<std::chrono::microseconds> demo_time;
    Hid* hid = nullptr;
};

// The demo's module answering one report per millisecond frame of real time, its clock
// following: a trace of it takes the time a trace of the module takes.
void pace_demo(Bus& bus, Session& session)
{
    SimModule* module = &bus.demo->module();
    bus.demo_time = std::make_unique<std::chrono::microseconds>(0);
    std::chrono::microseconds* time = bus.demo_time.get();
    constexpr std::chrono::milliseconds frame{1};
    bus.paced = std::make_unique<PacedHid>(bus.demo->hid(), [module, time, frame,
                                                             next = std::chrono::steady_clock::now()]() mutable {
        next = std::max(next + frame, std::chrono::steady_clock::now());
        std::this_thread::sleep_until(next);
        module->advance_ms(1);
        *time += frame;
    });
    bus.hid = bus.paced.get();
    session.clock = [time] { return *time; };
    session.pause = [module, time](std::chrono::milliseconds ms) {
        std::this_thread::sleep_for(ms);
        module->advance_ms(static_cast<std::uint32_t>(ms.count()));
        *time += ms;
    };
}

Bus choose_bus(CliEnv& env, bool demo, bool paced, Session& session)
{
    Bus bus;
    bus.hid = env.hid;
    if (demo) session.firmware = env.demo_firmware;
    if (bus.hid == nullptr && demo) {
        bus.demo = std::make_unique<DemoCore>(env.demo_firmware.version_word);
        bus.hid = &bus.demo->hid();
        // Simulated time passes only when the command line waits.
        session.pause = [m = &bus.demo->module()](std::chrono::milliseconds ms) {
            m->advance_ms(static_cast<std::uint32_t>(ms.count()));
        };
        if (paced) pace_demo(bus, session);
    } else if (bus.hid == nullptr) {
        if (env.make_system_hid) bus.system_hid = env.make_system_hid();
        if (!bus.system_hid) throw CliFailure(exit_not_found, "no HID backend on this system");
        bus.hid = bus.system_hid.get();
    }
    return bus;
}

void run_on_module(const Subcommand& command, CliEnv& env, const GlobalOptions& g, Session& session)
{
    const Bus bus = choose_bus(env, g.demo, command.paced_demo, session);
    std::ofstream log_stream;
    if (!g.log_file.empty()) {
        log_stream.open(utf8_path(g.log_file), std::ios::app | std::ios::binary);
        if (!log_stream) throw CliFailure(exit_file_problem, g.log_file + ": cannot open the log for appending");
    }
    ModuleLink link(*bus.hid, g.log_file.empty() ? nullptr : &log_stream, env.err, env.err_is_terminal,
                    session.pause);
    link.set_busy_wait(std::chrono::milliseconds(static_cast<long long>(g.busy_wait_seconds * 1000)));
    session.link = &link;
    command.run(session);
}

int report_failure(const CliFailure& e, CliEnv& env, const GlobalOptions& g, const std::string& name)
{
    env.err << "lirvan-cli: " << e.what() << '\n';
    if (g.json) {
        Json j = result_object(name);
        j["ok"] = false;
        j["exit_code"] = e.exit_code();
        j["error"] = e.what();
        env.out << j.dump() << '\n';
    }
    if (e.exit_code() == exit_usage) env.err << "Run with --help for more information.\n";
    return e.exit_code();
}

}  // namespace

int run_cli(const std::vector<std::string>& args, CliEnv& env)
{
    CLI::App app{description, "lirvan-cli"};
    GlobalOptions g;
    add_global_options(app, g);
    Subcommands commands;
    add_subcommands(app, commands);

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with exit code 0 and their text on out.
        const int code = app.exit(e, env.out, env.err);
        return code == 0 ? exit_done : exit_usage;
    }

    const std::string name = command_name(app);
    Output out(env.out, g.json);
    Session session{out, nullptr, env.firmware,
                    env.pause ? env.pause : [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); },
                    env.clock ? env.clock : [] {
                        return std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now().time_since_epoch());
                    }};
    try {
        for (const Subcommand& command : commands) {
            if (!command.app->parsed()) continue;
            if (command.check_usage) command.check_usage();
            if (command.needs_module && !(command.without_module && command.without_module()))
                run_on_module(command, env, g, session);
            else
                command.run(session);
        }
        return session.exit_code;
    } catch (const CliFailure& e) {
        return report_failure(e, env, g, name);
    }
}
