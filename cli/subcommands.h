// lirvan-cli's subcommands as registered: what a chosen command works with (its session), the
// registration of each subcommand with its options and usage checks, and the list of them all.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace CLI {
class App;
}

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

// Registers every subcommand of lirvan-cli on app, each with its options, in the order of --help.
void add_subcommands(CLI::App& app, Subcommands& list);
