#include "sim/device_program.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace device_program {

namespace {

constexpr std::uint32_t module_firmware_version = 0x00043600;  // reads 4.36
constexpr std::uint32_t module_firmware_after_update = 0x00043700;
constexpr std::uint32_t module_loader_version = 0x00010203;
// From the report that changed the module's form to its leaving the bus.
constexpr auto re_enumeration_delay = std::chrono::milliseconds(50);

[[noreturn]] void usage_error(const char* program, const char* usage, const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n%s", program, what.c_str(), usage);
    std::exit(2);
}

}  // namespace

void die(const char* program, const std::string& what)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, what.c_str(), std::strerror(errno));
    std::exit(2);
}

Options parse(const char* program, const char* usage, bool with_udc, int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (key == "--decoys") {
            o.decoys = true;
            continue;
        }
        const bool numeric = key == "--vanish-at-get" || key == "--short-get-at" ||
                             key == "--fail-set-at" || key == "--identity";
        const bool text = key == "--record" || key == "--dump" || (with_udc && key == "--udc");
        if (!numeric && !text) usage_error(program, usage, "unknown option " + key);
        if (i + 1 == argc) usage_error(program, usage, key + " needs a value");
        const char* value_text = argv[++i];
        if (key == "--record") {
            o.record_path = value_text;
            continue;
        }
        if (key == "--dump") {
            o.dump_dir = value_text;
            continue;
        }
        if (key == "--udc") {
            o.udc = value_text;
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const unsigned long value = std::strtoul(value_text, &end, key == "--identity" ? 16 : 10);
        if (errno != 0 || end == value_text || *end != '\0' || value_text[0] == '-')
            usage_error(program, usage, "bad value for " + key + ": " + value_text);
        if (key == "--vanish-at-get") o.vanish_at_get = value;
        else if (key == "--short-get-at") o.short_get_at = value;
        else if (key == "--fail-set-at") o.fail_set_at = value;
        else if (value > 0xFFFF) usage_error(program, usage, "--identity takes a 16-bit word");
        else o.identity = static_cast<long>(value);
    }
    return o;
}

void set_up_module(SimModule& sim, const Options& options)
{
    sim.set_firmware_version(module_firmware_version);
    sim.set_firmware_version_after_update(module_firmware_after_update);
    sim.set_loader_version(module_loader_version);
    if (options.identity >= 0) sim.set_identity_override(static_cast<std::uint16_t>(options.identity));
}

std::string hidraw_node_of(const std::string& name)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", ec)) {
        std::ifstream uevent(entry.path() / "device" / "uevent");
        std::string line;
        while (std::getline(uevent, line))
            if (line == "HID_NAME=" + name) return entry.path().filename().string();
    }
    return "";
}

int stop_signal_descriptor(const char* program)
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int fd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (fd < 0) die(program, "signalfd");
    return fd;
}

void announce_ready(const char* program)
{
    std::printf("READY\n");
    std::fflush(stdout);
    std::fprintf(stderr, "%s: the module is on the bus; Ctrl-C removes it\n", program);
}

void FormChange::after_report()
{
    if (pending_ || sim_.form() == form_) return;
    pending_ = true;
    due_at_ = Clock::now() + re_enumeration_delay;
}

int FormChange::poll_timeout_ms(int idle_ms) const
{
    if (!pending_) return idle_ms;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due_at_ - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

bool FormChange::due()
{
    if (!pending_ || Clock::now() < due_at_) return false;
    pending_ = false;
    form_ = sim_.form();
    return true;
}

void serve_until_stopped(const char* program, int stop, SimModule& sim, FormChange& form_change,
                         const std::function<int(std::vector<int>&)>& prepare,
                         const std::function<void()>& re_enumerate,
                         const std::function<void(std::size_t)>& serve)
{
    WallClock clock(sim);
    std::vector<int> descriptors;
    std::vector<pollfd> fds;
    for (;;) {
        descriptors.clear();
        const int idle_ms = prepare(descriptors);
        fds.clear();
        for (const int fd : descriptors) fds.push_back({fd, POLLIN, 0});
        fds.push_back({stop, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), form_change.poll_timeout_ms(idle_ms)) < 0) {
            if (errno == EINTR) continue;
            die(program, "poll");
        }
        if (fds.back().revents & POLLIN) return;
        clock.follow();
        if (form_change.due()) {
            re_enumerate();
            continue;
        }
        for (std::size_t i = 0; i < descriptors.size(); ++i)
            if (fds[i].revents & POLLIN) serve(i);
    }
}

