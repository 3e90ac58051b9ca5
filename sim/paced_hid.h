// A link at a module's pace: passes every call on to another Hid and makes each feature report
// take `per_report` longer, as a module that needs that long per report would. The wait spins
// on a clock rather than sleeps, so that a report costs the same each time and two loops over
// the same reports can be compared to a per cent. The clock is the steady clock unless told:
// on a machine shared with other work, a clock of the thread's own processor time keeps the
// pace the same however often the thread is set aside.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/Hid.h"

class PacedHid : public Hid {
public:
    using Clock = std::chrono::steady_clock;

    using Now = Clock::duration (*)();
    static Clock::duration steady_now() { return Clock::now().time_since_epoch(); }

    PacedHid(Hid& inner, Clock::duration per_report, Now now = steady_now)
        : inner_(inner), per_report_(per_report), now_(now)
    {
    }

    void set_pace(Clock::duration per_report) { per_report_ = per_report; }
    // Searches begun (listings) and reports passed on, for tests that tell a tick or an
    // action from the transfer they watch.
    std::size_t listings() const { return listings_; }
    std::size_t reports() const { return reports_; }

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override
    {
        ++listings_;
        return inner_.list_interfaces(out);
    }
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
        wait();
        return inner_.set_feature(h, buf, length);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        wait();
        return inner_.get_feature(h, buf, length);
    }
    void close(HidHandleId h) override { inner_.close(h); }
    HidClaim claim(HidHandleId h) override { return inner_.claim(h); }
    SystemFailure last_failure() const override { return inner_.last_failure(); }
    bool open_refused_for_permission() const override { return inner_.open_refused_for_permission(); }

private:
    void wait()
    {
        ++reports_;
        if (per_report_ <= Clock::duration::zero()) return;
        const Clock::duration until = now_() + per_report_;
        while (now_() < until) {
        }
    }

    Hid& inner_;
    Clock::duration per_report_;
    Now now_;
    std::size_t listings_ = 0;
    std::size_t reports_ = 0;
};
