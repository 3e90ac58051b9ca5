// Test program of the kernel-path test, run inside the guest: our hidraw layer (LinuxHid),
// the device link (open_device, send_command, send_data, receive_data, write_block) and one
// lirvan-cli backup against the simulated module behind the kernel's hidraw driver, over one
// transport:
//   hidraw_e2e uhid   the module through uhid (lirvan-sim-uhid): reports of 65 bytes reach it
//   hidraw_e2e usb    the module as a USB gadget behind usbhid (lirvan-sim-usb): reports of
//                     64 bytes reach it in control transfers
//
// Each scenario starts the device program (beside this program) with its two decoys and its
// fault options, waits for its READY line, runs its checks, stops it with SIGTERM and checks
// the counts it reports. Where no fault is injected, every report that reached the device
// program, and every answer it gave, is compared byte for byte with what our side wrote and
// read. The last line is "LIRVAN-E2E <transport>: PASS" or "LIRVAN-E2E <transport>: FAIL (...)".
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/device.h"
#include "device/forwarding_hid.h"
#include "device/hidraw/linux_hid.h"

namespace {

using Clock = std::chrono::steady_clock;

int failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string program_dir;
std::string transport;           // "uhid" or "usb"
std::size_t wire_length = 65;    // bytes of one report as the device program moves them
bool device_sees_opens = true;   // uhid tells the device of an open; USB does not

// One feature report as it travelled, in the device program's words: the bytes it received or
// answered ("SET" / "GET"), as many as crossed to it.
struct WireReport {
    std::string kind;
    std::vector<std::uint8_t> bytes;
    bool operator==(const WireReport&) const = default;
};

// What reaches the device program of a 65-byte report of ours: all of it through uhid, the
// 64 data bytes over USB (usbhid drops the report-id byte of an unnumbered report).
WireReport on_the_wire(const char* kind, const std::uint8_t* report65)
{
    const std::uint8_t* first = report65 + (report_length - wire_length);
    return {kind, std::vector<std::uint8_t>(first, report65 + report_length)};
}

std::string describe(const WireReport& r)
{
    std::string text = r.kind + " " + std::to_string(r.bytes.size());
    for (std::size_t i = 0; i < r.bytes.size() && i < 8; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", r.bytes[i]);
        text += hex;
    }
    return text + (r.bytes.size() > 8 ? " ..." : "");
}

// Compares the device program's record with the reports our side exchanged, naming the first
// that differs.
void check_wire(const std::vector<WireReport>& ours, const std::vector<WireReport>& recorded,
                const std::string& what)
{
    std::size_t i = 0;
    while (i < ours.size() && i < recorded.size() && ours[i] == recorded[i]) ++i;
    const bool same = i == ours.size() && i == recorded.size();
    std::string detail;
    if (!same) {
        detail = " (report " + std::to_string(i + 1) + ": ours " +
                 (i < ours.size() ? describe(ours[i]) : "none") + ", device " +
                 (i < recorded.size() ? describe(recorded[i]) : "none") + ")";
    }
    check(same, what + ", " + std::to_string(ours.size()) + " reports of " +
                    std::to_string(wire_length) + " bytes byte for byte" + detail);
}

std::vector<WireReport> read_record(const std::string& path)
{
    std::vector<WireReport> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        WireReport r;
        std::size_t length = 0;
        words >> r.kind >> length;
        unsigned byte = 0;
        while (words >> std::hex >> byte) r.bytes.push_back(static_cast<std::uint8_t>(byte));
        if (r.bytes.size() != length) r.kind += "(length " + std::to_string(length) + "?)";
        out.push_back(std::move(r));
    }
    return out;
}

// The hidraw layer, with a note of every report it exchanged successfully, in order.
struct OwnHidraw {
    LinuxHid hidraw;
};
class TappedHid : private OwnHidraw, public ForwardingHid {
public:
    std::vector<WireReport> reports;

