// Report descriptors of the simulated module's HID interfaces as lirvan-sim-uhid gives them
// to the kernel: the module's own, and that of a second interface with the module's ids (a
// decoy that discovery must pass over). The tests of the descriptor parser use them too.
#pragma once

#include <cstdint>
#include <vector>

namespace sim_descriptors {

// The module: one vendor-defined feature report of 64 bytes, reports not numbered; the host
// counts it as 65 bytes with the report-id byte.
inline const std::vector<std::uint8_t> module = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x01,        //   Usage (1)
    0xB1, 0x02,        //   Feature (Data, Var, Abs)
    0xC0,              // End Collection
};

// A second interface of the same device: a vendor input report of 64 bytes and a feature
// report of only 32 bytes (33 with the report-id byte).
inline const std::vector<std::uint8_t> feature32 = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x02,        // Usage (2)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x03,        //   Usage (3)
    0x81, 0x02,        //   Input (Data, Var, Abs)
    0x95, 0x20,        //   Report Count (32)
    0x09, 0x04,        //   Usage (4)
    0xB1, 0x02,        //   Feature (Data, Var, Abs)
    0xC0,              // End Collection
};

}  // namespace sim_descriptors
