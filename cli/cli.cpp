// lirvan-cli's command line: the subcommands and their options (CLI11), the choice of bus
// (the system's HID backend, or the simulated module of --demo), the support log, and the one
// place where failures become an exit code and one line on stderr.
#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

// The module of --demo: the simulated module behind a foreign device on a simulated bus, with
// firmware one step older than the demo's carried image, so that an update has work to do.
struct DemoRig {
    SimModule module;
    ForeignDevice keyboard{0x046D, 0xC31C};
    SimBus bus;

    explicit DemoRig(std::uint32_t carried_version)
    {
        const std::uint32_t major = (carried_version >> 16) & 15;
        std::uint32_t minor = ((carried_version >> 12) & 15) * 10 + ((carried_version >> 8) & 15);
        if (minor > 0) --minor;
        module.set_firmware_version((major << 16) | ((minor / 10) << 12) | ((minor % 10) << 8));
        module.set_firmware_version_after_update(carried_version);
        module.set_cpu_running(true);
        bus.add_interface(keyboard);
        bus.add_interface(module);
    }
};

constexpr const char* description =
    "lirvan-cli: the ЛИРВАН НЦ-31 module from the command line.\n"
    "Exit codes: 0 done, 1 module not found, 2 transfer failed or refused, 3 verify mismatch,\n"
    "4 file problem, 64 usage.";

struct Parsed {
    bool demo = false;
    bool json = false;
    std::string log_file;
    double busy_wait_seconds = 5;
    std::string name;  // the command as typed: "config show", "read", ...
};

}  // namespace