    TappedHid() : ForwardingHid(hidraw) {}
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        const bool ok = inner_.set_feature(h, buf, length);
        if (ok && length == report_length) reports.push_back(on_the_wire("SET", buf));
        return ok;
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        const bool ok = inner_.get_feature(h, buf, length);
        if (ok && length == report_length) reports.push_back(on_the_wire("GET", buf));
        return ok;
    }
};

// The numbers of the device program's STATS line, by name.
using Stats = std::map<std::string, std::string>;

bool stat_is(const Stats& stats, const std::string& key, const std::string& value)
{
    const auto it = stats.find(key);
    return it != stats.end() && it->second == value;
}

void check_decoys_untouched(const Stats& stats)
{
    check(stat_is(stats, "decoy_reports", "0"), "decoys received no report");
}

// The device program, run for one scenario.
class DeviceProgram {
public:
    explicit DeviceProgram(const std::vector<std::string>& options)
    {
        static int serial = 0;
        record_path_ = "/tmp/record-" + transport + "-" + std::to_string(++serial);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            check(false, "device program ready");
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            const std::string path = program_dir + "/lirvan-sim-" + transport;
            std::vector<char*> argv{const_cast<char*>(path.c_str()), const_cast<char*>("--decoys"),
                                    const_cast<char*>("--record"), record_path_.data()};
            for (const auto& o : options) argv.push_back(const_cast<char*>(o.c_str()));
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            std::perror(("exec " + path).c_str());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        check(read_line(10000) == "READY", "device program ready");
    }
    ~DeviceProgram() { stop(); }

    // Stops the program and returns the numbers of its STATS line.
    Stats stop()
    {
        Stats stats;
        if (pid_ <= 0) return stats;
        ::kill(pid_, SIGTERM);
        std::istringstream line(read_line(10000));
        std::string word;
        while (line >> word) {
            const auto eq = word.find('=');
            if (eq != std::string::npos) stats[word.substr(0, eq)] = word.substr(eq + 1);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(out_);
        pid_ = -1;
        check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "device program ended cleanly");
        return stats;
    }

