// What the two device programs share, lirvan-sim-uhid (the module through /dev/uhid) and
// lirvan-sim-usb (the module as a USB gadget): their fault options, the simulated module set
// up as the module ships, its clock, the record of the reports that reached the device and
// the STATS line the kernel-path test reads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/sim_module.h"

namespace device_program {

struct Options {
    bool decoys = false;
    std::size_t vanish_at_get = 0;  // 0: never
    std::size_t short_get_at = 0;   // 0: never
    std::size_t fail_set_at = 0;    // lirvan-sim-uhid only: the write to lose; 0: never
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

}  // namespace device_program
