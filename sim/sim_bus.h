// A simulated HID bus: any number of interfaces, each backed by a FeatureEndpoint (the
// simulated module, foreign devices), behind the same Hid seam as the real platform, with
// fault injection and counters that let tests prove what was opened, sent and closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/Hid.h"
#include "sim/sim_module.h"

// A HID device that is not the module: it has its own ids and answers nothing useful.
class ForeignDevice : public FeatureEndpoint {
public:
    ForeignDevice(std::uint16_t vendor, std::uint16_t product) : vendor_(vendor), product_(product) {}
    std::uint16_t vendor_id() const override { return vendor_; }
    std::uint16_t product_id() const override { return product_; }
    bool on_set_feature(const std::uint8_t*) override { ++sets_; return true; }
    bool on_get_feature(std::uint8_t* data64) override;  // zeros
    std::size_t sets() const { return sets_; }
private:
    std::uint16_t vendor_, product_;
    std::size_t sets_ = 0;
};

class SimBus : public Hid {
public:
    SimBus();
    ~SimBus() override;
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // Adds an interface in listing order; returns its index. The endpoint must outlive the bus
    // or be removed first. ids_in_listing: whether list_interfaces reports its ids (as sysfs
    // does on Linux) or only opening it tells them.
    std::size_t add_interface(FeatureEndpoint& endpoint, std::size_t feature_length = report_length,
                              bool ids_in_listing = true);
    // Takes the interface off the bus: it is no longer listed and its open handles fail.
    void remove_interface(std::size_t index);
    // Puts a removed interface back at its place in the listing.
    void restore_interface(std::size_t index);
    std::size_t interface_count() const;

    // Fault injection, counted over reports (set and get) from the moment of the call:
    // the n-th report (1-based) fails; 0 disarms.
    void fail_report(std::size_t n);
    // As fail_report, but the n-th report reaches its endpoint (a written report is taken, a
    // read reply is used up) before the call fails: the tool cannot tell it from a lost one.
    void fail_report_delivered(std::size_t n);
    // The n-th written report (1-based, counted from the moment of the call) reaches its
    // endpoint with its last data byte inverted, as a disturbed transfer would; 0 disarms.
    void disturb_set_report(std::size_t n);
    // After n more reports succeed, the interface `index` vanishes (as remove_interface).
    void vanish_after(std::size_t index, std::size_t n);
    // Listing fails (no list can be made).
    void set_list_fails(bool fails);
    // The interface is listed but refuses to be opened for lack of permission (a hidraw node
    // without the udev rule), or opens again.
    void set_open_refused(std::size_t index, bool refused);
    // Another program holds the interface (or lets it go): claims on it are refused as busy.
    void set_held_elsewhere(std::size_t index, bool held);

    // Counters for tests.
    std::size_t opens() const;          // successful open() calls
    std::size_t closes() const;         // close() calls on open handles
    std::size_t open_handles() const;   // opens - closes
    std::size_t opens_of(std::size_t index) const;
    // set + get calls on handles of interface `index`, refused ones included.
    std::size_t reports_to(std::size_t index) const;
    std::size_t reports() const;        // set + get calls that reached an endpoint
    std::size_t set_reports() const;
    std::size_t get_reports() const;
    // Reports sent on a handle that had no claim on its interface when they were sent.
    std::size_t unclaimed_reports() const;

    // Hid
    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override;
    HidHandleId open(const std::string& path) override;
    bool attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id) override;
    bool feature_report_length(HidHandleId h, std::size_t& length) override;
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override;
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override;
    void close(HidHandleId h) override;
    // One claim per interface at a time: a second handle, of this bus or held elsewhere, is
    // refused as busy until the holder closes (or its interface vanishes).
    HidClaim claim(HidHandleId h) override;
    bool open_refused_for_permission() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
