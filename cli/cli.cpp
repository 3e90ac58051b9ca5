// lirvan-cli's command line: the subcommands and their options (CLI11), each registered by a
// function of its own; the choice of bus (the system's HID backend, or the demo's simulated
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

using Pause = std::function<void(std::chrono::milliseconds)>;

// What a chosen command works with: its output, the module (for the commands that need one),
// the firmware it would carry to the module, and the wait between two searches or polls.
struct Session {
    Output& out;
    ModuleLink* link = nullptr;
    CarriedImage firmware;
    Pause pause;
    std::function<std::chrono::microseconds()> clock;
    // A command whose result is not "done" without a failure (compare: the images differ).
    int exit_code = exit_done;
};

// One subcommand as registered: its CLI11 app (parsed() tells whether it was chosen), the usage
// checks that CLI11 cannot express (run before anything touches the module), and the command.
struct Subcommand {
    CLI::App* app;
    bool needs_module = true;
    std::function<void()> check_usage;
    std::function<void(Session&)> run;
    // Set when the command line decides whether the module is needed (compare of two files).
    std::function<bool()> without_module = {};
    // With --demo, the simulated module answers at the module's own pace, one report per
    // millisecond, and its clock runs with the trace (watch).
    bool paced_demo = false;
};
using Subcommands = std::vector<Subcommand>;

// The options of a subcommand live as long as the parse and the run: shared with its lambdas.
template <typename T>
std::shared_ptr<T> options()
{
    return std::make_shared<T>();
}

// An argument that must name an existing file or folder. CLI11's own checks make their path
// from the narrow text, which Windows reads in the ANSI code page: a Cyrillic name would not be
// found. These read the argument as the UTF-8 it is, with CLI11's words.
CLI::Validator existing(bool folder)
{
    return CLI::Validator(
        [folder](std::string& name) -> std::string {
            std::error_code ec;
            const std::filesystem::file_status st = std::filesystem::status(utf8_path(name), ec);
            if (!std::filesystem::exists(st)) return (folder ? "Directory" : "File") + std::string(" does not exist: ") + name;
            if (std::filesystem::is_directory(st) != folder)
                return (folder ? "Directory is actually a file: " : "File is actually a directory: ") + name;
            return {};
        },
        folder ? "DIR" : "FILE");
}
const CLI::Validator existing_file = existing(false), existing_folder = existing(true);

void add_status(CLI::App& app, Subcommands& list)
{
    auto* sub = app.add_subcommand("status", "Which form answers (application, loader, none), "
                                             "firmware and loader versions, CNC running or stopped");
    list.push_back({sub, true, {}, [](Session& s) { command_status(*s.link, s.out); }});
}

void add_config(CLI::App& app, Subcommands& list)
{
    auto* config = app.add_subcommand("config", "The configuration block");
    config->require_subcommand(1);
    auto* show = config->add_subcommand("show", "Read the block and show its seven settings");
    list.push_back({show, true, {}, [](Session& s) { command_config_show(*s.link, s.out); }});

    auto file = options<std::string>();
    auto* read = config->add_subcommand("read", "Read the 12-byte block into FILE");
    read->add_option("FILE", *file, "File to write")->required();
    list.push_back({read, true, {}, [file](Session& s) { command_config_read(*s.link, s.out, utf8_path(*file)); }});

    auto no_verify = options<bool>();
    auto* write = config->add_subcommand(
        "write", "Write the 12-byte block of FILE (checksum recomputed), then read it back");
    write->add_option("FILE", *file, "Block to write")->required()->check(existing_file);
    write->add_flag("--no-verify", *no_verify, "Do not read the block back");
    list.push_back({write, true, {}, [file, no_verify](Session& s) {
                        command_config_write(*s.link, s.out, utf8_path(*file), !*no_verify);
                    }});
}

// The images a read or write names: every memory of the table but the configuration block,
// which has a subcommand of its own.
const std::vector<std::string>& memory_names()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const MemoryInfo& info : all_memories())
            if (info.memory != Memory::config) out.emplace_back(info.name);
        return out;
    }();
    return names;
}

