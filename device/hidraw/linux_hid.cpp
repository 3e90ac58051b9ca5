#include "device/hidraw/linux_hid.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "device/report_descriptor.h"

namespace {

constexpr const char* hidraw_prefix = "hidraw";

// The feature requests encode the buffer length in 14 bits of the request number.
constexpr std::size_t max_request_length = (std::size_t{1} << _IOC_SIZEBITS) - 1;

// Number N of an entry named hidrawN; nullopt for anything else.
std::optional<unsigned long> hidraw_number(const std::string& name)
{
    const std::size_t prefix_len = std::strlen(hidraw_prefix);
    if (name.size() <= prefix_len || name.size() > prefix_len + 9) return std::nullopt;
    if (name.compare(0, prefix_len, hidraw_prefix) != 0) return std::nullopt;
    unsigned long n = 0;
    for (std::size_t i = prefix_len; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        n = n * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return n;
}

// One field of HID_ID: hexadecimal digits only, at most 8 of them.
std::optional<std::uint32_t> parse_hex_field(std::string_view text)
{
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(digit);
    }
    return v;
}

// A sysfs text attribute is at most one page; the kernel's uevent text is shorter still.
constexpr std::size_t max_uevent_size = 4096;

// Reads a small sysfs attribute whole into `out`: false when it cannot be read or is longer
// than `limit`. Only a regular file is read (sysfs attributes are regular files): a device, a
// pipe or a directory in its place is refused before any read that could block or never end.
// At most limit + 1 bytes are asked for, so a longer file costs no more than that. Never throws.
bool read_attribute(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // Non-blocking, and checked once more on the descriptor: the entry may have been swapped
    // between the two looks.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    try {
        out.assign(ok ? limit + 1 : 0, 0);
    } catch (const std::exception&) {
        ok = false;
    }
    std::size_t got = 0;
    while (ok && got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n > 0) got += static_cast<std::size_t>(n);
        else if (n == 0) break;
        else if (errno != EINTR) ok = false;
    }
    ::close(fd);
    if (!ok || got > limit) return false;
    out.resize(got);
    return true;
}

// Vendor and product id from the HID device's uevent: the line HID_ID=bus:vendor:product,
// each field in hexadecimal (e.g. HID_ID=0003:000003EB:00006202). The ids are 16-bit on
// every bus the module can sit on; a wider value is not a USB id and counts as unknown, and
// so does a uevent that cannot be read or is longer than a sysfs attribute can be.
bool ids_from_uevent(const std::string& uevent_path, std::uint16_t& vendor, std::uint16_t& product)
{
    std::vector<std::uint8_t> bytes;
    if (!read_attribute(uevent_path, max_uevent_size, bytes)) return false;
    std::string_view rest(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    static constexpr std::string_view key = "HID_ID=";
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        std::optional<std::uint32_t> fields[3];
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t colon = line.find(':');
            // Exactly three fields: the last one ends the line, the others end at a colon.
            if ((i < 2) == (colon == std::string_view::npos)) return false;
            fields[i] = parse_hex_field(line.substr(0, colon));
            line.remove_prefix(i < 2 ? colon + 1 : line.size());
        }
        const auto& [bus, v, p] = fields;
        if (!bus || !v || !p || *v > 0xFFFF || *p > 0xFFFF) return false;
        vendor = static_cast<std::uint16_t>(*v);
        product = static_cast<std::uint16_t>(*p);
        return true;
    }
    return false;
}

std::string basename_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

LinuxHid::LinuxHid() : LinuxHid("/sys/class/hidraw", "/dev") {}

LinuxHid::LinuxHid(std::string sysfs_root, std::string dev_root)
    : sysfs_root_(std::move(sysfs_root)), dev_root_(std::move(dev_root))
{
}

LinuxHid::~LinuxHid()
{
    for (const auto& [id, node] : open_) ::close(node.fd);
}

// No backend call lets an exception out (the seam reports failures by its results): what
// could still throw is memory for names and lists, and that fails the call.

bool LinuxHid::list_interfaces(std::vector<HidInterfaceInfo>& out)
try {
    out.clear();
    DIR* dir = ::opendir(sysfs_root_.c_str());
    if (dir == nullptr) return fail("opendir", errno);  // no hidraw class: no list can be made
    std::vector<std::pair<unsigned long, std::string>> names;
    try {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (const auto n = hidraw_number(name)) names.emplace_back(*n, name);
        }
    } catch (...) {
        ::closedir(dir);
        throw;
    }
    ::closedir(dir);
    // The kernel's order is the order of the minor numbers, not of the names as text.
    std::sort(names.begin(), names.end());

    for (const auto& [n, name] : names) {
        HidInterfaceInfo info;
        info.path = dev_root_ + "/" + name;
        info.ids_known = ids_from_uevent(sysfs_root_ + "/" + name + "/device/uevent",
                                         info.vendor_id, info.product_id);
        out.push_back(std::move(info));
    }
    return true;
} catch (const std::exception&) {
    out.clear();
    return false;
}

