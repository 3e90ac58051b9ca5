// The platform seam of the device link: the few HID operations that discovery and the
// command protocol need. One backend per platform fills it: Linux hidraw, Windows (SetupDi and
// HID.dll bound at run time), and the simulated bus of the tests and the demo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "define/system_failure.h"

// Handle of one open HID interface, as the backend that opened it numbers it.
using HidHandleId = std::uintptr_t;
constexpr HidHandleId invalid_hid_id = ~HidHandleId{0};  // all bits set, like the platform's

// One present HID interface as the platform lists it.
struct HidInterfaceInfo {
    std::string path;               // what open() takes
    bool ids_known = false;         // vendor/product read without opening (sysfs on Linux)
    std::uint16_t vendor_id = 0;    // valid when ids_known
    std::uint16_t product_id = 0;   // valid when ids_known
};

// What a claim on an open interface came to (see Hid::claim).
enum class HidClaim {
    held,    // this program has the interface to itself until it closes it
    busy,    // another program holds it now: not one report may go to it
    failed,  // the claim could not be made (the reason is in last_failure)
};

class Hid {
public:
    virtual ~Hid() = default;

    // Lists the interfaces present now, in the platform's order. False when no list can be made.
    virtual bool list_interfaces(std::vector<HidInterfaceInfo>& out) = 0;
    // Opens an interface without claiming it exclusively; invalid_hid_id on failure.
    virtual HidHandleId open(const std::string& path) = 0;
    // Vendor and product id of an open interface.
    virtual bool attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id) = 0;
    // Feature report length counted with the report-id byte (65 for the module).
    virtual bool feature_report_length(HidHandleId h, std::size_t& length) = 0;
    // Writes one feature report; buf[0] is the report id. True only if all of it was accepted.
    virtual bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) = 0;
    // Reads one feature report into buf (buf[0] holds the report id before the call).
    // True only if a whole report of `length` bytes (report-id byte included) arrived.
    virtual bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) = 0;
    // Closes the interface and with it this program's claim on it.
    virtual void close(HidHandleId h) = 0;
    // Claims an open interface for this program until close(): while a claim stands, no other
    // program that claims (every copy of the window and of the command line, under any user)
    // gets a report through, so that no frame of another exchange comes between a command and
    // its data or reply. The system drops the claim of a program that dies. A search claims a
    // candidate before its first report and an action keeps the claim until its last. The
    // default suits a backend that no other program can reach (a bus inside this program);
    // a decorator passes the call on.
    virtual HidClaim claim(HidHandleId) { return HidClaim::held; }
    // The last system call that failed below this seam, for a log; none for a backend that
    // makes no system calls.
    virtual SystemFailure last_failure() const { return {}; }
    // Whether the latest open() was refused for lack of permission (on Linux: the node's
    // access rights, as when the module's udev rule is not installed). Backends that cannot
    // tell answer false.
    virtual bool open_refused_for_permission() const { return false; }
};
