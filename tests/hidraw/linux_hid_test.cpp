// The hidraw backend against a fake sysfs tree and fake device nodes in a temporary
// directory: listing order, ids without opening, the feature length from the descriptor,
// and what open_device opens and closes. The feature requests themselves need a real kernel
// and are exercised by the kernel-path test.
#include "device/hidraw/linux_hid.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/device.h"
#include "device/report_descriptor.h"
#include "hidraw/sample_descriptors.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

// Faults put into this program's read(): while `read_script` is set, each read takes its next
// character ('.' the real read, 'i' EINTR as if a signal came first, 'e' EIO); once the script
// is used up every read is real again.
static std::atomic<const char*> read_script{nullptr};
extern "C" ssize_t read(int fd, void* buffer, std::size_t count)
{
    const char* step = read_script.load();
    while (step && *step && !read_script.compare_exchange_weak(step, step + 1)) {}
    if (step && (*step == 'i' || *step == 'e')) {
        errno = *step == 'i' ? EINTR : EIO;
        return -1;
    }
    return ::syscall(SYS_read, fd, buffer, count);
}

namespace {

// sys/hidrawN/device/{uevent,report_descriptor} and dev/hidrawN under a fresh temp dir.
class FakeHidrawTree {
public:
    FakeHidrawTree()
    {
        fs::create_directories(sys());
        fs::create_directories(dev());
    }

    std::string sys() const { return (root_ / "sys").string(); }
    std::string dev() const { return (root_ / "dev").string(); }

    // A hidraw entry with a uevent (empty text: none) and a descriptor (empty: none).
    void add(const std::string& name, const std::string& uevent,
             const std::vector<std::uint8_t>& descriptor, bool with_node = true)
    {
        const fs::path device = fs::path(sys()) / name / "device";
        fs::create_directories(device);
        if (!uevent.empty()) std::ofstream(device / "uevent") << uevent;
        if (!descriptor.empty()) {
            std::ofstream out(device / "report_descriptor", std::ios::binary);
            out.write(reinterpret_cast<const char*>(descriptor.data()),
                      static_cast<std::streamsize>(descriptor.size()));
        }
        if (with_node) std::ofstream(fs::path(dev()) / name);
    }

    static std::string uevent(const std::string& hid_id)
    {
        return "DRIVER=hid-generic\nHID_ID=" + hid_id + "\nHID_NAME=test\nMODALIAS=hid:x\n";
    }

private:
    ScratchFolder scratch_{"hidraw-test-"};
    fs::path root_ = scratch_.path();
};

const std::string module_ids = "0003:000003EB:00006202";

// Watches a directory and tells, per file name, how often it was opened and closed.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& dir)
    {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    }
    ~OpenWatch() { ::close(fd_); }

    struct Counts {
        int opens = 0, closes_after_write_access = 0, closes_read_only = 0;
    };
    std::map<std::string, Counts> collect()
    {
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            for (char* p = buf; p < buf + n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(p);
                const std::string name = ev->len ? ev->name : "";
                if (ev->mask & IN_OPEN) ++counts_[name].opens;
                if (ev->mask & IN_CLOSE_WRITE) ++counts_[name].closes_after_write_access;
                if (ev->mask & IN_CLOSE_NOWRITE) ++counts_[name].closes_read_only;
                p += sizeof(inotify_event) + ev->len;
            }
        }
        return counts_;
    }

private:
    int fd_ = -1;
    std::map<std::string, Counts> counts_;
};

