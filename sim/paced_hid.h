// A decorator of the Hid seam on which every feature report takes its time, as on USB, where
// the module answers about one report per millisecond frame: before each report passes to the
// inner bus, `each_report` runs. A test advances the simulated module's clock there; the demo
// and a benchmark wait out the frame as well. Everything else passes through unchanged.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "device/Hid.h"

class PacedHid : public Hid {
public:
    PacedHid(Hid& inner, std::function<void()> each_report) : inner_(inner), each_report_(std::move(each_report)) {}

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override { return inner_.list_interfaces(out); }
    HidHandleId open(const std::string& path) override { return inner_.open(path); }
    bool attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id) override
    {
        return inner_.attributes(h, vendor_id, product_id);
    }
    bool feature_report_length(HidHandleId h, std::size_t& length) override
    {
        return inner_.feature_report_length(h, length);
    }
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        each_report_();
        return inner_.set_feature(h, buf, length);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        each_report_();
        return inner_.get_feature(h, buf, length);
    }
    void close(HidHandleId h) override { inner_.close(h); }
    HidClaim claim(HidHandleId h) override { return inner_.claim(h); }
    SystemFailure last_failure() const override { return inner_.last_failure(); }
    bool open_refused_for_permission() const override { return inner_.open_refused_for_permission(); }

private:
    Hid& inner_;
    std::function<void()> each_report_;
};

// Waits out `time` by spinning on the steady clock, for an `each_report` that makes a report
// take that long and not that long plus the scheduler's lateness after a sleep.
inline void spin_for(std::chrono::steady_clock::duration time)
{
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
    }
}
