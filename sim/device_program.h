// What the two device programs share, lirvan-sim-uhid (the module through /dev/uhid) and
// lirvan-sim-usb (the module as a USB gadget): their options and fault options, the simulated
// module set up as the module ships, its clock, the stop signal, the module's change of form
// (it leaves the bus and comes back), the record of the reports that reached the device, and
// the end of a run: the STATS line the kernel-path test reads and the dump.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_module.h"

namespace device_program {

struct Options {
    bool decoys = false;
    std::size_t vanish_at_get = 0;  // 0: never
    std::size_t short_get_at = 0;   // 0: never
    std::size_t fail_set_at = 0;    // 0: never
    long identity = -1;             // -1: the form's own word
    std::string record_path;        // "": no record
    std::string dump_dir;           // "": no dump at the end
    std::string udc;                // lirvan-sim-usb only: the first device controller to use
};

// Parses the options common to both programs; `--udc` only when `with_udc`. A bad option
// prints `usage` and exits with status 2; --help prints it and exits with 0.
Options parse(const char* program, const char* usage, bool with_udc, int argc, char** argv);

// Prints "PROGRAM: WHAT: strerror(errno)" and exits with status 2.
[[noreturn]] void die(const char* program, const std::string& what);

// The simulated module with the versions it reports in the kernel-path test (4.36, loader
// 1.2.3., 4.37 after an update) and the identity override of the options.
void set_up_module(SimModule& sim, const Options& options);

// The hidraw node ("hidraw3") the kernel made for the HID device of that name, or "" while
// there is none.
std::string hidraw_node_of(const std::string& name);

// Blocks SIGTERM and SIGINT and gives a descriptor that poll() finds readable once one of them
// has arrived (a program blocked in read() would not end on the signal otherwise).
int stop_signal_descriptor(const char* program);

// Says on standard output that every device is on the bus ("READY", which the kernel-path test
// waits for) and on standard error how to remove them.
void announce_ready(const char* program);

// The module between two forms. A change of form (cmd_update to the application, the loader
// finishing an image) re-enumerates the module a moment after the report that caused it was
// acknowledged, as on USB: leaving the bus at once could fail that report, since the kernel
// fails a request whose device is gone before the waiting caller has picked up the answer.
// Meanwhile the module refuses every report, as a device that is resetting does.
class FormChange {
public:
    explicit FormChange(const SimModule& sim) : sim_(sim), form_(sim.form()) {}
    // After a report that reached the module: starts the change if its form changed.
    void after_report();
    bool resetting() const { return pending_; }
    // How long a poll may wait: `idle_ms` (-1: for ever) unless the change is due sooner.
    int poll_timeout_ms(int idle_ms) const;
    // True once when the module is to leave the bus and come back; form() is then its new form.
    bool due();
    SimModule::Form form() const { return form_; }

private:
    using Clock = std::chrono::steady_clock;
    const SimModule& sim_;
    SimModule::Form form_;
    bool pending_ = false;
    Clock::time_point due_at_{};
};

// The module's simulated time follows the wall clock, in whole milliseconds.
class WallClock {
public:
    explicit WallClock(SimModule& sim) : sim_(sim) {}
    void follow();

private:
    using Clock = std::chrono::steady_clock;
    SimModule& sim_;
    Clock::time_point started_ = Clock::now();
    std::int64_t advanced_ms_ = 0;
};

// The main loop of a device program, until SIGTERM or SIGINT arrives on `stop`: each round,
// `prepare` puts the devices' descriptors into its vector (-1 for one with nothing to serve)
// and gives how long to wait while nothing is due (-1: for ever); then the module's clock
// follows the wall clock, `re_enumerate` runs when the module is due to change form, and
// `serve(i)` for each device whose descriptor is readable.
void serve_until_stopped(const char* program, int stop, SimModule& sim, FormChange& form_change,
                         const std::function<int(std::vector<int>&)>& prepare,
                         const std::function<void()>& re_enumerate,
                         const std::function<void(std::size_t)>& serve);

// One line per report as it reached the device program or left it, in order:
// "SET <length> <hex bytes>" for a report written by the host, "GET <length> <hex bytes>" for
// the answer to a read. The length is what travelled: 65 through uhid (report id included),
// 64 over USB. Flushed per line, so that a test can read it while the program runs.
class ReportRecord {
public:
    ReportRecord() = default;
    ~ReportRecord();
    ReportRecord(const ReportRecord&) = delete;
    ReportRecord& operator=(const ReportRecord&) = delete;
    bool open(const std::string& path);  // "" records nothing
    void set(const std::uint8_t* bytes, std::size_t length) { line("SET", bytes, length); }
    void get(const std::uint8_t* bytes, std::size_t length) { line("GET", bytes, length); }

private:
    void line(const char* kind, const std::uint8_t* bytes, std::size_t length);
    std::FILE* file_ = nullptr;
};

// Counts for the STATS line.
struct Counts {
    std::size_t foreign_opens = 0, decoy_reports = 0, module_sets = 0, module_gets = 0;
    std::size_t re_enumerations = 0;
};

// Prints "STATS key=value ..." on standard output.
void print_stats(const Counts& counts, const SimModule& sim);

// Writes what the module holds into the folder, under the names of a backup: config.bin (the
// 12-byte block), rom.bin, amt.bin, kvp.bin and ram.bin. False, with errno, when a file
// cannot be written.
bool dump(SimModule& sim, const std::string& folder);

// The end of a run, once the devices are off the bus: the STATS line, then the dump the
// options ask for (a dump that fails ends the program with status 2).
void finish(const char* program, const Options& options, const Counts& counts, SimModule& sim);

}  // namespace device_program
