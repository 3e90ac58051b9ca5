// lirvan-sim-uhid: puts the simulated module on this machine's HID bus as a real virtual
// device through /dev/uhid, so that the kernel's hidraw driver sits between the tool and the
// module exactly as with the module on USB. The real lirvan-service finds it like the module.
//
// The module comes up in its application form. When it changes form (cmd_update to the
// application, or the loader finishing an image) it leaves the bus and comes back in the new
// form, as the real module re-enumerates on USB. Its inputs move and its counters count with
// the wall clock.
//
// Usage: lirvan-sim-uhid [options]      (needs write access to /dev/uhid, usually root)
//   --decoys            also create two decoys before the module, so that the kernel numbers
//                       them first: a foreign device (046D:C52B) with the module's descriptor,
//                       and a second interface with the module's ids whose feature report is
//                       32 bytes
//   --identity HEX      answer cmd_identify with this word instead of the form's own
//   --vanish-at-get N   at the N-th feature read of the module, UHID_DESTROY the module
//                       instead of answering (the module pulled out mid-transfer)
//   --short-get-at N    answer the N-th feature read of the module with 64 bytes (no
//                       report-id byte)
//   --record FILE       write every feature report that reached the module or left it to FILE,
//                       one line each: "SET|GET <length> <hex bytes>"
//   --dump DIR          at the end, write what the module holds into DIR as a backup names it:
//                       config.bin, rom.bin, amt.bin, kvp.bin, ram.bin
//   --fail-set-at N     fail the N-th feature write to the module without passing it on
//                       (a report lost on the way: the caller's write fails)
// Feature reads and writes are counted from the start.
//
// Standard output (read by the kernel-path test): "READY" once every hidraw node exists; on
// SIGTERM or SIGINT (Ctrl-C) the devices are destroyed and one line "STATS key=value ..." is
// printed. Progress notes go to standard error.
#include <fcntl.h>
#include <linux/uhid.h>
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

#include "sim/device_program.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"
#include "sim/uhid/descriptors.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* program = "lirvan-sim-uhid";
constexpr const char* usage_text =
    "usage: lirvan-sim-uhid [--decoys] [--identity HEX] [--vanish-at-get N] [--short-get-at N]\n"
    "                       [--record FILE] [--dump DIR] [--fail-set-at N]\n";
using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) { device_program::die(program, what); }

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
        if (fd < 0) die("open /dev/uhid (as root? is the uhid module loaded?)");
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
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            const std::string node = device_program::hidraw_node_of(name);
            if (!node.empty() && fs::exists("/dev/" + node)) {
                std::fprintf(stderr, "lirvan-sim-uhid: %s is /dev/%s\n", name.c_str(), node.c_str());
                return;
            }
            if (Clock::now() > deadline) die("no hidraw node for " + name);
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

// The module and its decoys on the bus, and what reaches them.
struct UhidProgram {
    device_program::Options options;
    device_program::ReportRecord record;
    SimModule sim;
    ForeignDevice foreign{0x046D, 0xC52B};
    ForeignDevice second_interface{module_vendor_id, module_product_id};
    std::vector<VirtualDevice> devices;
    std::size_t module_index = 0;
    device_program::FormChange form_change{sim};
    device_program::Counts counts;

    // Decoys first, so that the kernel lists them before the module.
    void create_devices()
    {
        if (options.decoys) {
            devices.push_back({"lirvan-sim foreign", &foreign, &sim_descriptors::module, report_length});
            devices.push_back({"lirvan-sim second interface", &second_interface,
                               &sim_descriptors::feature32, 33});
        }
        devices.push_back({"lirvan-sim module application", &sim, &sim_descriptors::module, report_length});
        module_index = devices.size() - 1;
        for (auto& d : devices) d.create();
    }

    // The module leaves the bus and comes back in its new form.
    void re_enumerate()
    {
        VirtualDevice& module = devices[module_index];
        module.destroy();
        module.name = form_change.form() == SimModule::Form::loader ? "lirvan-sim module loader"
                                                                    : "lirvan-sim module application";
        module.create();
        ++counts.re_enumerations;
    }