TEST(LinuxHid, ListsInKernelOrderWithIdsFromSysfs)
{
    // The hidraw entries in the kernel's order, by number, and the ids the listing must take
    // from each entry's HID_ID (none: ids unknown, the interface has to be opened to tell).
    struct Entry {
        const char* name;
        const char* hid_id;  // "": no uevent at all
        bool ids_known;
        std::uint16_t vendor, product;
    };
    const Entry entries[] = {
        {"hidraw0", "0003:00001234:00005678", true, 0x1234, 0x5678},
        {"hidraw1", "", false, 0, 0},
        {"hidraw2", "0005:0000046d:0000c52b", true, 0x046D, 0xC52B},  // lower case
        {"hidraw3", "0003:000003EB", false, 0, 0},                    // two fields
        {"hidraw4", "0003:000103EB:00006202", false, 0, 0},           // 17 bits
        {"hidraw5", "0003:0000G3EB:00006202", false, 0, 0},           // not hex
        {"hidraw6", "0003:0000ABCD:0000FFFF", true, 0xABCD, 0xFFFF},  // upper case, the largest id
        {"hidraw7", "0003:0000fe09:0000abcd", true, 0xFE09, 0xABCD},  // lower case
        {"hidraw8", "0003:000003EB:00010000", false, 0, 0},           // product of 17 bits
        {"hidraw9", "0003:000003EB:0000620g", false, 0, 0},           // not hex, lower case
        {"hidraw10", "0003:000003EB:00006202", true, 0x03EB, 0x6202},  // after 5, not after 1
    };
    FakeHidrawTree tree;
    for (const Entry& e : entries)
        tree.add(e.name, *e.hid_id ? FakeHidrawTree::uevent(e.hid_id) : "", {});
    tree.add("hidrawx", FakeHidrawTree::uevent(module_ids), {});  // not a hidraw name
    tree.add("event3", FakeHidrawTree::uevent(module_ids), {});

    LinuxHid hid(tree.sys(), tree.dev());
    std::vector<HidInterfaceInfo> list;
    ASSERT_TRUE(hid.list_interfaces(list));
    ASSERT_EQ(list.size(), std::size(entries));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Entry& e = entries[i];
        EXPECT_EQ(list[i].path, tree.dev() + "/" + e.name);
        EXPECT_EQ(list[i].ids_known, e.ids_known) << e.name;
        if (!e.ids_known) continue;
        EXPECT_EQ(list[i].vendor_id, e.vendor) << e.name;
        EXPECT_EQ(list[i].product_id, e.product) << e.name;
    }

    // A list made earlier is replaced, not extended.
    ASSERT_TRUE(hid.list_interfaces(list));
    EXPECT_EQ(list.size(), std::size(entries));

    // No hidraw class at all: no list can be made.
    LinuxHid missing(tree.sys() + "/nothing", tree.dev());
    EXPECT_FALSE(missing.list_interfaces(list));
    EXPECT_TRUE(list.empty());
    // The reason is kept for the log: the call and its errno, counted.
    EXPECT_STREQ(missing.last_failure().call, "opendir");
    EXPECT_EQ(missing.last_failure().error, ENOENT);
    EXPECT_EQ(missing.last_failure().count, 1u);
    EXPECT_EQ(missing.open(tree.dev() + "/hidraw99"), invalid_hid_id);
    EXPECT_STREQ(missing.last_failure().call, "open");
    EXPECT_EQ(missing.last_failure().count, 2u);
}

TEST(LinuxHid, AnInterruptedReadOfAnEntryGoesOnAndAFailedOneLeavesNothingOpen)
{
    FakeHidrawTree tree;
    tree.add("hidraw0", FakeHidrawTree::uevent(module_ids), {});
    LinuxHid hid(tree.sys(), tree.dev());
    const auto open_descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto before = open_descriptors();
    std::vector<HidInterfaceInfo> list;

    read_script = "ii.";  // two signals before the uevent's text comes
    ASSERT_TRUE(hid.list_interfaces(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].ids_known);
    EXPECT_EQ(list[0].product_id, 0x6202);

    read_script = ".e";  // the text, then a read that fails where the end of the file was due
    ASSERT_TRUE(hid.list_interfaces(list));
    read_script = nullptr;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0].ids_known) << "a failed read is no id";
    EXPECT_EQ(open_descriptors(), before);
}