HidHandleId LinuxHid::open(const std::string& path)
try {
    open_refused_for_permission_ = false;
    const std::string name = basename_of(path);
    if (!hidraw_number(name)) return invalid_hid_id;
    // Read-write because the feature requests need it; no O_EXCL, so other programs keep
    // their access to the device. Opening takes no lock: claim() does, for the module alone.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail("open", error);
        open_refused_for_permission_ = error == EACCES || error == EPERM;
        return invalid_hid_id;
    }
    const auto id = static_cast<HidHandleId>(fd);
    try {
        open_[id] = OpenNode{fd, name};
    } catch (...) {
        ::close(fd);
        throw;
    }
    return id;
} catch (const std::exception&) {
    return invalid_hid_id;
}

bool LinuxHid::fail(const char* call, int error)
{
    record_failure(failure_, call, error);
    return false;
}

const LinuxHid::OpenNode* LinuxHid::find(HidHandleId h) const
{
    const auto it = open_.find(h);
    return it == open_.end() ? nullptr : &it->second;
}

bool LinuxHid::attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id)
try {
    const OpenNode* node = find(h);
    if (node == nullptr) return false;
    // The open node itself tells which device it is. A file that does not answer hidraw
    // requests (a node of a fake tree) is described by its sysfs entry instead.
    hidraw_devinfo info{};
    if (::ioctl(node->fd, HIDIOCGRAWINFO, &info) == 0) {
        vendor_id = static_cast<std::uint16_t>(info.vendor);
        product_id = static_cast<std::uint16_t>(info.product);
        return true;
    }
    return ids_from_uevent(sysfs_root_ + "/" + node->name + "/device/uevent", vendor_id,
                           product_id);
} catch (const std::exception&) {
    return false;
}

bool LinuxHid::feature_report_length(HidHandleId h, std::size_t& length)
try {
    const OpenNode* node = find(h);
    if (node == nullptr) return false;

    std::vector<std::uint8_t> descriptor;
    int size = 0;
    hidraw_report_descriptor rdesc{};
    if (::ioctl(node->fd, HIDIOCGRDESCSIZE, &size) == 0 && size >= 0 &&
        static_cast<std::size_t>(size) <= sizeof rdesc.value) {
        rdesc.size = static_cast<std::uint32_t>(size);
        if (::ioctl(node->fd, HIDIOCGRDESC, &rdesc) == 0)
            descriptor.assign(rdesc.value, rdesc.value + rdesc.size);
        else
            return fail("ioctl(HIDIOCGRDESC)", errno);
    } else if (!read_attribute(sysfs_root_ + "/" + node->name + "/device/report_descriptor",
                               max_report_descriptor_size, descriptor)) {
        // Neither the node nor its sysfs entry gives the descriptor.
        return false;
    }

    const auto feature = descriptor_feature_length(descriptor.data(), descriptor.size());
    if (!feature) return false;
    length = *feature;
    return true;
} catch (const std::exception&) {
    return false;
}

bool LinuxHid::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
try {
    const OpenNode* node = find(h);
    if (node == nullptr || buf == nullptr || length == 0 || length > max_request_length)
        return false;
    // The request only reads the buffer; a copy keeps the caller's const promise.
    std::vector<std::uint8_t> report(buf, buf + length);
    const int rc = ::ioctl(node->fd, HIDIOCSFEATURE(length), report.data());
    // The kernel returns the count it accepted (the full length, report-id byte included);
    // anything less means the device did not take the whole report.
    if (rc < 0) return fail("ioctl(HIDIOCSFEATURE)", errno);
    if (static_cast<std::size_t>(rc) != length) return fail("ioctl(HIDIOCSFEATURE) short", 0);
    return true;
} catch (const std::exception&) {
    return false;
}

bool LinuxHid::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    const OpenNode* node = find(h);
    if (node == nullptr || buf == nullptr || length == 0 || length > max_request_length)
        return false;
    // buf[0] holds the report id (0 for the module, which does not number its reports). On
    // return buf[0] is still the report id and the data sits at buf[1..]; the count is the
    // bytes received plus one. A shorter count is a short report: a failed read, never data
    // to be padded out with zeros.
    const int rc = ::ioctl(node->fd, HIDIOCGFEATURE(length), buf);
    if (rc < 0) return fail("ioctl(HIDIOCGFEATURE)", errno);
    if (static_cast<std::size_t>(rc) != length) return fail("ioctl(HIDIOCGFEATURE) short", 0);
    return true;
}

HidClaim LinuxHid::claim(HidHandleId h)
{
    const OpenNode* node = find(h);
    if (node == nullptr) return HidClaim::failed;
    // Never waits: a node held by another program is reported busy at once, and the caller
    // decides whether to try again later.
    for (;;) {
        if (::flock(node->fd, LOCK_EX | LOCK_NB) == 0) return HidClaim::held;
        const int error = errno;
        if (error == EINTR) continue;
        fail("flock", error);
        return error == EWOULDBLOCK ? HidClaim::busy : HidClaim::failed;
    }
}

void LinuxHid::close(HidHandleId h)
{
    const auto it = open_.find(h);
    if (it == open_.end()) return;  // never close a descriptor this object did not open
    ::close(it->second.fd);
    open_.erase(it);
}
