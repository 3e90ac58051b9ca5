// lirvan-cli as a function: the argument list in, the exit code out, everything it prints on
// the two streams it is given. main() passes the process's own; tests drive it in-process
// with a simulated module on a simulated bus.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "define/carried_image.h"
#include "device/Hid.h"


struct CliEnv {
    CliEnv(std::ostream& out_stream, std::ostream& err_stream) : out(out_stream), err(err_stream) {}

    std::ostream& out;
    std::ostream& err;
    // Whether err is a terminal: the progress bar is drawn only there.
    bool err_is_terminal = false;
    // The system's HID backend, made when a command first needs the module.
    std::function<std::unique_ptr<Hid>()> make_system_hid;
    // When set, used instead of the system's backend (and instead of the built-in simulated
    // module of --demo): tests put their simulated bus here.
    Hid* hid = nullptr;
    // Waits between two searches of a wait (update) or two polls; the default sleeps. Tests and
    // --demo advance the simulated module's clock instead.
    std::function<void(std::chrono::milliseconds)> pause;
    // The monotonic clock of a trace (watch); the default is the system's steady clock. Tests
    // give the simulated module's.
    std::function<std::chrono::microseconds()> clock;
    CarriedImage firmware;       // for the real module
    CarriedImage demo_firmware;  // for the simulated module of --demo
};

int run_cli(const std::vector<std::string>& args, CliEnv& env);
