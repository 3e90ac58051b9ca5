// lirvan-sim-usb: puts the simulated module on a USB device controller of this machine as a
// USB gadget (configfs + FunctionFS), so that the kernel's own USB HID driver (usbhid) binds
// it and makes its hidraw node: feature reports then travel as real SET_REPORT/GET_REPORT
// control transfers of 64 data bytes, exactly as with the module on a USB port.
//
// It needs a device controller: a real one of a board that has one, or dummy_hcd, the
// kernel's virtual controller whose gadget shows up on the same machine's USB bus
// (`modprobe dummy_hcd num=3`; three controllers are needed with --decoys). The program sets
// up and removes its gadgets itself (configfs at /sys/kernel/config, mounted if it is not).
//
// The module comes up in its application form. When it changes form (cmd_update to the
// application, or the loader finishing an image) it leaves the bus and comes back in the new
// form, as the real module re-enumerates. Its inputs move and its counters count with the
// wall clock.
//
// Usage: lirvan-sim-usb [options]      (needs root: configfs, mounts)
//   --udc NAME          the first device controller to bind to (default: the first listed in
//                       /sys/class/udc); each gadget takes the next free one
//   --decoys            also put two decoys on the bus before the module: a foreign device
//                       (046D:C52B) with the module's descriptor, and a device with the
//                       module's ids whose feature report is 32 bytes
//   --identity HEX      answer cmd_identify with this word instead of the form's own
//   --vanish-at-get N   at the N-th feature read of the module, unplug it (unbind the gadget)
//                       instead of answering
//   --short-get-at N    answer the N-th feature read of the module with 63 bytes
//   --record FILE       write every feature report that reached the module or left it to FILE,
//                       one line each: "SET|GET <length> <hex bytes>"
//   --dump DIR          at the end, write what the module holds into DIR as a backup names it:
//                       config.bin, rom.bin, amt.bin, kvp.bin, ram.bin
//   --fail-set-at N     stall the N-th feature write to the module without passing it on
//                       (a report lost on the way: the caller's write fails)
// Feature reads and writes are counted from the start.
//
// Standard output: "READY" once every hidraw node exists; on SIGTERM or SIGINT (Ctrl-C) the
// gadgets are removed and one line "STATS key=value ..." is printed (foreign_opens is always 0:
// a USB device does not see its hidraw node opened). Progress notes go to standard error.
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim/device_program.h"
#include "sim/sim_bus.h"
#include "sim/uhid/descriptors.h"
#include "sim/usb/gadget.h"
#include "sim/usb/hid_function.h"

namespace {

constexpr const char* program = usb_program;
constexpr const char* usage_text =
    "usage: lirvan-sim-usb [--udc NAME] [--decoys] [--identity HEX] [--vanish-at-get N]\n"
    "                      [--short-get-at N] [--record FILE] [--dump DIR] [--fail-set-at N]\n";

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) { device_program::die(program, what); }

usb_hid::Setup setup_of(const usb_ctrlrequest& r)
{
    return {r.bRequestType, r.bRequest, le16toh(r.wValue), le16toh(r.wIndex), le16toh(r.wLength)};
}

// Carries out the reply to a SETUP on endpoint 0. FunctionFS stalls a request when the
// program moves data the other way than its direction.
void answer(int ep0, const usb_hid::Setup& s, const usb_hid::Reply& reply)
{
    const bool in = s.request_type & USB_DIR_IN;
    std::uint8_t none = 0;
    switch (reply.kind) {
    case usb_hid::Reply::send:
        if (::write(ep0, reply.data.data(), reply.data.size()) < 0)
            std::fprintf(stderr, "%s: ep0 answer: %s\n", program, std::strerror(errno));
        break;
    case usb_hid::Reply::acknowledge:
        if (::read(ep0, &none, 0) < 0)
            std::fprintf(stderr, "%s: ep0 status: %s\n", program, std::strerror(errno));
        break;
    case usb_hid::Reply::stall:
        if (in) (void)!::read(ep0, &none, 0);  // fails with EL2HLT: the stall is done
        else (void)!::write(ep0, &none, 0);
        break;
    case usb_hid::Reply::receive:
        break;  // the caller reads the data stage
    }
}

// The module and its decoys as gadgets, and what reaches them on endpoint 0.
struct UsbProgram {
    device_program::Options options;
    device_program::ReportRecord record;
    SimModule sim;
    ForeignDevice foreign{0x046D, 0xC52B};
    ForeignDevice second_interface{module_vendor_id, module_product_id};
    std::vector<std::string> controllers;
    std::vector<std::unique_ptr<Gadget>> gadgets;
    std::size_t module_index = 0;
    device_program::FormChange form_change{sim};
    device_program::Counts counts;
    // The gadgets go on the bus one after the other, each once the one before has its hidraw
    // node, so that the kernel numbers the decoys first; `plugging` is the one on its way.
    std::size_t plugging = 0;
    bool ready = false;
    Clock::time_point plug_deadline{};

    // Decoys first, so that the kernel numbers them before the module.
    void make_gadgets()
    {
        if (options.decoys) {
            gadgets.push_back(std::make_unique<Gadget>("foreign", foreign, sim_descriptors::module, report_length));
            gadgets.push_back(std::make_unique<Gadget>("second interface", second_interface,
                                                       sim_descriptors::feature32, 33));
        }
        gadgets.push_back(std::make_unique<Gadget>("module application", sim, sim_descriptors::module, report_length));
        module_index = gadgets.size() - 1;
    }
    Gadget& module() { return *gadgets[module_index]; }

