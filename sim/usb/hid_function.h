// The HID interface of a USB gadget as lirvan-sim-usb serves it through FunctionFS: the
// descriptor blocks FunctionFS takes for one interface with the interrupt IN endpoint the
// kernel's usbhid driver requires, and the answers to the requests that reach endpoint 0.
// No kernel calls here, so the behaviour on the wire is tested on any machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_module.h"

namespace usb_hid {

// The fields of a USB SETUP packet, in host byte order.
struct Setup {
    std::uint8_t request_type = 0;  // bmRequestType
    std::uint8_t request = 0;       // bRequest
    std::uint16_t value = 0;        // wValue
    std::uint16_t index = 0;        // wIndex
    std::uint16_t length = 0;       // wLength
};

// HID class requests and the standard request that fetches the report descriptor.
constexpr std::uint8_t hid_get_report = 0x01;
constexpr std::uint8_t hid_set_report = 0x09;
constexpr std::uint8_t hid_set_idle = 0x0A;
constexpr std::uint8_t std_get_descriptor = 0x06;
constexpr std::uint8_t hid_report_type_feature = 3;
constexpr std::uint8_t descriptor_type_hid = 0x21;
constexpr std::uint8_t descriptor_type_report = 0x22;

// FunctionFS descriptor block (magic v2, full and high speed) for one HID interface: interface
// descriptor (class 3, no subclass or protocol), HID descriptor naming a report descriptor of
// `report_descriptor_length` bytes, one interrupt IN endpoint of 64 bytes.
std::vector<std::uint8_t> functionfs_descriptors(std::size_t report_descriptor_length);
// FunctionFS strings block: no strings (the gadget's configfs strings name the device).
std::vector<std::uint8_t> functionfs_strings();

// What to do with one request on endpoint 0.
struct Reply {
    enum Kind {
        send,          // IN data stage: send `data`
        receive,       // OUT data stage of `length` bytes, then give them to on_data
        acknowledge,   // no data stage: accept
        stall,         // refuse
    } kind = stall;
    std::vector<std::uint8_t> data;
};

// One HID interface of a gadget, backed by an endpoint of the simulated bus (the module, or a
// decoy that is not the module).
class HidFunction {
public:
    // feature_length counts the report-id byte as the host does (65 for the module); the
    // device side moves one byte fewer, as a device without report ids does on USB.
    HidFunction(FeatureEndpoint& endpoint, const std::vector<std::uint8_t>& report_descriptor,
                std::size_t feature_length);

    // The request as FunctionFS hands it over. A GET_REPORT of a feature report answers
    // `feature_length - 1` bytes from the endpoint, or stalls when the endpoint refuses.
    // `refuse` stalls whatever comes (the module between two forms).
    Reply on_setup(const Setup& setup, bool refuse = false);
    // The data stage of a request that on_setup answered with `receive`, handed to the
    // endpoint. False when it was not a whole report; FunctionFS has completed the transfer
    // by then, so the host has been told nothing of it (on_setup refuses what it can).
    bool on_data(const Setup& setup, const std::uint8_t* data, std::size_t length);

    // GET_REPORT / SET_REPORT requests of feature reports, refused ones included.
    std::size_t gets() const { return gets_; }
    std::size_t sets() const { return sets_; }
    std::size_t data_length() const { return feature_length_ - 1; }

private:
    bool is_feature_report(const Setup& s) const;

    FeatureEndpoint& endpoint_;
    const std::vector<std::uint8_t>& report_descriptor_;
    std::size_t feature_length_;
    std::size_t gets_ = 0, sets_ = 0;
};

}  // namespace usb_hid