int run_cli(const std::vector<std::string>& args, CliEnv& env)
{
    CLI::App app{description, "lirvan-cli"};
    app.require_subcommand(1);
    app.fallthrough();  // the global options may also follow the subcommand
    app.set_version_flag("--version", std::string("lirvan-cli ") + LIRVAN_TOOL_VERSION);
    Parsed p;
    app.add_flag("--demo", p.demo, "Work on the built-in simulated module instead of a real one");
    app.add_flag("--json", p.json, "Print each result as one JSON object on one line");
    app.add_option("--log", p.log_file,
                   "Append every report exchanged with the module to FILE, one JSON line each "
                   "(time, direction, command, words, bytes, result): the support log")
        ->type_name("FILE");
    app.add_option("--busy-wait", p.busy_wait_seconds,
                   "Seconds to wait while another program (a window of the tool, another "
                   "lirvan-cli) holds the module, then fail with exit 2")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();

    auto* status = app.add_subcommand("status", "Which form answers (application, loader, none), "
                                                "firmware and loader versions, CNC running or stopped");

    auto* config = app.add_subcommand("config", "The configuration block");
    config->require_subcommand(1);
    auto* config_show = config->add_subcommand("show", "Read the block and show its seven settings");
    std::string config_file;
    bool no_verify = false;
    auto* config_read = config->add_subcommand("read", "Read the 12-byte block into FILE");
    config_read->add_option("FILE", config_file, "File to write")->required();
    auto* config_write = config->add_subcommand(
        "write", "Write the 12-byte block of FILE (checksum recomputed), then read it back");
    config_write->add_option("FILE", config_file, "Block to write")->required()->check(CLI::ExistingFile);
    config_write->add_flag("--no-verify", no_verify, "Do not read the block back");

    const std::vector<std::string> images = {"rom", "amt", "kvp", "ram"};
    std::string memory_name, image_file;
    auto* read = app.add_subcommand("read", "Read rom, amt, kvp or ram into FILE (written whole "
                                            "or not at all)");
    read->add_option("MEMORY", memory_name, "rom, amt, kvp or ram")->required()->check(CLI::IsMember(images));
    read->add_option("FILE", image_file, "File to write")->required();

    WriteOptions w;
    auto* write = app.add_subcommand(
        "write", "Write rom, amt or kvp from FILE or from chip lane files, then read it back; "
                 "write ram FILE --bank main|reserve");
    write->add_option("MEMORY", memory_name, "rom, amt, kvp or ram")->required()->check(CLI::IsMember(images));
    write->add_option("FILE", w.file, "Whole image (16384 bytes; amt 8192)");
    write->add_option("--low", w.low, "Low-byte lane: rom D83 (8192 bytes); amt 70000: D76 (2048)")
        ->type_name("FILE");
    write->add_option("--high", w.high, "High-byte lane: rom D82 (8192 bytes); amt 70000: D77 (2048)")
        ->type_name("FILE");
    write->add_option("--low-74", w.low_74, "amt 74000: low-byte lane D74 (2048 bytes)")->type_name("FILE");
    write->add_option("--high-74", w.high_74, "amt 74000: high-byte lane D75 (2048 bytes)")->type_name("FILE");
    write->add_option("--bank", w.bank, "ram: the non-volatile bank to store it in")
        ->check(CLI::IsMember({"main", "reserve"}));
    write->add_flag("--no-verify", no_verify, "Do not read the image back");

    std::vector<std::string> reg_addresses;
    auto* regs = app.add_subcommand("regs", "Read CNC bus registers (octal addresses, e.g. 170461)");
    regs->add_option("ADDR", reg_addresses, "Octal bus addresses")->required();
    std::string assignment;
    auto* set = app.add_subcommand("set", "Write one CNC bus register, octal (e.g. 170462=100001); "
                                          "only while the CNC processor is stopped");
    set->add_option("ADDR=VALUE", assignment, "Octal address and value")->required();

    std::string cpu_action;
    auto* cpu = app.add_subcommand("cpu", "Stop or start the CNC processor");
    cpu->add_option("ACTION", cpu_action, "stop or start")->required()->check(CLI::IsMember({"stop", "start"}));
    auto* restart = app.add_subcommand("restart", "Restart the module");
    auto* counters = app.add_subcommand("counters", "The measuring-channel counters");
    counters->require_subcommand(1);
    auto* counters_reset = counters->add_subcommand("reset", "Start the four counters from zero");

    int wait_seconds = 60;
    auto* update = app.add_subcommand(
        "update", "Send the carried firmware image through the loader hand-over and wait for the "
                  "application to come back with its new version");
    update->add_option("--wait", wait_seconds, "Seconds to wait for the loader, and for the application")
        ->check(CLI::Range(0, 3600))
        ->capture_default_str();

    PollOptions poll_options;
    auto* poll = app.add_subcommand("poll", "Modbus RTU poll over a serial line (the network page)");
    poll->add_option("--port", poll_options.port, "Serial port, e.g. ttyUSB0 or /dev/ttyUSB0")->required();
    poll->add_option("--baud", poll_options.baud, "Baud rate")
        ->check(CLI::IsMember({2400, 4800, 9600, 19200, 38400, 57600, 115200}))
        ->capture_default_str();
    poll->add_option("--addr", poll_options.address, "Network (slave) address")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    poll->add_option("--count", poll_options.count, "Number of polls, one a second")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();

    std::string folder, ram_bank;
    auto* backup = app.add_subcommand(
        "backup", "Configuration, ROM, AMT, KVP and RAM plus manifest.json into the new folder DIR");
    backup->add_option("DIR", folder, "Folder to create")->required();
    auto* restore = app.add_subcommand(
        "restore", "Check DIR's manifest and files, then write the configuration and the flash "
                   "images (and the RAM with --ram), each read back");
    restore->add_option("DIR", folder, "Backup folder")->required()->check(CLI::ExistingDirectory);
    restore->add_option("--ram", ram_bank, "Also write the RAM, into this non-volatile bank")
        ->check(CLI::IsMember({"main", "reserve"}));
    restore->add_flag("--no-verify", no_verify, "Do not read the written images back");

    std::vector<std::string> info_files;
    auto* info = app.add_subcommand("info", "Size, byte sum and CRC-32 of image files, and which "
                                            "memory each fits");
    info->add_option("FILE", info_files, "Image files")->required();

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with exit code 0 and their text on out.
        const int code = app.exit(e, env.out, env.err);
        return code == 0 ? exit_done : exit_usage;
    }

    // The command's name as typed, for results and failure lines.
    for (const CLI::App* sub : app.get_subcommands()) {
        p.name = sub->get_name();
        for (const CLI::App* subsub : sub->get_subcommands()) p.name += " " + subsub->get_name();
    }
    Output out(env.out, p.json);
    auto pause = env.pause ? env.pause : [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };

    try {
        if (info->parsed()) {
            command_info(out, info_files);
            return exit_done;
        }
        if (poll->parsed()) {
            command_poll(out, poll_options, pause);
            return exit_done;
        }

        // Usage checks that CLI11 cannot express, before anything touches the module.
        const Memory memory = memory_by_name(memory_name).value_or(Memory::rom);
        if (write->parsed()) {
            w.memory = memory;
            w.verify = !no_verify;
            const bool lanes = !w.low.empty() || !w.high.empty() || !w.low_74.empty() || !w.high_74.empty();
            if (!w.file.empty() && lanes)
                throw CliFailure(exit_usage, "write: give FILE or lane files, not both");
            if (memory == Memory::ram && w.bank.empty())
                throw CliFailure(exit_usage, "write ram: --bank main or --bank reserve is required");
            if (memory != Memory::ram && !w.bank.empty())
                throw CliFailure(exit_usage, "write: --bank is for ram only");
            if (w.file.empty() && !lanes) throw CliFailure(exit_usage, "write: FILE or lane files required");
            if (lanes && (memory == Memory::kvp || memory == Memory::ram))
                throw CliFailure(exit_usage, std::string("write ") + memory_name + ": lane files are for rom and amt");
            if (lanes && memory == Memory::rom && (w.low.empty() || w.high.empty() || !w.low_74.empty() || !w.high_74.empty()))
                throw CliFailure(exit_usage, "write rom: give --low D83 and --high D82");
            if (lanes && memory == Memory::amt && (w.low.empty() || w.high.empty() || w.low_74.empty() || w.high_74.empty()))
                throw CliFailure(exit_usage, "write amt: give --low D76, --high D77, --low-74 D74 and --high-74 D75");
        }

        // The module: a test's bus, the simulated module, or the system's HID backend.
        std::unique_ptr<DemoRig> rig;
        std::unique_ptr<Hid> system_hid;
        Hid* bus = env.hid;
        CarriedFirmware firmware = env.firmware;
        if (bus == nullptr && p.demo) {
            rig = std::make_unique<DemoRig>(env.demo_firmware.version_word);
            bus = &rig->bus;
            firmware = env.demo_firmware;
            // Simulated time passes only when the command line waits.
            pause = [m = &rig->module](std::chrono::milliseconds ms) {
                m->advance_ms(static_cast<std::uint32_t>(ms.count()));
            };
        } else if (bus == nullptr) {
            if (env.make_system_hid) system_hid = env.make_system_hid();
            if (!system_hid) throw CliFailure(exit_not_found, "no HID backend on this system");
            bus = system_hid.get();
        } else if (p.demo) {
            firmware = env.demo_firmware;
        }
        std::ofstream log_stream;
        if (!p.log_file.empty()) {
            log_stream.open(p.log_file, std::ios::app | std::ios::binary);
            if (!log_stream) throw CliFailure(exit_file_problem, p.log_file + ": cannot open the log for appending");
        }
        ModuleLink link(*bus, p.log_file.empty() ? nullptr : &log_stream, env.err,
                        env.err_is_terminal, pause);
        link.set_busy_wait(std::chrono::milliseconds(static_cast<long long>(p.busy_wait_seconds * 1000)));

        if (status->parsed()) command_status(link, out);
        else if (config_show->parsed()) command_config_show(link, out);
        else if (config_read->parsed()) command_config_read(link, out, config_file);
        else if (config_write->parsed()) command_config_write(link, out, config_file, !no_verify);
        else if (read->parsed()) command_read(link, out, memory, image_file);
        else if (write->parsed()) command_write(link, out, w);
        else if (regs->parsed()) command_regs(link, out, reg_addresses);
        else if (set->parsed()) command_set(link, out, assignment);
        else if (cpu->parsed()) command_cpu(link, out, cpu_action == "start");
        else if (restart->parsed()) command_restart(link, out);
        else if (counters_reset->parsed()) command_counters_reset(link, out);
        else if (update->parsed()) command_update(link, out, firmware, wait_seconds);
        else if (backup->parsed()) command_backup(link, out, folder);
        else if (restore->parsed()) command_restore(link, out, folder, ram_bank, !no_verify);
        return exit_done;
    } catch (const CliFailure& e) {
        env.err << "lirvan-cli: " << e.what() << '\n';
        if (p.json) {
            Json j = result_object(p.name);
            j["ok"] = false;
            j["exit_code"] = e.exit_code();
            j["error"] = e.what();
            env.out << j.dump() << '\n';
        }
        if (e.exit_code() == exit_usage) env.err << "Run with --help for more information.\n";
        return e.exit_code();
    }
}
