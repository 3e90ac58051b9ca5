// A decorator of the Hid seam on which every feature report takes its time, as on USB, where
// the module answers about one report per millisecond frame: before each report passes to the
// inner bus, `each_report` runs. A test advances the simulated module's clock there; the demo
// and a benchmark wait out the frame as well. Everything else passes through unchanged.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "device/forwarding_hid.h"

class PacedHid : public ForwardingHid {
public:
    PacedHid(Hid& inner, std::function<void()> each_report) : ForwardingHid(inner), each_report_(std::move(each_report)) {}

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

private:
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