TEST(LinuxHid, OpenNodeGivesIdsAndFeatureLengthFromItsDescriptor)
{
    FakeHidrawTree tree;
    tree.add("hidraw0", FakeHidrawTree::uevent(module_ids), sample::module_descriptor);
    tree.add("hidraw1", FakeHidrawTree::uevent(module_ids), sample::feature32_descriptor);
    tree.add("hidraw2", FakeHidrawTree::uevent("0003:000004D9:00001702"),
             sample::boot_keyboard_descriptor);
    tree.add("hidraw3", FakeHidrawTree::uevent(module_ids), {0x75, 0x08, 0x95});  // cut short
    tree.add("hidraw4", FakeHidrawTree::uevent(module_ids), {});  // no descriptor
    tree.add("hidraw5", FakeHidrawTree::uevent(module_ids), sample::module_descriptor, false);
    LinuxHid hid(tree.sys(), tree.dev());

    const auto feature_length = [&](const std::string& name) -> std::optional<std::size_t> {
        const HidHandleId h = hid.open(tree.dev() + "/" + name);
        EXPECT_NE(h, invalid_hid_id) << name;
        std::size_t length = 12345;
        const bool ok = hid.feature_report_length(h, length);
        hid.close(h);
        return ok ? std::optional(length) : std::nullopt;
    };
    EXPECT_EQ(feature_length("hidraw0"), 65u);
    EXPECT_EQ(feature_length("hidraw1"), 33u);
    EXPECT_EQ(feature_length("hidraw2"), 0u);
    EXPECT_EQ(feature_length("hidraw3"), std::nullopt);
    EXPECT_EQ(feature_length("hidraw4"), std::nullopt);

    const HidHandleId h = hid.open(tree.dev() + "/hidraw2");
    std::uint16_t vendor = 0, product = 0;
    ASSERT_TRUE(hid.attributes(h, vendor, product));
    EXPECT_EQ(vendor, 0x04D9);
    EXPECT_EQ(product, 0x1702);

    // A plain file does not answer feature requests: both fail, nothing is made up.
    std::uint8_t report[65] = {};
    EXPECT_FALSE(hid.set_feature(h, report, sizeof report));
    EXPECT_FALSE(hid.get_feature(h, report, sizeof report));
    hid.close(h);

    // Closed, unknown and never-opened handles are refused.
    std::size_t length = 0;
    EXPECT_FALSE(hid.attributes(h, vendor, product));
    EXPECT_FALSE(hid.feature_report_length(h, length));
    EXPECT_FALSE(hid.set_feature(h, report, sizeof report));
    EXPECT_FALSE(hid.get_feature(invalid_hid_id, report, sizeof report));
    hid.close(h);  // twice: harmless

    EXPECT_EQ(hid.open(tree.dev() + "/hidraw5"), invalid_hid_id);  // no node
    EXPECT_EQ(hid.open(tree.dev() + "/hidraw9"), invalid_hid_id);
    EXPECT_EQ(hid.open(tree.sys() + "/hidraw0/device/uevent"), invalid_hid_id);  // not hidrawN
}

TEST(LinuxHid, OpenDeviceTouchesOnlyCandidatesAndLeavesNothingOpen)
{
    FakeHidrawTree tree;
    tree.add("hidraw0", FakeHidrawTree::uevent("0003:000004D9:00001702"),
             sample::boot_keyboard_descriptor);
    tree.add("hidraw1", FakeHidrawTree::uevent(module_ids), sample::feature32_descriptor);
    tree.add("hidraw2", FakeHidrawTree::uevent("0003:00001234:00006202"),
             sample::module_descriptor);
    tree.add("hidraw3", FakeHidrawTree::uevent(module_ids), sample::module_descriptor);

    OpenWatch watch(tree.dev());
    {
        LinuxHid hid(tree.sys(), tree.dev());
        DeviceIdentity identity = make_app_identity();
        identity.found = true;
        // hidraw3 passes every check up to cmd_identify, which a plain file cannot take.
        const DeviceHandle handle = open_device(hid, identity);
        EXPECT_FALSE(handle.valid());
        EXPECT_FALSE(identity.found);
    }
    auto counts = watch.collect();
    // Foreign devices are told apart by their sysfs ids and never opened.
    EXPECT_EQ(counts.count("hidraw0"), 0u);
    EXPECT_EQ(counts.count("hidraw2"), 0u);
    // The two candidates were opened once each, read-write, and closed again.
    for (const char* name : {"hidraw1", "hidraw3"}) {
        EXPECT_EQ(counts[name].opens, 1) << name;
        EXPECT_EQ(counts[name].closes_after_write_access, 1) << name;
        EXPECT_EQ(counts[name].closes_read_only, 0) << name;
    }
}