    // Plugs in the next gadgets whose turn it is; READY once all have their nodes.
    void plug_in_due()
    {
        while (plugging < gadgets.size()) {
            Gadget& g = *gadgets[plugging];
            if (!g.plugged_in()) {
                g.plug_in(controllers);
                plug_deadline = Clock::now() + std::chrono::seconds(10);
            }
            const std::string node = g.node();
            if (node.empty()) {
                if (Clock::now() > plug_deadline) {
                    errno = ETIMEDOUT;
                    die("no hidraw node for " + g.hid_name());
                }
                return;
            }
            std::fprintf(stderr, "%s: %s is %s%s on %s\n", program, g.hid_name().c_str(),
                         node.rfind("hidraw", 0) == 0 ? "/dev/" : "", node.c_str(), g.controller().c_str());
            ++plugging;
        }
        if (!ready) {
            ready = true;
            device_program::announce_ready(program);
        }
    }

    // The module leaves the bus and comes back in its new form.
    void re_enumerate()
    {
        module().unplug();
        module().set_product(form_change.form() == SimModule::Form::loader ? "module loader" : "module application");
        plugging = module_index;  // plugged in again by plug_in_due
        ++counts.re_enumerations;
    }

    // The data stage of a SET_REPORT the function takes.
    void receive(Gadget& g, bool is_module, const usb_hid::Setup& s)
    {
        std::vector<std::uint8_t> data(s.length);
        const ssize_t got = ::read(g.ep0(), data.data(), data.size());
        if (got < 0) {
            std::fprintf(stderr, "%s: ep0 data stage: %s\n", program, std::strerror(errno));
            return;
        }
        if (is_module) record.set(data.data(), static_cast<std::size_t>(got));
        g.function().on_data(s, data.data(), static_cast<std::size_t>(got));
        if (is_module) form_change.after_report();
    }

    // One request on a gadget's endpoint 0, with the faults the options ask for.
    void on_setup(Gadget& g, bool is_module, const usb_hid::Setup& s)
    {
        const bool feature_get = s.request == usb_hid::hid_get_report;
        if (is_module && feature_get && g.function().gets() + 1 == options.vanish_at_get && g.plugged_in()) {
            // The request stays unanswered; the host fails it when the device goes.
            std::fprintf(stderr, "%s: module vanishes at read %zu\n", program, options.vanish_at_get);
            (void)g.function().on_setup(s, true);
            return g.unplug();
        }
        usb_hid::Reply reply = g.function().on_setup(s, is_module && form_change.resetting());
        if (is_module && feature_get && reply.kind == usb_hid::Reply::send) {
            if (g.function().gets() == options.short_get_at) reply.data.pop_back();
            record.get(reply.data.data(), reply.data.size());
        }
        if (is_module && reply.kind == usb_hid::Reply::receive && g.function().sets() == options.fail_set_at) {
            // Lost on the way: the module never sees it, the host's SET_REPORT fails.
            std::fprintf(stderr, "%s: module loses write %zu\n", program, options.fail_set_at);
            reply.kind = usb_hid::Reply::stall;
        }
        answer(g.ep0(), s, reply);
        if (reply.kind == usb_hid::Reply::receive) receive(g, is_module, s);
    }

    void serve(Gadget& g, bool is_module)
    {
        usb_functionfs_event events[4];
        const ssize_t n = ::read(g.ep0(), events, sizeof events);
        if (n < 0) {
            // EIDRM: the gadget has just left the bus.
            if (errno == EINTR || errno == EAGAIN || errno == EIDRM) return;
            die("read ep0 of " + g.hid_name());
        }
        for (std::size_t e = 0; e < static_cast<std::size_t>(n) / sizeof events[0]; ++e)
            if (events[e].type == FUNCTIONFS_SETUP)  // not bind, enable, suspend...
                on_setup(g, is_module, setup_of(events[e].u.setup));
    }

    // Serves the gadgets until SIGTERM or SIGINT arrives on `stop`. A gadget off the bus has
    // nothing to serve; one on its way to the bus is looked at every 5 ms.
    void run(int stop)
    {
        device_program::serve_until_stopped(
            program, stop, sim, form_change,
            [this](std::vector<int>& fds) {
                plug_in_due();
                for (const auto& g : gadgets) fds.push_back(g->plugged_in() ? g->ep0() : -1);
                return plugging < gadgets.size() ? 5 : -1;
            },
            [this] { re_enumerate(); }, [this](std::size_t i) { serve(*gadgets[i], i == module_index); });
    }

    void remove_gadgets()
    {
        for (auto& g : gadgets) g->remove();
        for (std::size_t i = 0; i < module_index; ++i)
            counts.decoy_reports += gadgets[i]->function().sets() + gadgets[i]->function().gets();
        counts.module_sets = module().function().sets();
        counts.module_gets = module().function().gets();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    UsbProgram p;
    p.options = device_program::parse(program, usage_text, true, argc, argv);
    if (!p.record.open(p.options.record_path)) die("open " + p.options.record_path);
    device_program::set_up_module(p.sim, p.options);
    ensure_configfs();
    p.controllers = device_controllers(p.options.udc);
    p.make_gadgets();
    const int stop = device_program::stop_signal_descriptor(program);
    for (auto& g : p.gadgets) g->create();
    p.run(stop);
    p.remove_gadgets();
    device_program::finish(program, p.options, p.counts, p.sim);
    return 0;
}
