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
// Feature reads are counted from the start.
//
// Standard output: "READY" once every hidraw node exists; on SIGTERM or SIGINT (Ctrl-C) the
// gadgets are removed and one line "STATS key=value ..." is printed (foreign_opens is always 0:
// a USB device does not see its hidraw node opened). Progress notes go to standard error.
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/device_program.h"
#include "sim/sim_bus.h"
#include "sim/uhid/descriptors.h"
#include "sim/usb/hid_function.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* program = "lirvan-sim-usb";
constexpr const char* usage_text =
    "usage: lirvan-sim-usb [--udc NAME] [--decoys] [--identity HEX] [--vanish-at-get N]\n"
    "                      [--short-get-at N] [--record FILE] [--dump DIR]\n";
constexpr const char* configfs_root = "/sys/kernel/config";
constexpr auto re_enumeration_delay = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) { device_program::die(program, what); }

void write_file(const fs::path& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) die("open " + path.string());
    const ssize_t n = ::write(fd, text.data(), text.size());
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (n != static_cast<ssize_t>(text.size())) die("write " + path.string());
}

// Writing a controller's name to a gadget's UDC file binds it; EBUSY means another gadget has
// that controller.
bool try_write_file(const fs::path& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

std::string hex4(std::uint16_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
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

std::vector<std::string> device_controllers(const std::string& first)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/udc", ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (!first.empty()) {
        const auto it = std::find(names.begin(), names.end(), first);
        if (it == names.end()) {
            errno = ENODEV;
            die("no device controller " + first + " in /sys/class/udc");
        }
        names.erase(names.begin(), it);
    }
    return names;
}

// One USB device on the bus: a configfs gadget with one FunctionFS function that serves one
// HID interface from a simulated endpoint.
class Gadget {
public:
    Gadget(std::string product, FeatureEndpoint& endpoint,
           const std::vector<std::uint8_t>& report_descriptor, std::size_t feature_length)
        : product_(std::move(product)), endpoint_(endpoint), function_(endpoint, report_descriptor, feature_length)
    {
        static int serial = 0;
        instance_ = "lirvan" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
        dir_ = fs::path(configfs_root) / "usb_gadget" / instance_;
        descriptor_length_ = report_descriptor.size();
    }
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;
    ~Gadget() { remove(); }

    // The name usbhid gives the device: manufacturer, a space, product.
    std::string hid_name() const { return "lirvan-sim " + product_; }
    void set_product(const std::string& product)
    {
        product_ = product;
        write_file(dir_ / "strings/0x409/product", product_);
    }

    void create()
    {
        fs::create_directory(dir_);
        created_ = true;
        write_file(dir_ / "idVendor", hex4(endpoint_.vendor_id()));
        write_file(dir_ / "idProduct", hex4(endpoint_.product_id()));
        write_file(dir_ / "bcdUSB", "0x0200");
        write_file(dir_ / "bcdDevice", "0x0100");
        fs::create_directories(dir_ / "strings/0x409");
        write_file(dir_ / "strings/0x409/manufacturer", "lirvan-sim");
        write_file(dir_ / "strings/0x409/product", product_);
        write_file(dir_ / "strings/0x409/serialnumber", instance_);
        fs::create_directories(dir_ / "configs/c.1/strings/0x409");
        write_file(dir_ / "configs/c.1/strings/0x409/configuration", "HID");
        write_file(dir_ / "configs/c.1/MaxPower", "100");
        fs::create_directory(dir_ / ("functions/ffs." + instance_));
        fs::create_directory_symlink(dir_ / ("functions/ffs." + instance_),
                                     dir_ / ("configs/c.1/ffs." + instance_));

        char mount_dir[] = "/tmp/lirvan-sim-usb.XXXXXX";
        if (!::mkdtemp(mount_dir)) die("mkdtemp");
        mount_dir_ = mount_dir;
        if (::mount(instance_.c_str(), mount_dir, "functionfs", 0, nullptr) != 0)
            die("mount functionfs (is usb_f_fs loaded?)");
        mounted_ = true;
        ep0_ = ::open((mount_dir_ / "ep0").c_str(), O_RDWR | O_CLOEXEC);
        if (ep0_ < 0) die("open ep0");
        const auto descriptors = usb_hid::functionfs_descriptors(descriptor_length_);
        if (::write(ep0_, descriptors.data(), descriptors.size()) < 0) die("write descriptors");
        const auto strings = usb_hid::functionfs_strings();
        if (::write(ep0_, strings.data(), strings.size()) < 0) die("write strings");
    }