void WallClock::follow()
{
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count();
    while (advanced_ms_ < now) {  // in steps that fit the module's 32-bit millisecond count
        const std::int64_t step = std::min<std::int64_t>(now - advanced_ms_, 1 << 30);
        sim_.advance_ms(static_cast<std::uint32_t>(step));
        advanced_ms_ += step;
    }
}

ReportRecord::~ReportRecord()
{
    if (file_) std::fclose(file_);
}

bool ReportRecord::open(const std::string& path)
{
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void ReportRecord::line(const char* kind, const std::uint8_t* bytes, std::size_t length)
{
    if (!file_) return;
    std::fprintf(file_, "%s %zu", kind, length);
    for (std::size_t i = 0; i < length; ++i) std::fprintf(file_, " %02x", bytes[i]);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void print_stats(const Counts& c, const SimModule& sim)
{
    const auto& image = sim.last_update_image();
    std::uint32_t image_sum = 0;
    for (std::uint8_t b : image) image_sum = image_sum * 31 + b;
    // Where the module placed the written reports: frames acted on, frames taken as a chunk's
    // end, data, strays.
    std::size_t placed[4] = {};
    for (const SimReport& r : sim.placements()) ++placed[static_cast<int>(r.placement)];
    std::printf("STATS foreign_opens=%zu decoy_reports=%zu module_sets=%zu module_gets=%zu "
                "re_enumerations=%zu updates=%zu image_length=%zu image_hash=%u form=%s "
                "commands=%zu end_frames=%zu data=%zu strays=%zu chunks_committed=%zu "
                "chunks_rejected=%zu restarts=%zu mid_exchange=%d\n",
                c.foreign_opens, c.decoy_reports, c.module_sets, c.module_gets, c.re_enumerations,
                sim.updates_completed(), image.size(), image_sum,
                sim.form() == SimModule::Form::loader ? "loader" : "application",
                placed[static_cast<int>(SimPlacement::command)],
                placed[static_cast<int>(SimPlacement::end_frame)],
                placed[static_cast<int>(SimPlacement::data)],
                placed[static_cast<int>(SimPlacement::stray)], sim.chunks_committed(),
                sim.chunks_rejected(), sim.restarts(), sim.mid_exchange() ? 1 : 0);
    std::fflush(stdout);
}

bool dump(SimModule& sim, const std::string& folder)
{
    const struct {
        const char* name;
        const std::uint8_t* bytes;
        std::size_t size;
    } files[] = {{"config.bin", sim.flash_at(flash_config_address), params_size},
                 {"rom.bin", sim.flash_at(flash_rom_address), rom_size},
                 {"amt.bin", sim.flash_at(flash_amt_address), amt_size},
                 {"kvp.bin", sim.flash_at(flash_kvp_address), kvp_size},
                 {"ram.bin", sim.ram(), ram_size}};
    for (const auto& f : files) {
        std::FILE* out = std::fopen((folder + "/" + f.name).c_str(), "wb");
        if (!out) return false;
        const bool written = std::fwrite(f.bytes, 1, f.size, out) == f.size;
        if (std::fclose(out) != 0 || !written) return false;
    }
    return true;
}

void finish(const char* program, const Options& options, const Counts& counts, SimModule& sim)
{
    print_stats(counts, sim);
    if (!options.dump_dir.empty() && !dump(sim, options.dump_dir)) die(program, "dump into " + options.dump_dir);
}

}  // namespace device_program