    void on_get(VirtualDevice& d, bool is_module, const uhid_get_report_req& rq)
    {
        ++d.gets;
        if (rq.rtype != UHID_FEATURE_REPORT || rq.rnum != 0) return d.answer_get(rq.id, false, nullptr, 0);
        if (is_module && d.gets == options.vanish_at_get) {
            // The request stays unanswered; the kernel fails it when the device goes.
            std::fprintf(stderr, "%s: module vanishes at read %zu\n", program, d.gets);
            return d.destroy();
        }
        // A device without report ids answers the report-id byte 0 and its data.
        std::uint8_t answer[1 + report_data_length] = {};
        const bool ok = !(is_module && form_change.resetting()) && d.endpoint->on_get_feature(answer + 1);
        const bool short_answer = is_module && d.gets == options.short_get_at;
        const std::uint8_t* sent = short_answer ? answer + 1 : answer;
        const std::size_t sent_length = short_answer ? report_data_length : d.feature_length;
        if (is_module && ok) record.get(sent, sent_length);
        d.answer_get(rq.id, ok, sent, sent_length);
    }

    void on_set(VirtualDevice& d, bool is_module, const uhid_set_report_req& rq)
    {
        ++d.sets;
        if (is_module && d.sets == options.fail_set_at) {
            // Lost on the way: the module never sees it, the caller's write fails.
            std::fprintf(stderr, "%s: module loses write %zu\n", program, d.sets);
            return d.answer_set(rq.id, false);
        }
        // The report arrives as written to hidraw: report-id byte 0, then the data.
        const bool well_formed = rq.rtype == UHID_FEATURE_REPORT && rq.rnum == 0 &&
                                 rq.size == report_length && rq.data[0] == 0;
        const bool ok = !(is_module && form_change.resetting()) && well_formed &&
                        d.endpoint->on_set_feature(rq.data + 1);
        if (is_module && ok) record.set(rq.data, rq.size);
        d.answer_set(rq.id, ok);
        if (is_module) form_change.after_report();
    }

    // One event of a device's uhid descriptor. UHID_START/STOP/CLOSE/OUTPUT need no answer.
    void serve(VirtualDevice& d, bool is_module)
    {
        uhid_event ev{};
        if (::read(d.fd, &ev, sizeof ev) <= 0) die("read uhid " + d.name);
        if (ev.type == UHID_GET_REPORT) on_get(d, is_module, ev.u.get_report);
        else if (ev.type == UHID_SET_REPORT) on_set(d, is_module, ev.u.set_report);
        else if (ev.type == UHID_OPEN) ++d.opens;  // the first opener of the hidraw node
    }

    // Serves the devices until SIGTERM or SIGINT arrives on `stop`. After vanishing, the
    // module's descriptor is -1 and poll skips it; the decoys stay.
    void run(int stop)
    {
        device_program::serve_until_stopped(
            program, stop, sim, form_change,
            [this](std::vector<int>& fds) {
                for (const VirtualDevice& d : devices) fds.push_back(d.fd);
                return -1;
            },
            [this] { re_enumerate(); }, [this](std::size_t i) { serve(devices[i], i == module_index); });
    }

    void remove_devices()
    {
        for (auto& d : devices) d.destroy();
        for (std::size_t i = 0; i < module_index; ++i) counts.decoy_reports += devices[i].sets + devices[i].gets;
        counts.foreign_opens = options.decoys ? devices[0].opens : 0;
        counts.module_sets = devices[module_index].sets;
        counts.module_gets = devices[module_index].gets;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    UhidProgram p;
    p.options = device_program::parse(program, usage_text, false, argc, argv);
    if (!p.record.open(p.options.record_path)) die("open " + p.options.record_path);
    device_program::set_up_module(p.sim, p.options);
    p.create_devices();
    const int stop = device_program::stop_signal_descriptor(program);
    device_program::announce_ready(program);
    p.run(stop);
    p.remove_devices();
    device_program::finish(program, p.options, p.counts, p.sim);
    return 0;
}