    // Binds the gadget to the first free controller from `controllers`. The kernel then
    // enumerates it, which needs answers on endpoint 0: the caller serves them and waits for
    // node() to name the hidraw node.
    void plug_in(const std::vector<std::string>& controllers)
    {
        for (const auto& udc : controllers) {
            if (try_write_file(dir_ / "UDC", udc)) {
                udc_ = udc;
                break;
            }
        }
        if (udc_.empty()) {
            errno = EBUSY;
            die("no free device controller for " + hid_name() + " (modprobe dummy_hcd num=3?)");
        }
    }
    // The hidraw node, "" while it is not there yet. A gadget on a real device controller
    // enumerates on the host at the other end of the cable, whenever one is plugged in: its
    // node is not this machine's to wait for.
    std::string node() const
    {
        if (udc_.rfind("dummy_udc", 0) != 0) return "a hidraw node of the host";
        const std::string node = hidraw_node_of(hid_name());
        return !node.empty() && fs::exists("/dev/" + node) ? node : "";
    }

    // Takes the device off the bus, as pulling its cable does.
    void unplug()
    {
        if (udc_.empty()) return;
        write_file(dir_ / "UDC", "\n");
        udc_.clear();
    }
    bool plugged_in() const { return !udc_.empty(); }
    const std::string& controller() const { return udc_; }

    int ep0() const { return ep0_; }
    usb_hid::HidFunction& function() { return function_; }

    void remove()
    {
        if (!created_) return;
        unplug();
        if (ep0_ >= 0) ::close(ep0_);
        ep0_ = -1;
        if (mounted_ && ::umount(mount_dir_.c_str()) != 0)
            std::fprintf(stderr, "%s: umount %s: %s\n", program, mount_dir_.c_str(), std::strerror(errno));
        mounted_ = false;
        std::error_code ec;
        fs::remove(mount_dir_, ec);
        fs::remove(dir_ / ("configs/c.1/ffs." + instance_), ec);
        for (const char* sub : {"configs/c.1/strings/0x409", "configs/c.1", "strings/0x409"})
            ::rmdir((dir_ / sub).c_str());
        ::rmdir((dir_ / ("functions/ffs." + instance_)).c_str());
        ::rmdir(dir_.c_str());
        created_ = false;
    }

private:
    std::string product_;
    FeatureEndpoint& endpoint_;
    usb_hid::HidFunction function_;
    std::string instance_;
    fs::path dir_, mount_dir_;
    std::size_t descriptor_length_ = 0;
    std::string udc_;
    int ep0_ = -1;
    bool created_ = false, mounted_ = false;
};

void ensure_configfs()
{
    if (fs::exists(fs::path(configfs_root) / "usb_gadget")) return;
    if (::mount("none", configfs_root, "configfs", 0, nullptr) != 0 && errno != EBUSY)
        die("mount configfs on /sys/kernel/config (is libcomposite loaded?)");
    if (!fs::exists(fs::path(configfs_root) / "usb_gadget")) {
        errno = ENOENT;
        die("no usb_gadget in configfs (modprobe libcomposite usb_f_fs)");
    }
}

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

}  // namespace

