// The platform seam of the device link: the few HID operations that discovery and the
// command protocol need. One backend per platform fills it (Linux hidraw, the simulated bus
// used by the tests and the demo; a Windows backend can be added beside them).
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
    virtual void close(HidHandleId h) = 0;
    // The last system call that failed below this seam, for a log; none for a backend that
    // makes no system calls.
    virtual SystemFailure last_failure() const { return {}; }
};
