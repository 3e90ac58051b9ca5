// The Linux backend of the Hid seam, over the kernel's hidraw interface.
//
// Interfaces are listed from /sys/class/hidraw in the kernel's numbering (hidraw0, hidraw1,
// ..., hidraw10), with vendor and product id taken from the sysfs uevent of each, so that
// other programs' devices are never opened. An interface is opened read-write (the feature
// requests need a descriptor) without any exclusive claim. Feature reports travel through
// HIDIOCSFEATURE / HIDIOCGFEATURE on the caller's 65-byte buffer, byte 0 being the report
// id 0.
//
// A claim is an exclusive flock on the open node: every program that claims (each copy of the
// window and of the command line, under any user) waits its turn on the same device node, and
// the kernel drops the lock when the descriptor closes or its program dies.
//
// A node that does not answer the hidraw requests for its ids and descriptor (a plain file
// in a fake tree, for instance) is described by its sysfs entry instead: device/uevent and
// device/report_descriptor, both readable without privileges.
#pragma once

#include <map>
#include <string>

#include "device/Hid.h"

class LinuxHid : public Hid {
public:
    LinuxHid();  // /sys/class/hidraw and /dev
    // Other roots, for a fake sysfs tree in tests or a chroot: interfaces are the entries
    // hidrawN of sysfs_root, their nodes dev_root/hidrawN.
    LinuxHid(std::string sysfs_root, std::string dev_root);
    ~LinuxHid() override;  // closes handles the caller left open
    LinuxHid(const LinuxHid&) = delete;
    LinuxHid& operator=(const LinuxHid&) = delete;

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override;
    HidHandleId open(const std::string& path) override;
    bool attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id) override;
    bool feature_report_length(HidHandleId h, std::size_t& length) override;
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override;
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override;
    void close(HidHandleId h) override;
    HidClaim claim(HidHandleId h) override;
    SystemFailure last_failure() const override { return failure_; }
    bool open_refused_for_permission() const override { return open_refused_for_permission_; }

private:
    // An open node: its file descriptor (which is also its handle id) and its hidrawN name,
    // which leads back to its sysfs entry.
    struct OpenNode {
        int fd = -1;
        std::string name;
    };
    const OpenNode* find(HidHandleId h) const;
    // Records the failed call with errno; returns false for the caller to pass on.
    bool fail(const char* call, int error);

    std::string sysfs_root_;
    std::string dev_root_;
    std::map<HidHandleId, OpenNode> open_;
    SystemFailure failure_;
    bool open_refused_for_permission_ = false;  // the latest open() failed with EACCES or EPERM
};