int main(int argc, char** argv)
{
    const auto options = device_program::parse(program, usage_text, true, argc, argv);
    if (options.fail_set_at != 0) {
        std::fprintf(stderr, "%s: --fail-set-at is an option of lirvan-sim-uhid only\n%s", program, usage_text);
        return 2;
    }
    device_program::ReportRecord record;
    if (!record.open(options.record_path)) die("open " + options.record_path);

    SimModule sim;
    device_program::set_up_module(sim, options);
    ForeignDevice foreign(0x046D, 0xC52B);
    ForeignDevice second_interface(module_vendor_id, module_product_id);

    ensure_configfs();
    const auto controllers = device_controllers(options.udc);

    // Decoys first, so that the kernel numbers them before the module.
    std::vector<std::unique_ptr<Gadget>> gadgets;
    if (options.decoys) {
        gadgets.push_back(std::make_unique<Gadget>("foreign", foreign, sim_descriptors::module, report_length));
        gadgets.push_back(std::make_unique<Gadget>("second interface", second_interface,
                                                   sim_descriptors::feature32, 33));
    }
    gadgets.push_back(std::make_unique<Gadget>("module application", sim, sim_descriptors::module, report_length));
    const std::size_t module_index = gadgets.size() - 1;
    Gadget& module = *gadgets[module_index];

    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int sfd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (sfd < 0) die("signalfd");

    for (auto& g : gadgets) g->create();
    SimModule::Form form = sim.form();

    device_program::WallClock clock(sim);
    device_program::Counts counts;
    // Set while the module is between two forms: it stalls every report, as a device that is
    // resetting does, and leaves the bus at re_enumerate_at.
    bool re_enumerating = false;
    Clock::time_point re_enumerate_at{};
    // The gadgets go on the bus one after the other, each once the one before has its hidraw
    // node, so that the kernel numbers the decoys first; `plugging` is the one on its way.
    std::size_t plugging = 0;
    bool ready = false;
    Clock::time_point plug_deadline{};
    std::vector<pollfd> fds(gadgets.size() + 1);
    for (;;) {
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
                break;
            }
            std::fprintf(stderr, "%s: %s is %s%s on %s\n", program, g.hid_name().c_str(),
                         node.rfind("hidraw", 0) == 0 ? "/dev/" : "", node.c_str(), g.controller().c_str());
            ++plugging;
        }
        if (plugging == gadgets.size() && !ready) {
            ready = true;
            std::printf("READY\n");
            std::fflush(stdout);
            std::fprintf(stderr, "%s: the module is on the bus; Ctrl-C removes it\n", program);
        }

        // A gadget off the bus has nothing to serve (poll skips a negative descriptor).
        for (std::size_t i = 0; i < gadgets.size(); ++i)
            fds[i] = {gadgets[i]->plugged_in() ? gadgets[i]->ep0() : -1, POLLIN, 0};
        fds.back() = {sfd, POLLIN, 0};
        int timeout_ms = plugging < gadgets.size() ? 5 : -1;
        if (re_enumerating) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(re_enumerate_at - Clock::now());
            timeout_ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        if (::poll(fds.data(), fds.size(), timeout_ms) < 0) {
            if (errno == EINTR) continue;
            die("poll");
        }
        if (fds.back().revents & POLLIN) break;
        clock.follow();
        if (re_enumerating && Clock::now() >= re_enumerate_at) {
            re_enumerating = false;
            form = sim.form();
            module.unplug();
            module.set_product(form == SimModule::Form::loader ? "module loader" : "module application");
            plugging = module_index;  // plugged in again at the top of the loop
            ++counts.re_enumerations;
            continue;
        }

        for (std::size_t i = 0; i < gadgets.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            Gadget& g = *gadgets[i];
            const bool is_module = i == module_index;
            usb_functionfs_event events[4];
            const ssize_t n = ::read(g.ep0(), events, sizeof events);
            if (n < 0) {
                // EIDRM: the gadget has just left the bus.
                if (errno == EINTR || errno == EAGAIN || errno == EIDRM) continue;
                die("read ep0 of " + g.hid_name());
            }
            for (std::size_t e = 0; e < static_cast<std::size_t>(n) / sizeof events[0]; ++e) {
                if (events[e].type != FUNCTIONFS_SETUP) continue;  // bind, enable, suspend...
                const usb_hid::Setup s = setup_of(events[e].u.setup);
                const bool feature_get = s.request == usb_hid::hid_get_report;
                if (is_module && feature_get && g.function().gets() + 1 == options.vanish_at_get &&
                    g.plugged_in()) {
                    // The request stays unanswered; the host fails it when the device goes.
                    std::fprintf(stderr, "%s: module vanishes at read %zu\n", program, options.vanish_at_get);
                    (void)g.function().on_setup(s, true);
                    g.unplug();
                    continue;
                }
                const bool resetting = is_module && re_enumerating;
                usb_hid::Reply reply = g.function().on_setup(s, resetting);
                if (is_module && feature_get && reply.kind == usb_hid::Reply::send &&
                    g.function().gets() == options.short_get_at)
                    reply.data.pop_back();
                if (is_module && reply.kind == usb_hid::Reply::send && feature_get)
                    record.get(reply.data.data(), reply.data.size());
                answer(g.ep0(), s, reply);
                if (reply.kind != usb_hid::Reply::receive) continue;

                std::vector<std::uint8_t> data(s.length);
                const ssize_t got = ::read(g.ep0(), data.data(), data.size());
                if (got < 0) {
                    std::fprintf(stderr, "%s: ep0 data stage: %s\n", program, std::strerror(errno));
                    continue;
                }
                if (is_module) record.set(data.data(), static_cast<std::size_t>(got));
                g.function().on_data(s, data.data(), static_cast<std::size_t>(got));
                // A change of form re-enumerates the module a moment after the report that
                // caused it completed, as on USB.
                if (is_module && sim.form() != form && !re_enumerating) {
                    re_enumerating = true;
                    re_enumerate_at = Clock::now() + re_enumeration_delay;
                }
            }
        }
    }

    for (auto& g : gadgets) g->remove();
    for (std::size_t i = 0; i < module_index; ++i)
        counts.decoy_reports += gadgets[i]->function().sets() + gadgets[i]->function().gets();
    counts.module_sets = module.function().sets();
    counts.module_gets = module.function().gets();
    device_program::print_stats(counts, sim);
    if (!options.dump_dir.empty() && !device_program::dump(sim, options.dump_dir))
        die("dump into " + options.dump_dir);
    return 0;
}