// The images' names in words, as the help lists them: "rom, amt, kvp or ram"; with flash_only
// those a write reads back, "rom, amt or kvp".
std::string memory_list(bool flash_only = false)
{
    std::vector<std::string> names;
    for (const MemoryInfo& info : all_memories())
        if (info.memory != Memory::config && (info.in_flash() || !flash_only)) names.emplace_back(info.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

void add_read(CLI::App& app, Subcommands& list)
{
    struct Options {
        std::string memory, file;
    };
    auto o = options<Options>();
    auto* sub = app.add_subcommand("read", "Read " + memory_list() + " into FILE (written whole or not at all)");
    sub->add_option("MEMORY", o->memory, memory_list())->required()->check(CLI::IsMember(memory_names()));
    sub->add_option("FILE", o->file, "File to write")->required();
    list.push_back({sub, true, {}, [o](Session& s) {
                        command_read(*s.link, s.out, memory_by_name(o->memory).value_or(Memory::rom), utf8_path(o->file));
                    }});
}

// "--low D76, --high D77, --low-74 D74 and --high-74 D75": the options of a memory's lanes.
std::string lane_list(const MemoryInfo& info, const char* const* option_names)
{
    std::string text;
    for (std::size_t i = 0; i < info.lanes.size(); ++i) {
        if (i > 0) text += i + 1 == info.lanes.size() ? " and " : ", ";
        text += std::string(option_names[i]) + " " + info.lanes[i].chip;
    }
    return text;
}

// The lane files of an image, as write and compare take them.
using LaneFiles = std::array<std::string, 4>;
const char* const lane_options[] = {"--low", "--high", "--low-74", "--high-74"};
const char* const lane_help[] = {
    "Low-byte lane: rom D83 (8192 bytes); amt 70000: D76 (2048)",
    "High-byte lane: rom D82 (8192 bytes); amt 70000: D77 (2048)",
    "amt 74000: low-byte lane D74 (2048 bytes)",
    "amt 74000: high-byte lane D75 (2048 bytes)",
};

void add_lane_options(CLI::App& sub, LaneFiles& files)
{
    for (std::size_t i = 0; i < files.size(); ++i)
        sub.add_option(lane_options[i], files[i], lane_help[i])->type_name("FILE");
}

std::size_t lanes_given(const LaneFiles& files)
{
    return static_cast<std::size_t>(std::count_if(files.begin(), files.end(), [](const auto& f) { return !f.empty(); }));
}

// Lane files, when given, must be every lane of a memory that has lanes. `what` names the
// command and memory: "write rom".
void check_lane_files(Memory memory, const LaneFiles& files, const std::string& what)
{
    const MemoryInfo& info = memory_info(memory);
    if (lanes_given(files) == 0) return;
    if (info.lanes.empty()) {
        std::string with_lanes;
        for (const MemoryInfo& m : all_memories())
            if (!m.lanes.empty()) with_lanes += (with_lanes.empty() ? "" : " and ") + std::string(m.name);
        throw CliFailure(exit_usage, what + ": lane files are for " + with_lanes);
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].empty() != (i >= info.lanes.size()))
            throw CliFailure(exit_usage, what + ": give " + lane_list(info, lane_options));
}

// The write's usage rules: a whole file or every lane file of the memory, a bank for the RAM
// and only for it.
void check_write_usage(const WriteOptions& w, const std::string& name)
{
    const std::size_t given = lanes_given(w.lane_files);
    if (!w.file.empty() && given > 0) throw CliFailure(exit_usage, "write: give FILE or lane files, not both");
    if (w.memory == Memory::ram && w.bank.empty())
        throw CliFailure(exit_usage, "write ram: --bank main or --bank reserve is required");
    if (w.memory != Memory::ram && !w.bank.empty()) throw CliFailure(exit_usage, "write: --bank is for ram only");
    if (w.file.empty() && given == 0) throw CliFailure(exit_usage, "write: FILE or lane files required");
    check_lane_files(w.memory, w.lane_files, "write " + name);
}

void add_write(CLI::App& app, Subcommands& list)
{
    struct Options {
        std::string memory;
        bool no_verify = false;
        WriteOptions write;
    };
    auto o = options<Options>();
    auto* sub = app.add_subcommand(
        "write", "Write " + memory_list(true) + " from FILE or from chip lane files, then read it back; "
                 "write ram FILE --bank main|reserve");
    sub->add_option("MEMORY", o->memory, memory_list())->required()->check(CLI::IsMember(memory_names()));
    sub->add_option("FILE", o->write.file, "Whole image (16384 bytes; amt 8192)");
    add_lane_options(*sub, o->write.lane_files);
    sub->add_option("--bank", o->write.bank, "ram: the non-volatile bank to store it in")
        ->check(CLI::IsMember({"main", "reserve"}));
    sub->add_flag("--no-verify", o->no_verify, "Do not read the image back");
    const auto check = [o] {
        o->write.memory = memory_by_name(o->memory).value_or(Memory::rom);
        o->write.verify = !o->no_verify;
        check_write_usage(o->write, o->memory);
    };
    list.push_back({sub, true, check, [o](Session& s) { command_write(*s.link, s.out, o->write); }});
}

void add_compare(CLI::App& app, Subcommands& list)
{
    struct Options {
        std::vector<std::string> operands;
        std::string as;
        CompareOptions compare;
    };
    auto o = options<Options>();
    auto* sub = app.add_subcommand(
        "compare", "Compare the module's " + memory_list() + " with FILE (or with lane files), two "
                   "files with --as MEMORY, or the module with a backup folder (--backup DIR); "
                   "exit 0 equal, 3 different");
    sub->add_option("OPERANDS", o->operands, "MEMORY FILE, MEMORY with lane files, FILE FILE --as MEMORY");
    sub->add_option("--as", o->as, "The memory two files are images of: " + memory_list())
        ->check(CLI::IsMember(memory_names()));
    add_lane_options(*sub, o->compare.lane_files);
    sub->add_option("--backup", o->compare.backup, "A backup folder: each of its memories against the module")
        ->type_name("DIR")
        ->check(existing_folder);
    sub->add_flag("--ram", o->compare.ram, "With --backup: the RAM too (its read holds the CNC for a moment)");
    sub->add_flag("--all", o->compare.all, "List every differing word, not only the first ten");
    const auto check = [o] {
        CompareOptions& c = o->compare;
        const std::vector<std::string>& ops = o->operands;
        const std::size_t lanes = lanes_given(c.lane_files);
        if (!c.backup.empty()) {
            if (!ops.empty() || !o->as.empty() || lanes > 0)
                throw CliFailure(exit_usage, "compare --backup DIR: no other files or memory");
            return;
        }
        if (c.ram) throw CliFailure(exit_usage, "compare: --ram is for --backup");
        std::size_t next = 0;
        if (!o->as.empty()) {
            if (ops.empty()) throw CliFailure(exit_usage, "compare --as " + o->as + ": FILE required");
            c.memory = *memory_by_name(o->as);
            c.first_file = ops[next++];
        } else {
            const auto memory = ops.empty() ? std::nullopt : memory_by_name(ops[0]);
            if (!memory || *memory == Memory::config)
                throw CliFailure(exit_usage, "compare: MEMORY (" + memory_list() + ") first, or two "
                                             "files with --as MEMORY");
            c.memory = *memory;
            ++next;
        }
        const std::size_t files = ops.size() - next;
        if (files > 1 || (files == 1 && lanes > 0) || (files == 0 && lanes == 0))
            throw CliFailure(exit_usage, "compare: one FILE or lane files to compare with");
        if (files == 1) c.second_file = ops[next];
        const std::string name = memory_info(c.memory).name;
        check_lane_files(c.memory, c.lane_files, "compare " + name);
    };
    list.push_back({sub, true, check, [o](Session& s) { s.exit_code = command_compare(s.link, s.out, o->compare); },
                    [o] { return o->compare.backup.empty() && !o->compare.first_file.empty(); }});
}

// "500ms", "10s", "5m", "1h"; a bare number is seconds.
std::chrono::microseconds parse_duration(const std::string& text)
{
    std::size_t used = 0;
    double value = -1;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
    }
    const std::string unit = text.substr(std::min(used, text.size()));
    double scale = -1;
    if (unit.empty() || unit == "s") scale = 1e6;
    else if (unit == "ms") scale = 1e3;
    else if (unit == "m" || unit == "min") scale = 60e6;
    else if (unit == "h") scale = 3600e6;
    if (value <= 0 || scale < 0 || value * scale > 1e15)
        throw CliFailure(exit_usage, "watch --for: \"" + text + "\" is not a duration such as 500ms, 10s, 5m or 1h");
    return std::chrono::microseconds(static_cast<std::int64_t>(value * scale));
}