// Another program on the same node: a child process claims hidraw3 and holds it until it is
// killed, as a window or a lirvan-cli would in the middle of a transfer.
TEST(LinuxHid, ANodeClaimedByAnotherProcessIsBusyUntilThatProcessDies)
{
    FakeHidrawTree tree;
    tree.add("hidraw3", FakeHidrawTree::uevent(module_ids), sample::module_descriptor);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LinuxHid other(tree.sys(), tree.dev());
        const HidHandleId h = other.open(tree.dev() + "/hidraw3");
        const char held = other.claim(h) == HidClaim::held ? 'y' : 'n';
        if (::write(ready[1], &held, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(held, 'y');

    LinuxHid hid(tree.sys(), tree.dev());
    DeviceIdentity identity = make_app_identity();
    EXPECT_FALSE(open_device(hid, identity).valid());
    EXPECT_TRUE(identity.busy);
    // The claim was the last call: no feature request was tried on the held node.
    ASSERT_NE(hid.last_failure().call, nullptr);
    EXPECT_STREQ(hid.last_failure().call, "flock");
    EXPECT_EQ(hid.last_failure().error, EWOULDBLOCK);
    const HidHandleId mine = hid.open(tree.dev() + "/hidraw3");
    EXPECT_EQ(hid.claim(mine), HidClaim::busy);

    // The holder dies: the system drops its claim, and the node is ours.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(hid.claim(mine), HidClaim::held);
    EXPECT_EQ(hid.claim(mine), HidClaim::held) << "claiming again keeps the claim";
    LinuxHid third(tree.sys(), tree.dev());
    const HidHandleId theirs = third.open(tree.dev() + "/hidraw3");
    EXPECT_EQ(third.claim(theirs), HidClaim::busy);
    hid.close(mine);
    EXPECT_EQ(third.claim(theirs), HidClaim::held) << "closing the node lets go of it";
    EXPECT_FALSE(open_device(hid, identity).valid());
    EXPECT_TRUE(identity.busy);
    third.close(theirs);
    open_device(hid, identity);
    EXPECT_FALSE(identity.busy) << "a plain file takes no cmd_identify, but is not busy";
}

// Descriptors of this process that refer to `path`.
int descriptors_open_on(const std::string& path)
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec) == fs::path(path)) ++n;
    }
    return n;
}

TEST(LinuxHid, HandlesLeftOpenAreClosedWithTheBackend)
{
    FakeHidrawTree tree;
    tree.add("hidraw0", FakeHidrawTree::uevent(module_ids), sample::module_descriptor);
    const std::string node = tree.dev() + "/hidraw0";
    {
        LinuxHid hid(tree.sys(), tree.dev());
        const HidHandleId first = hid.open(node);
        EXPECT_NE(hid.open(node), invalid_hid_id);
        EXPECT_NE(first, invalid_hid_id);
        EXPECT_EQ(descriptors_open_on(node), 2);
        hid.close(first);
        EXPECT_EQ(descriptors_open_on(node), 1);
    }
    EXPECT_EQ(descriptors_open_on(node), 0);
}

TEST(LinuxHid, ANodeRefusedForPermissionTellsOfTheModuleOnlyWithItsIds)
{
    FakeHidrawTree tree;
    // A read-only sysfs file refuses O_RDWR with EACCES even to root, as a hidraw node
    // without the udev rule refuses the logged-in user.
    const fs::path refusing = "/sys/kernel/uevent_seqnum";
    ASSERT_TRUE(fs::exists(refusing));
    tree.add("hidraw0", "", {}, false);  // no uevent: whose node it is, only opening tells
    fs::create_symlink(refusing, fs::path(tree.dev()) / "hidraw0");
    LinuxHid hid(tree.sys(), tree.dev());
    DeviceIdentity app = make_app_identity();

    EXPECT_FALSE(open_device(hid, app).valid());
    EXPECT_TRUE(hid.open_refused_for_permission());
    EXPECT_FALSE(app.access_denied) << "a refusal by a node of unknown ids";

    tree.add("hidraw1", FakeHidrawTree::uevent(module_ids), {}, false);
    fs::create_symlink(refusing, fs::path(tree.dev()) / "hidraw1");
    EXPECT_FALSE(open_device(hid, app).valid());
    EXPECT_TRUE(app.access_denied);
    EXPECT_FALSE(app.found);

    // A node that opens (and then fails the checks) or is missing is no refusal.
    fs::remove(fs::path(tree.dev()) / "hidraw1");
    EXPECT_FALSE(open_device(hid, app).valid());
    EXPECT_FALSE(app.access_denied);
    EXPECT_FALSE(hid.open_refused_for_permission());
    std::ofstream(fs::path(tree.dev()) / "hidraw1");
    EXPECT_FALSE(open_device(hid, app).valid());
    EXPECT_FALSE(app.access_denied);
}

// Bytes this process has taken in through read() and its kin so far.
std::uint64_t bytes_read_so_far()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    ADD_FAILURE() << "no rchar in /proc/self/io";
    return 0;
}

// hidrawN's device folder in a fake tree.
fs::path device_dir(const FakeHidrawTree& tree, const std::string& name)
{
    return fs::path(tree.sys()) / name / "device";
}