    // The reports the device program recorded (read after stop()).
    std::vector<WireReport> record() const { return read_record(record_path_); }

private:
    std::string read_line(int timeout_ms)
    {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (Clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string record_path_;
};

// The module re-enumerates after a change of form: search as the status monitor does, once
// per tick, here every 20 ms for at most five seconds.
DeviceHandle open_within(Hid& hid, DeviceIdentity& identity, double seconds)
{
    const auto start = Clock::now();
    for (;;) {
        DeviceHandle h = open_device(hid, identity);
        if (h.valid() || seconds_since(start) > seconds) return h;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

std::uint32_t u32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Checks that what came back equals what went out, naming the first offset that differs.
void check_same(const std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& back,
                const std::string& what)
{
    std::size_t i = 0;
    while (i < out.size() && i < back.size() && out[i] == back[i]) ++i;
    const bool same = i == out.size() && i == back.size();
    check(same, what + (same ? std::string() : " (first difference at " + std::to_string(i) + ")"));
}

void scenario_listing_and_raw_reports()
{
    std::printf("scenario: listing, descriptor lengths and raw feature reports\n");
    DeviceProgram program({});
    TappedHid hid;

    std::vector<HidInterfaceInfo> list;
    check(hid.list_interfaces(list) && list.size() == 3, "three hidraw interfaces listed");
    if (list.size() != 3) return;
    check(list[0].path == "/dev/hidraw0" && list[1].path == "/dev/hidraw1" &&
              list[2].path == "/dev/hidraw2",
          "listed in the kernel's order");
    check(list[0].ids_known && list[0].vendor_id == 0x046D && list[0].product_id == 0xC52B,
          "foreign ids from sysfs");
    check(list[2].ids_known && list[2].vendor_id == module_vendor_id &&
              list[2].product_id == module_product_id,
          "module ids from sysfs");

    const std::size_t expected_length[3] = {65, 33, 65};
    for (std::size_t i = 0; i < 3; ++i) {
        const HidHandleId h = hid.open(list[i].path);
        std::size_t length = 0;
        std::uint16_t vendor = 0, product = 0;
        const bool got_length = h != invalid_hid_id && hid.feature_report_length(h, length);
        check(got_length && length == expected_length[i],
              list[i].path + " feature length " + std::to_string(length) + " from HIDIOCGRDESC");
        check(hid.attributes(h, vendor, product) && vendor == list[i].vendor_id &&
                  product == list[i].product_id,
              list[i].path + " ids from HIDIOCGRAWINFO");
        hid.close(h);
    }

    // One exchange by hand: the identify frame, then the reply report as the kernel gives it.
    const HidHandleId h = hid.open(list[2].path);
    const auto frame = CommandFrame{cmd_identify, 0, 0, 0}.to_report();
    check(hid.set_feature(h, frame.data(), frame.size()), "SET of 65 bytes accepted");
    std::uint8_t report[65];
    std::memset(report, 0xAA, sizeof report);
    report[0] = 0;
    check(hid.get_feature(h, report, sizeof report), "GET of 65 bytes");
    check(report[0] == 0 && report[1] == 0x03 && report[2] == 0x3B && report[3] == 0 &&
              report[64] == 0,
          "GET keeps report id 0 in byte 0, data at 1..64");
    hid.close(h);

    const auto stats = program.stop();
    check_decoys_untouched(stats);
    // Opened here on purpose: shows that the device program sees an open at all.
    if (device_sees_opens)
        check(stat_is(stats, "foreign_opens", "1"), "the foreign device saw the one open made above");
    check_wire(hid.reports, program.record(), "identify exchange");
}

void scenario_both_forms()
{
    std::printf("scenario: application, transfers, update hand-over, loader, update\n");
    DeviceProgram program({});
    TappedHid hid;
    DeviceIdentity app = make_app_identity();
    DeviceIdentity loader = make_loader_identity();

    // The application answers 0x3B03 to a search for the loader: closed and skipped.
    loader.found = true;
    DeviceHandle h = open_device(hid, loader);
    check(!h.valid() && !loader.found, "search for the loader finds no loader (identify mismatch)");

    h = open_device(hid, app);
    check(h.valid() && app.found, "application found behind the two decoys");
    if (!h.valid()) return;

    std::uint8_t status[app_status_reply_length] = {};
    check(send_command(h, cmd_get_status) && receive_data(h, status, sizeof status) &&
              u32(status) == 0x00043600,
          "status reply carries firmware 4.36");

    // 16384 bytes of RAM out and back, byte for byte.
    const auto ram = random_bytes(ram_size, 1);
    auto start = Clock::now();
    check(send_command(h, cmd_cpu_stop) && send_command(h, cmd_ram_write_begin, 0, ram_size) &&
              send_data(h, ram.data(), ram.size()) &&
              send_command(h, cmd_ram_write_end, ram_bank_main, ram_size),
          "RAM image written (256 reports)");
    std::printf("  16 KiB write (RAM, 258 reports): %.3f s\n", seconds_since(start));
    std::vector<std::uint8_t> back(ram_size, 0xEE);
    start = Clock::now();
    check(send_command(h, cmd_ram_read, 0, ram_size) &&
              receive_data(h, back.data(), back.size()),
          "RAM image read (257 reports)");
    std::printf("  16 KiB read (RAM, 258 reports) over %s: %.3f s\n", transport.c_str(), seconds_since(start));
    check_same(ram, back, "RAM read back equals what was written");

    // 16384 bytes of flash through the summed block write, read back with cmd_read_flash.
    const auto rom = random_bytes(rom_size, 2);
    start = Clock::now();
    check(write_block(h, rom.data(), rom.size(), flash_rom_address), "ROM image written in 8 chunks");
    std::vector<std::uint8_t> rom_back(rom_size, 0xEE);
    check(send_command(h, cmd_read_flash, flash_rom_address, rom_size) &&
              receive_data(h, rom_back.data(), rom_back.size()),
          "ROM image read back");
    check_same(rom, rom_back, "flash read back equals the image");
    std::printf("  flash write + read: %.3f s\n", seconds_since(start));

    // The application hands over to the loader, which comes up as a new device.
    check(send_command(h, cmd_update), "cmd_update to the application");
    close_device(h);
    start = Clock::now();
    h = open_within(hid, loader, 5);
    check(h.valid() && loader.found, "loader found after the hand-over");
    std::printf("  hand-over to the loader: %.3f s\n", seconds_since(start));
    if (!h.valid()) return;
    std::uint8_t word[loader_word_reply_length] = {};
    check(send_command(h, cmd_get_status) && receive_data(h, word, sizeof word) &&
              u32(word) == 0x00010203,
          "loader status carries loader version 1.2.3");
    check(send_command(h, cmd_get_loader_info) && receive_data(h, word, sizeof word) &&
              u32(word) == 0x00043600,
          "loader info carries firmware 4.36");
    {
        DeviceIdentity app_again = make_app_identity();
        DeviceHandle none = open_device(hid, app_again);
        check(!none.valid() && !app_again.found, "search for the application finds only the loader");
        close_device(none);
    }

    // An image longer than 65536 bytes, so that word_b is 1.
    const auto image = random_bytes(70000, 3);
    const auto length = static_cast<std::uint32_t>(image.size());
    start = Clock::now();
    check(send_command(h, cmd_update, length, length / 65536) &&
              send_data(h, image.data(), image.size()),
          "image of 70000 bytes sent to the loader");
    std::printf("  image transfer (1094 reports): %.3f s\n", seconds_since(start));
    close_device(h);
    h = open_within(hid, app, 5);
    check(h.valid() && app.found, "application back after the update");
    if (h.valid()) {
        check(send_command(h, cmd_get_status) && receive_data(h, status, sizeof status) &&
                  u32(status) == 0x00043700,
              "status reply carries the new firmware 4.37");
        close_device(h);
    }

    std::uint32_t image_hash = 0;
    for (std::uint8_t b : image) image_hash = image_hash * 31 + b;
    const auto stats = program.stop();
    check_decoys_untouched(stats);
    if (device_sees_opens) check(stat_is(stats, "foreign_opens", "0"), "the foreign device was never opened");
    check_wire(hid.reports, program.record(), "transfers, hand-over and update");
    check(stat_is(stats, "updates", "1") && stat_is(stats, "image_length", "70000") &&
              stat_is(stats, "image_hash", std::to_string(image_hash)),
          "the loader took the whole image unchanged");
    check(stat_is(stats, "re_enumerations", "2"), "module re-enumerated twice");
}

void scenario_wrong_identity()
{
    std::printf("scenario: module answering a wrong identity word\n");
    DeviceProgram program({"--identity", "0x3B02"});
    TappedHid hid;
    DeviceIdentity app = make_app_identity();
    DeviceIdentity loader = make_loader_identity();
    DeviceHandle a = open_device(hid, app);
    DeviceHandle l = open_device(hid, loader);
    check(!a.valid() && !app.found && !l.valid() && !loader.found, "neither form found");
    close_device(a);
    close_device(l);
    const auto stats = program.stop();
    check(stat_is(stats, "module_sets", "2") && stat_is(stats, "module_gets", "2") &&
              stat_is(stats, "decoy_reports", "0"),
          "one identify exchange per search, none to the decoys");
}

void scenario_short_report()
{
    std::printf("scenario: a feature report answered short\n");
    DeviceProgram program({"--short-get-at", "2"});
    TappedHid hid;
    DeviceIdentity app = make_app_identity();
    DeviceHandle h = open_device(hid, app);
    check(h.valid(), "application found");
    if (!h.valid()) return;
    std::uint8_t status[app_status_reply_length];
    std::memset(status, 0xEE, sizeof status);
    check(send_command(h, cmd_get_status) && !receive_data(h, status, sizeof status),
          "a 64-byte answer counts as a failed read");
    check(status[0] == 0xEE, "nothing copied from the short report");
    check(send_command(h, cmd_get_status) && receive_data(h, status, sizeof status) &&
              u32(status) == 0x00043600,
          "the next exchange works again");
    close_device(h);
    program.stop();
}

void scenario_vanish()
{
    std::printf("scenario: the module vanishes (UHID_DESTROY) in the middle of a RAM read\n");
    // Read 1 answers cmd_identify; reads 2..9 are the first 8 reports of the RAM image.
    DeviceProgram program({"--vanish-at-get", "10"});
    TappedHid hid;
    DeviceIdentity app = make_app_identity();
    DeviceHandle h = open_device(hid, app);
    check(h.valid(), "application found");
    if (!h.valid()) return;
    std::vector<std::uint8_t> back(ram_size, 0xEE);
    const auto start = Clock::now();
    const bool sent = send_command(h, cmd_ram_read, 0, ram_size);
    const bool received = receive_data(h, back.data(), back.size());
    const double took = seconds_since(start);
    check(sent && !received, "the read fails when the device goes");
    check(took < 2.0, "and fails at once (" + std::to_string(took) + " s)");
    bool tail_untouched = true;
    for (std::size_t i = 8 * report_data_length; i < back.size(); ++i)
        tail_untouched &= back[i] == 0xEE;
    check(tail_untouched, "bytes after the last report read keep their contents");
    check(!send_command(h, cmd_get_status), "the stale handle refuses further reports");
    close_device(h);
    DeviceHandle again = open_device(hid, app);
    check(!again.valid() && !app.found, "a new search finds nothing");
    // The failed request returns as soon as the device is marked gone; its nodes leave
    // sysfs a moment later, as after an unplug.
    std::vector<HidInterfaceInfo> list;
    const auto gone = Clock::now();
    while (hid.list_interfaces(list) && list.size() != 2 && seconds_since(gone) < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    check(list.size() == 2, "only the two decoys are listed");
    const auto stats = program.stop();
    check_decoys_untouched(stats);
}

// The value of "key":"..." in one line of lirvan-cli's support log ("" if absent).
std::string log_field(const std::string& line, const std::string& key)
{
    const std::string start = "\"" + key + "\":\"";
    const auto at = line.find(start);
    if (at == std::string::npos) return "";
    const auto from = at + start.size();
    return line.substr(from, line.find('"', from) - from);
}

// The reports lirvan-cli exchanged successfully, from its support log (the 65 bytes of each
// in hex), as they reach the device program.
std::vector<WireReport> reports_in_log(const std::string& path)
{
    std::vector<WireReport> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (log_field(line, "result") != "ok") continue;
        const std::string hex = log_field(line, "bytes");
        if (hex.size() != 2 * report_length) continue;
        std::uint8_t report[report_length];
        for (std::size_t i = 0; i < report_length; ++i)
            report[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        out.push_back(on_the_wire(log_field(line, "direction") == "out" ? "SET" : "GET", report));
    }
    return out;
}

void scenario_cli_backup()
{
    std::printf("scenario: lirvan-cli backup\n");
    DeviceProgram program({});
    const std::string folder = "/tmp/backup-" + transport;
    const std::string log = "/tmp/cli-" + transport + ".jsonl";
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string path = program_dir + "/lirvan-cli";
        ::execl(path.c_str(), path.c_str(), "--log", log.c_str(), "backup", folder.c_str(),
                static_cast<char*>(nullptr));
        std::perror(("exec " + path).c_str());
        ::_exit(127);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    std::printf("  backup (config, rom, amt, kvp, ram): %.3f s\n", seconds_since(start));
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "lirvan-cli backup exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    const std::pair<const char*, off_t> files[] = {{"config.bin", 12}, {"rom.bin", 16384},
                                                   {"amt.bin", 8192},  {"kvp.bin", 16384},
                                                   {"ram.bin", 16384}};
    for (const auto& [name, size] : files) {
        struct stat st {};
        const bool there = ::stat((folder + "/" + name).c_str(), &st) == 0;
        check(there && st.st_size == size, std::string(name) + " of " + std::to_string(size) + " bytes" +
                                               (there ? "" : " (missing)"));
    }
    struct stat manifest {};
    check(::stat((folder + "/manifest.json").c_str(), &manifest) == 0 && manifest.st_size > 0,
          "manifest.json written");
    const auto stats = program.stop();
    check_decoys_untouched(stats);
    check_wire(reports_in_log(log), program.record(), "the backup's support log against the device");
}

void scenario_failed_write_mid_chunk()
{
    std::printf("scenario: a write of the summed ROM write lost mid-chunk, the image's blocks like commands\n");
    // Write 1 is the search's identify; chunks 0 and 1 take writes 2..69, chunk 2 begins at 70,
    // so write 81 is its eleventh data report.
    DeviceProgram program({"--fail-set-at", "81"});
    LinuxHid hid;
    DeviceIdentity app = make_app_identity();
    DeviceHandle h = open_device(hid, app);
    check(h.valid(), "application found");
    if (!h.valid()) return;
    auto rom = random_bytes(rom_size, 4);
    const std::uint8_t codes[] = {cmd_update, cmd_restart, cmd_cpu_stop, cmd_block_begin};
    for (std::size_t at = 0, k = 0; at < rom.size(); at += report_data_length, ++k) {
        rom[at] = command_marker;
        rom[at + 1] = codes[k % 4];
    }
    check(!write_block(h, rom.data(), rom.size(), flash_rom_address), "the write fails");
    std::vector<std::uint8_t> back(rom_size, 0xEE);
    check(send_command(h, cmd_read_flash, flash_rom_address, rom_size) &&
              receive_data(h, back.data(), back.size()),
          "the module answers the read-back at once");
    const std::size_t in = 2 * block_chunk_size;
    bool first_two = std::equal(rom.begin(), rom.begin() + in, back.begin());
    bool rest_erased = std::all_of(back.begin() + in, back.end(), [](std::uint8_t b) { return b == 0xFF; });
    check(first_two && rest_erased, "the two chunks before the failure are in, the rest is as it was");
    std::uint8_t status[app_status_reply_length] = {};
    check(send_command(h, cmd_get_status) && receive_data(h, status, sizeof status) &&
              u32(status) == 0x00043600,
          "the next status exchange is an exchange of the application");
    close_device(h);
    const auto stats = program.stop();
    // identify, three begin frames, the read and the status as commands; two end frames and
    // the zero-sum one that drops chunk 2 where its end was due.
    check(stat_is(stats, "commands", "6") && stat_is(stats, "end_frames", "3") &&
              stat_is(stats, "strays", "0") && stat_is(stats, "data", "96"),
          "no report of the image taken as a command");
    check(stat_is(stats, "chunks_committed", "2") && stat_is(stats, "chunks_rejected", "1"),
          "chunk 2 dropped, no later chunk sent");
    check(stat_is(stats, "form", "application") && stat_is(stats, "restarts", "0") &&
              stat_is(stats, "re_enumerations", "0") && stat_is(stats, "mid_exchange", "0"),
          "the module stays in its form and in step");
    check_decoys_untouched(stats);}

}  // namespace

int main(int argc, char** argv)
{
    const std::string self = argv[0];
    program_dir = self.substr(0, self.find_last_of('/'));
    if (program_dir == self) program_dir = ".";
    transport = argc == 2 ? argv[1] : "";
    if (transport != "uhid" && transport != "usb") {
        std::fprintf(stderr, "usage: hidraw_e2e uhid|usb\n");
        return 2;
    }
    wire_length = transport == "usb" ? report_data_length : report_length;
    device_sees_opens = transport == "uhid";
    const auto start = Clock::now();

    scenario_listing_and_raw_reports();
    scenario_both_forms();
    scenario_wrong_identity();
    scenario_short_report();
    scenario_vanish();
    scenario_cli_backup();
    scenario_failed_write_mid_chunk();

    std::printf("guest test time over %s: %.3f s\n", transport.c_str(), seconds_since(start));
    if (failures == 0)
        std::printf("LIRVAN-E2E %s: PASS\n", transport.c_str());
    else
        std::printf("LIRVAN-E2E %s: FAIL (%d checks failed)\n", transport.c_str(), failures);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