void add_watch(CLI::App& app, Subcommands& list)
{
    struct Options {
        std::vector<std::string> addresses;
        std::string page;
        double interval_ms = 0;
        std::string duration;
        WatchOptions watch;
    };
    static const std::vector<std::string> page_names = [] {
        std::vector<std::string> names;
        for (const PagePolls& p : polled_pages) names.emplace_back(p.name);
        return names;
    }();
    auto o = options<Options>();
    auto* sub = app.add_subcommand(
        "watch", "Trace CNC bus registers as fast as the module answers (or every --interval), for --for or "
                 "until Ctrl+C: a line per change, --csv, --svg timing diagram");
    sub->add_option("ADDR", o->addresses, "Octal bus addresses, read after those of --page");
    sub->add_option("--page", o->page,
                    "The registers a page of the window shows: ke (КЭ/БФОС, six registers; the default "
                    "without ADDR), kip (КИП/БОС), kp (КП(ЦАП)), ea (Контроллер ЭА: the controller's six words, "
                    "then 170462 and 170461)")
        ->check(CLI::IsMember(page_names));
    sub->add_option("--interval", o->interval_ms, "Milliseconds from the start of one sample to the next")
        ->check(CLI::Range(0.0, 3600e3));
    sub->add_option("--for", o->duration, "How long to trace: 500ms, 10s, 5m, 1h (a number alone: seconds)")
        ->type_name("DURATION");
    sub->add_option("--csv", o->watch.csv, "Write each change (time in µs, register, octal, bit row) to FILE as it comes")
        ->type_name("FILE");
    sub->add_flag("--every-sample", o->watch.every_sample, "--csv gets every reading, not only the changes");
    sub->add_option("--svg", o->watch.svg, "Draw the timing diagram of the changed bits into FILE at the end")
        ->type_name("FILE");
    const auto check = [o] {
        WatchOptions& w = o->watch;
        w.registers.clear();
        const PagePolls* page = page_polls_named(o->page.empty() && o->addresses.empty() ? "ke" : o->page);
        if (page != nullptr) w.registers.assign(page->registers.begin(), page->registers.end());
        w.controller_words = page != nullptr && page->poll == TickPoll::controller;
        for (const std::string& a : o->addresses) {
            std::uint16_t address = 0;
            try {
                address = OctToWord(a);
            } catch (const ConversionError&) {
                throw CliFailure(exit_usage, "watch: address \"" + a + "\" is not an octal number 0..177777");
            }
            if (std::find(w.registers.begin(), w.registers.end(), address) == w.registers.end())
                w.registers.push_back(address);
        }
        if (w.every_sample && w.csv.empty()) throw CliFailure(exit_usage, "watch: --every-sample is for --csv");
        w.interval = std::chrono::microseconds(static_cast<std::int64_t>(o->interval_ms * 1000));
        w.duration = o->duration.empty() ? std::chrono::microseconds{0} : parse_duration(o->duration);
    };
    Subcommand command{sub, true, check, [o](Session& s) {
                           command_watch(*s.link, s.out, o->watch, {s.clock, s.pause});
                       }};
    command.paced_demo = true;
    list.push_back(command);
}

