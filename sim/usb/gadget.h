// One USB device of lirvan-sim-usb: a configfs gadget with one FunctionFS function that serves
// one HID interface from a simulated endpoint, plugged into and out of a USB device controller
// of this machine; and the controllers and configfs it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/sim_module.h"
#include "sim/usb/hid_function.h"

inline constexpr const char* usb_program = "lirvan-sim-usb";

// The USB device controllers of /sys/class/udc in name order, from `first` on ("" for all).
std::vector<std::string> device_controllers(const std::string& first);
// Mounts configfs when it is not, and makes sure it offers usb_gadget.
void ensure_configfs();

// One USB device on the bus: a configfs gadget with one FunctionFS function that serves one
// HID interface from a simulated endpoint.
class Gadget {
public:
    Gadget(std::string product, FeatureEndpoint& endpoint,
           const std::vector<std::uint8_t>& report_descriptor, std::size_t feature_length);
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;
    ~Gadget() { remove(); }

    // The name usbhid gives the device: manufacturer, a space, product.
    std::string hid_name() const { return "lirvan-sim " + product_; }
    void set_product(const std::string& product);

    // Makes the gadget in configfs and mounts its FunctionFS; it is not on the bus yet.
    void create();

    // Binds the gadget to the first free controller from `controllers`. The kernel then
    // enumerates it, which needs answers on endpoint 0: the caller serves them and waits for
    // node() to name the hidraw node.
    void plug_in(const std::vector<std::string>& controllers);
    // The hidraw node, "" while it is not there yet. A gadget on a real device controller
    // enumerates on the host at the other end of the cable, whenever one is plugged in: its
    // node is not this machine's to wait for.
    std::string node() const;

    // Takes the device off the bus, as pulling its cable does.
    void unplug();
    bool plugged_in() const { return !udc_.empty(); }
    const std::string& controller() const { return udc_; }

    int ep0() const { return ep0_; }
    usb_hid::HidFunction& function() { return function_; }

    // Takes it off the bus and out of configfs.
    void remove();

private:
    std::string product_;
    FeatureEndpoint& endpoint_;
    usb_hid::HidFunction function_;
    std::string instance_;
    std::filesystem::path dir_, mount_dir_;
    std::size_t descriptor_length_ = 0;
    std::string udc_;
    int ep0_ = -1;
    bool created_ = false, mounted_ = false;
};
