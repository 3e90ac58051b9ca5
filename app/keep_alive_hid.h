// The window's link to the module: passes every call on to the platform's Hid and, while one
// action has held the link for longer than a moment (an image read or write, the firmware
// stream), hands the window a turn between two reports every `interval`, so that it answers
// the system and paints. The window takes no input and runs no handler in that turn
// (TMainForm::keep_window_alive), so no frame of another exchange comes between the reports.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/forwarding_hid.h"

class KeepAliveHid : public ForwardingHid {
public:
    using Clock = std::chrono::steady_clock;
    // Often enough for a bar that visibly moves and for the system's "is it alive" questions
    // (Windows and the desktops ask within 5 s), rarely enough to cost the stream nothing.
    static constexpr Clock::duration default_interval = std::chrono::milliseconds(100);

    KeepAliveHid(Hid& inner, std::function<void()> keep_alive, Clock::duration interval = default_interval)
        : ForwardingHid(inner), keep_alive_(std::move(keep_alive)), interval_(interval)
    {
    }

    void set_interval(Clock::duration interval) { interval_ = interval; }

    // A search begins an action's time: a tick or a short action never gives a turn.
    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override;
    HidHandleId open(const std::string& path) override;
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override;
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override;

private:
    // After a report: the window's turn when the interval has passed since the last one.
    void after_report();

    std::function<void()> keep_alive_;
    Clock::duration interval_;
    Clock::time_point last_turn_ = Clock::now();
};