void add_registers(CLI::App& app, Subcommands& list)
{
    auto addresses = options<std::vector<std::string>>();
    auto* regs = app.add_subcommand("regs", "Read CNC bus registers (octal addresses, e.g. 170461)");
    regs->add_option("ADDR", *addresses, "Octal bus addresses")->required();
    list.push_back({regs, true, {}, [addresses](Session& s) { command_regs(*s.link, s.out, *addresses); }});

    auto assignment = options<std::string>();
    auto* set = app.add_subcommand("set", "Write one CNC bus register, octal (e.g. 170462=100001); "
                                          "only while the CNC processor is stopped");
    set->add_option("ADDR=VALUE", *assignment, "Octal address and value")->required();
    list.push_back({set, true, {}, [assignment](Session& s) { command_set(*s.link, s.out, *assignment); }});
}

void add_module_commands(CLI::App& app, Subcommands& list)
{
    auto action = options<std::string>();
    auto* cpu = app.add_subcommand("cpu", "Stop or start the CNC processor");
    cpu->add_option("ACTION", *action, "stop or start")->required()->check(CLI::IsMember({"stop", "start"}));
    list.push_back({cpu, true, {}, [action](Session& s) { command_cpu(*s.link, s.out, *action == "start"); }});

    auto* restart = app.add_subcommand("restart", "Restart the module");
    list.push_back({restart, true, {}, [](Session& s) { command_restart(*s.link, s.out); }});

    auto* counters = app.add_subcommand("counters", "The measuring-channel counters");
    counters->require_subcommand(1);
    auto* reset = counters->add_subcommand("reset", "Start the four counters from zero");
    list.push_back({reset, true, {}, [](Session& s) { command_counters_reset(*s.link, s.out); }});
}

