// Device program of the kernel-path test, run inside the guest: puts the simulated module on
// the guest's HID bus as a real virtual device through /dev/uhid, together with two decoys,
// so that the kernel's hidraw driver sits between our hidraw layer and the module.
//
// Interfaces, created in this order so that the kernel numbers them hidraw0, 1, 2:
//   1. a foreign device (046D:C52B) whose descriptor is the module's: only its ids differ;
//   2. a second interface with the module's ids whose feature report is 32 bytes;
//   3. the simulated module. When the module changes form (cmd_update to the application,
//      or the loader finishing an image) it leaves the bus and comes back in the new form,
//      as the real module re-enumerates on USB.
//
// Options (fault injection, counted over feature reads of the module since the start):
//   --vanish-at-get N   at the N-th read, UHID_DESTROY the module instead of answering
//   --short-get-at N    answer the N-th read with 64 bytes (no report-id byte)
//   --identity HEX      answer cmd_identify with this word instead of the form's own
//
// Protocol with the test program on stdout: "READY" once every hidraw node exists; on
// SIGTERM the devices are destroyed and one line "STATS key=value ..." is printed.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hidraw/sample_descriptors.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t module_firmware_version = 0x00043600;  // reads 4.36
constexpr std::uint32_t module_firmware_after_update = 0x00043700;
constexpr std::uint32_t module_loader_version = 0x00010203;
constexpr auto re_enumeration_delay = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "uhid_module: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

// The hidraw node the kernel made for the HID device of that name, or "" if none (yet).
std::string hidraw_node_of(const std::string& name)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/hidraw", ec)) {
        std::ifstream uevent(entry.path() / "device" / "uevent");
        std::string line;
        while (std::getline(uevent, line))
            if (line == "HID_NAME=" + name) return entry.path().filename().string();
    }
    return "";
}

struct VirtualDevice {
    std::string name;
    FeatureEndpoint* endpoint = nullptr;
    const std::vector<std::uint8_t>* descriptor = nullptr;
    std::size_t feature_length = report_length;  // report-id byte included
    int fd = -1;
    std::size_t sets = 0, gets = 0, opens = 0;

    void create()
    {
        fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd < 0) die("open /dev/uhid");
        uhid_event ev{};
        ev.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name,
                      "%s", name.c_str());
        std::memcpy(ev.u.create2.rd_data, descriptor->data(), descriptor->size());
        ev.u.create2.rd_size = static_cast<std::uint16_t>(descriptor->size());
        ev.u.create2.bus = 0x03;  // BUS_USB
        ev.u.create2.vendor = endpoint->vendor_id();
        ev.u.create2.product = endpoint->product_id();
        if (::write(fd, &ev, sizeof ev) < 0) die("UHID_CREATE2 " + name);
        // The hidraw node appears once the kernel has bound the device.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const std::string node = hidraw_node_of(name);
            if (!node.empty() && fs::exists("/dev/" + node)) {
                std::fprintf(stderr, "uhid_module: %s is /dev/%s\n", name.c_str(), node.c_str());
                return;
            }
            if (std::chrono::steady_clock::now() > deadline) die("no hidraw node for " + name);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    void destroy()
    {
        if (fd < 0) return;
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        if (::write(fd, &ev, sizeof ev) < 0) die("UHID_DESTROY " + name);
        ::close(fd);
        fd = -1;
    }

    void answer_get(std::uint32_t id, bool ok, const std::uint8_t* data, std::size_t size)
    {
        uhid_event ev{};
        ev.type = UHID_GET_REPORT_REPLY;
        ev.u.get_report_reply.id = id;
        ev.u.get_report_reply.err = ok ? 0 : EIO;
        ev.u.get_report_reply.size = ok ? static_cast<std::uint16_t>(size) : 0;
        if (ok) std::memcpy(ev.u.get_report_reply.data, data, size);
        if (::write(fd, &ev, sizeof ev) < 0) die("UHID_GET_REPORT_REPLY");
    }

    void answer_set(std::uint32_t id, bool ok)
    {
        uhid_event ev{};
        ev.type = UHID_SET_REPORT_REPLY;
        ev.u.set_report_reply.id = id;
        ev.u.set_report_reply.err = ok ? 0 : EIO;
        if (::write(fd, &ev, sizeof ev) < 0) die("UHID_SET_REPORT_REPLY");
    }
};

