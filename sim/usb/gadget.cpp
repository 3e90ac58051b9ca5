// The gadgets of lirvan-sim-usb in configfs, their FunctionFS endpoint 0 and their controllers.
#include "sim/usb/gadget.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/device_program.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* configfs_root = "/sys/kernel/config";

[[noreturn]] void die(const std::string& what) { device_program::die(usb_program, what); }

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

}  // namespace

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

Gadget::Gadget(std::string product, FeatureEndpoint& endpoint,
               const std::vector<std::uint8_t>& report_descriptor, std::size_t feature_length)
    : product_(std::move(product)), endpoint_(endpoint), function_(endpoint, report_descriptor, feature_length)
{
    static int serial = 0;
    instance_ = "lirvan" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
    dir_ = fs::path(configfs_root) / "usb_gadget" / instance_;
    descriptor_length_ = report_descriptor.size();
}

void Gadget::set_product(const std::string& product)
{
    product_ = product;
    write_file(dir_ / "strings/0x409/product", product_);
}

void Gadget::create()
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

void Gadget::plug_in(const std::vector<std::string>& controllers)
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

std::string Gadget::node() const
{
    if (udc_.rfind("dummy_udc", 0) != 0) return "a hidraw node of the host";
    const std::string node = device_program::hidraw_node_of(hid_name());
    return !node.empty() && fs::exists("/dev/" + node) ? node : "";
}

void Gadget::unplug()
{
    if (udc_.empty()) return;
    write_file(dir_ / "UDC", "\n");
    udc_.clear();
}

void Gadget::remove()
{
    if (!created_) return;
    unplug();
    if (ep0_ >= 0) ::close(ep0_);
    ep0_ = -1;
    if (mounted_ && ::umount(mount_dir_.c_str()) != 0)
        std::fprintf(stderr, "%s: umount %s: %s\n", usb_program, mount_dir_.c_str(), std::strerror(errno));
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