void add_update(CLI::App& app, Subcommands& list)
{
    auto wait_seconds = std::make_shared<int>(60);
    auto* sub = app.add_subcommand(
        "update", "Send the carried firmware image through the loader hand-over and wait for the "
                  "application to come back with its new version");
    sub->add_option("--wait", *wait_seconds, "Seconds to wait for the loader, and for the application")
        ->check(CLI::Range(0, 3600))
        ->capture_default_str();
    list.push_back({sub, true, {}, [wait_seconds](Session& s) {
                        command_update(*s.link, s.out, s.firmware, *wait_seconds);
                    }});
}

void add_poll(CLI::App& app, Subcommands& list)
{
    auto o = options<PollOptions>();
    auto* sub = app.add_subcommand("poll", "Modbus RTU poll over a serial line (the network page)");
    sub->add_option("--port", o->port, "Serial port, e.g. ttyUSB0 or /dev/ttyUSB0")->required();
    sub->add_option("--baud", o->baud, "Baud rate")
        ->check(CLI::IsMember({2400, 4800, 9600, 19200, 38400, 57600, 115200}))
        ->capture_default_str();
    sub->add_option("--addr", o->address, "Network (slave) address")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    sub->add_option("--count", o->count, "Number of polls, one a second")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    list.push_back({sub, false, {}, [o](Session& s) { command_poll(s.out, *o, s.pause); }});
}

void add_backup_restore(CLI::App& app, Subcommands& list)
{
    auto folder = options<std::string>();
    auto* backup = app.add_subcommand(
        "backup", "Configuration, ROM, AMT, KVP and RAM plus manifest.json into the new folder DIR");
    backup->add_option("DIR", *folder, "Folder to create")->required();
    list.push_back({backup, true, {}, [folder](Session& s) { command_backup(*s.link, s.out, utf8_path(*folder)); }});

    struct Options {
        std::string ram_bank;
        bool no_verify = false;
    };
    auto o = options<Options>();
    auto* restore = app.add_subcommand(
        "restore", "Check DIR's manifest and files, then write the configuration and the flash "
                   "images (and the RAM with --ram), each read back");
    restore->add_option("DIR", *folder, "Backup folder")->required()->check(existing_folder);
    restore->add_option("--ram", o->ram_bank, "Also write the RAM, into this non-volatile bank")
        ->check(CLI::IsMember({"main", "reserve"}));
    restore->add_flag("--no-verify", o->no_verify, "Do not read the written images back");
    list.push_back({restore, true, {}, [folder, o](Session& s) {
                        command_restore(*s.link, s.out, utf8_path(*folder), o->ram_bank, !o->no_verify);
                    }});
}

void add_info(CLI::App& app, Subcommands& list)
{
    auto files = options<std::vector<std::string>>();
    auto* sub = app.add_subcommand("info", "Size, byte sum and CRC-32 of image files, and which "
                                           "memory each fits");
    sub->add_option("FILE", *files, "Image files")->required();
    list.push_back({sub, false, {}, [files](Session& s) { command_info(s.out, *files); }});
}

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
    for (const auto add : {add_status, add_config, add_read, add_write, add_compare, add_watch, add_registers,
                           add_module_commands,
                           add_update, add_poll, add_backup_restore, add_info})
        add(app, commands);

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