struct Options {
    std::size_t vanish_at_get = 0;
    std::size_t short_get_at = 0;
    long identity = -1;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const unsigned long value = std::strtoul(argv[i + 1], nullptr, 0);
        if (key == "--vanish-at-get") o.vanish_at_get = value;
        else if (key == "--short-get-at") o.short_get_at = value;
        else if (key == "--identity") o.identity = static_cast<long>(value);
        else { std::fprintf(stderr, "uhid_module: unknown option %s\n", key.c_str()); std::exit(2); }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);

    SimModule sim;
    sim.set_firmware_version(module_firmware_version);
    sim.set_firmware_version_after_update(module_firmware_after_update);
    sim.set_loader_version(module_loader_version);
    if (options.identity >= 0) sim.set_identity_override(static_cast<std::uint16_t>(options.identity));
    ForeignDevice foreign(0x046D, 0xC52B);
    ForeignDevice second_interface(module_vendor_id, module_product_id);

    VirtualDevice devices[3];
    devices[0] = {"lirvan-e2e foreign", &foreign, &sample::module_descriptor, report_length};
    devices[1] = {"lirvan-e2e second interface", &second_interface,
                  &sample::feature32_descriptor, 33};
    devices[2] = {"lirvan-e2e module application", &sim, &sample::module_descriptor,
                  report_length};
    VirtualDevice& module = devices[2];
    for (auto& d : devices) d.create();
    SimModule::Form form = sim.form();

    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int sfd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (sfd < 0) die("signalfd");

    std::printf("READY\n");
    std::fflush(stdout);

    std::size_t re_enumerations = 0;
    // Set while the module is between two forms: it refuses every report, as a device
    // that is resetting does, and leaves the bus at re_enumerate_at.
    bool re_enumerating = false;
    Clock::time_point re_enumerate_at{};
    for (bool running = true; running;) {
        pollfd fds[4];
        for (int i = 0; i < 3; ++i) fds[i] = {devices[i].fd, POLLIN, 0};
        fds[3] = {sfd, POLLIN, 0};
        int timeout_ms = -1;
        if (re_enumerating) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                re_enumerate_at - Clock::now());
            timeout_ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        if (::poll(fds, 4, timeout_ms) < 0) {
            if (errno == EINTR) continue;
            die("poll");
        }
        if (fds[3].revents & POLLIN) break;
        if (re_enumerating && Clock::now() >= re_enumerate_at) {
            re_enumerating = false;
            form = sim.form();
            module.destroy();
            module.name = form == SimModule::Form::loader ? "lirvan-e2e module loader"
                                                          : "lirvan-e2e module application";
            module.create();
            ++re_enumerations;
            continue;
        }

        for (int i = 0; i < 3; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            VirtualDevice& d = devices[i];
            uhid_event ev{};
            if (::read(d.fd, &ev, sizeof ev) <= 0) die("read uhid " + d.name);

            if (ev.type == UHID_GET_REPORT) {
                ++d.gets;
                const auto& rq = ev.u.get_report;
                if (rq.rtype != UHID_FEATURE_REPORT || rq.rnum != 0) {
                    d.answer_get(rq.id, false, nullptr, 0);
                    continue;
                }
                if (&d == &module && d.gets == options.vanish_at_get) {
                    // The request stays unanswered; the kernel fails it when the device goes.
                    std::fprintf(stderr, "uhid_module: module vanishes at read %zu\n", d.gets);
                    d.destroy();
                    break;
                }
                // A device without report ids answers the report-id byte 0 and its data.
                std::uint8_t answer[1 + report_data_length] = {};
                const bool resetting = &d == &module && re_enumerating;
                const bool ok = !resetting && d.endpoint->on_get_feature(answer + 1);
                if (&d == &module && d.gets == options.short_get_at)
                    d.answer_get(rq.id, ok, answer + 1, report_data_length);
                else
                    d.answer_get(rq.id, ok, answer, d.feature_length);
            } else if (ev.type == UHID_SET_REPORT) {
                ++d.sets;
                const auto& rq = ev.u.set_report;
                // The report arrives as written to hidraw: report-id byte 0, then the data.
                const bool well_formed = rq.rtype == UHID_FEATURE_REPORT && rq.rnum == 0 &&
                                         rq.size == report_length && rq.data[0] == 0;
                const bool resetting = &d == &module && re_enumerating;
                const bool ok = !resetting && well_formed && d.endpoint->on_set_feature(rq.data + 1);
                d.answer_set(rq.id, ok);
                // A change of form re-enumerates the module a moment after the report that
                // caused it was acknowledged, as on USB. Destroying the device at once could
                // fail that report: the kernel fails a request whose device is gone before
                // the waiting caller has picked up the answer.
                if (&d == &module && sim.form() != form && !re_enumerating) {
                    re_enumerating = true;
                    re_enumerate_at = Clock::now() + re_enumeration_delay;
                }
            } else if (ev.type == UHID_OPEN) {
                ++d.opens;  // the first opener of the hidraw node
            }
            // UHID_START/STOP/CLOSE/OUTPUT need no answer.
        }
        // After vanishing, the module's descriptor is -1 and poll skips it; the decoys stay.
    }

    for (auto& d : devices) d.destroy();
    const auto& image = sim.last_update_image();
    std::uint32_t image_sum = 0;
    for (std::uint8_t b : image) image_sum = image_sum * 31 + b;
    std::printf("STATS foreign_opens=%zu decoy_reports=%zu module_sets=%zu module_gets=%zu re_enumerations=%zu "
                "updates=%zu image_length=%zu image_hash=%u form=%s\n",
                devices[0].opens, devices[0].sets + devices[0].gets + devices[1].sets + devices[1].gets,
                module.sets, module.gets, re_enumerations, sim.updates_completed(), image.size(),
                image_sum, sim.form() == SimModule::Form::loader ? "loader" : "application");
    std::fflush(stdout);
    return 0;
}