TEST(LinuxHid, TheLargestDescriptorAllowedIsReadAndOneByteMoreIsRefused)
{
    FakeHidrawTree tree;
    std::vector<std::uint8_t> padded = sample::module_descriptor;  // Usage items change nothing
    padded.resize(max_report_descriptor_size, 0x08);
    std::vector<std::uint8_t> too_long = padded;
    too_long.push_back(0x08);
    tree.add("hidraw0", FakeHidrawTree::uevent(module_ids), padded);
    tree.add("hidraw1", FakeHidrawTree::uevent(module_ids), too_long);

    LinuxHid hid(tree.sys(), tree.dev());
    std::vector<HidInterfaceInfo> list;
    ASSERT_TRUE(hid.list_interfaces(list));
    ASSERT_EQ(list.size(), 2u);
    std::size_t length = 0;
    ASSERT_TRUE(hid.feature_report_length(hid.open(list[0].path), length));
    EXPECT_EQ(length, 65u);
    EXPECT_FALSE(hid.feature_report_length(hid.open(list[1].path), length));
}

// A FIFO that a thread of its own feeds without end (up to a cap) while anybody reads it.
class EndlessFifo {
public:
    explicit EndlessFifo(fs::path path) : path_(std::move(path))
    {
        EXPECT_EQ(::mkfifo(path_.c_str(), 0600), 0);
        feeder_ = std::thread([this] { feed(); });
    }
    ~EndlessFifo()
    {
        stop_ = true;
        feeder_.join();
    }
    std::size_t written() const { return written_; }

    static constexpr std::size_t cap = 16 << 20;

private:
    void feed()
    {
        // A reader that goes away makes write fail with EPIPE instead of killing the test.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        int fd = -1;
        while (!stop_ && fd < 0) {
            fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // ENXIO: no reader yet
            if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const std::vector<char> chunk(1 << 16, 'x');
        while (fd >= 0 && !stop_ && written_ < cap) {
            const ssize_t n = ::write(fd, chunk.data(), chunk.size());
            if (n > 0) written_ += static_cast<std::size_t>(n);
            else if (errno == EAGAIN) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else break;  // the reader has gone
        }
        if (fd >= 0) ::close(fd);
    }

    fs::path path_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> written_{0};
    std::thread feeder_;
};

// Two interfaces: hidraw0, whose uevent a test replaces, and the module's hidraw1, whose
// report descriptor a test replaces.
struct TwoNodeTree : FakeHidrawTree {
    TwoNodeTree()
    {
        add("hidraw0", "", {});
        add("hidraw1", FakeHidrawTree::uevent(module_ids), {});
    }
};

// What may stand in place of a sysfs entry: a folder, a file of 16 MiB (in uevent one line of
// that length), a FIFO fed without end, a device that never ends.
enum class Hostile { folder, huge_file, endless_fifo, device };

class HostileSysfsEntries : public ::testing::TestWithParam<Hostile> {
protected:
    // The hostile kind in place of `entry`; as a file it begins with `start`.
    void replace(const fs::path& entry, const std::string& start)
    {
        switch (GetParam()) {
        case Hostile::folder: fs::create_directory(entry); break;
        case Hostile::huge_file:
            std::ofstream(entry, std::ios::binary) << start;
            fs::resize_file(entry, 16 << 20);
            break;
        case Hostile::endless_fifo: fifos.push_back(std::make_unique<EndlessFifo>(entry)); break;
        case Hostile::device: fs::create_symlink("/dev/zero", entry); break;
        }
    }
    TwoNodeTree tree;
    std::vector<std::unique_ptr<EndlessFifo>> fifos;
};

// Each costs at most a page and a byte, never waits, and only its interface is skipped.
TEST_P(HostileSysfsEntries, SkipTheirInterfaceWithoutWaitingReadingOrThrowing)
{
    replace(device_dir(tree, "hidraw0") / "uevent", "DRIVER=hid-generic\nHID_NAME=");
    replace(device_dir(tree, "hidraw1") / "report_descriptor", "\x08");
    LinuxHid hid(tree.sys(), tree.dev());
    const std::uint64_t read_before = bytes_read_so_far();
    std::vector<HidInterfaceInfo> list;
    ASSERT_TRUE(hid.list_interfaces(list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].ids_known);
    EXPECT_TRUE(list[1].ids_known);
    std::size_t length = 0;
    std::uint16_t vendor = 0, product = 0;
    EXPECT_FALSE(hid.attributes(hid.open(list[0].path), vendor, product));
    EXPECT_FALSE(hid.feature_report_length(hid.open(list[1].path), length));
    DeviceIdentity identity = make_app_identity();
    EXPECT_FALSE(open_device(hid, identity).valid());
    EXPECT_FALSE(identity.found);
    EXPECT_LT(bytes_read_so_far() - read_before, 64u << 10);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileSysfsEntries,
                         ::testing::Values(Hostile::folder, Hostile::huge_file, Hostile::endless_fifo, Hostile::device));

}  // namespace
