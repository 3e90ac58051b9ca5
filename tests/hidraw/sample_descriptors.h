// Report descriptors of real kinds of HID devices, shared by the parser's tests, the hidraw
// tests on a fake sysfs tree and the virtual devices of the kernel-path test.
#pragma once

#include <cstdint>
#include <vector>

namespace sample {

// The module: one vendor-defined feature report of 64 bytes, reports not numbered.
inline const std::vector<std::uint8_t> module_descriptor = {
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
// report of only 32 bytes.
inline const std::vector<std::uint8_t> feature32_descriptor = {
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

// The boot keyboard of the HID class definition: input and LED output, no feature report.
inline const std::vector<std::uint8_t> boot_keyboard_descriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,              // Key codes, modifiers E0..E7
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08,  // 8 x 1 bit
    0x81, 0x02,                                      // Input (modifier byte)
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              // Input (reserved byte)
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05,
    0x91, 0x02,                                      // Output (5 LEDs)
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,              // Output (LED padding)
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65,
    0x81, 0x00,                                      // Input (6 key codes)
    0xC0,
};

// A precision touchpad: numbered reports. Report 1 is the input, report 3 the feature with
// the contact count maximum and pad type (4 + 4 bits), report 0x44 the 256-byte
// certification blob (Report Count as a 2-byte item). Largest feature report: 256 + 1.
inline const std::vector<std::uint8_t> touchpad_descriptor = {
    0x05, 0x0D,        // Usage Page (Digitizer)
    0x09, 0x05,        // Usage (Touch Pad)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x09, 0x22,        //   Usage (Finger)
    0xA1, 0x02,        //   Collection (Logical)
    0x15, 0x00, 0x25, 0x01, 0x09, 0x47, 0x09, 0x42,
    0x95, 0x02, 0x75, 0x01, 0x81, 0x02,              // Input: confidence, tip (2 bits)
    0x95, 0x06, 0x81, 0x03,                          // Input: padding (6 bits)
    0x05, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x0F, 0x75, 0x10, 0x95, 0x02, 0x09, 0x30, 0x09, 0x31,
    0x81, 0x02,                                      // Input: X, Y (2 x 16 bits)
    0xC0,              //   End Collection
    0x85, 0x03,        //   Report ID (3)
    0x05, 0x0D, 0x09, 0x55, 0x25, 0x05, 0x75, 0x04, 0x95, 0x01,
    0xB1, 0x02,        //   Feature: contact count maximum (4 bits)
    0x09, 0x59, 0x25, 0x0F, 0x75, 0x04, 0x95, 0x01,
    0xB1, 0x02,        //   Feature: pad type (4 bits)
    0x06, 0x00, 0xFF,  //   Usage Page (Vendor 0xFF00)
    0x85, 0x44,        //   Report ID (0x44)
    0x09, 0xC5, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x96, 0x00, 0x01,  //   Report Count (256)
    0xB1, 0x02,        //   Feature: certification blob
    0xC0,              // End Collection
};

}  // namespace sample
