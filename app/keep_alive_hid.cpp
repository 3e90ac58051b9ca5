#include "app/keep_alive_hid.h"

bool KeepAliveHid::list_interfaces(std::vector<HidInterfaceInfo>& out)
{
    last_turn_ = Clock::now();
    return inner_.list_interfaces(out);
}

HidHandleId KeepAliveHid::open(const std::string& path)
{
    last_turn_ = Clock::now();
    return inner_.open(path);
}

bool KeepAliveHid::attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id)
{
    return inner_.attributes(h, vendor_id, product_id);
}

bool KeepAliveHid::feature_report_length(HidHandleId h, std::size_t& length)
{
    return inner_.feature_report_length(h, length);
}

bool KeepAliveHid::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
{
    const bool sent = inner_.set_feature(h, buf, length);
    after_report();
    return sent;
}

bool KeepAliveHid::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    const bool received = inner_.get_feature(h, buf, length);
    after_report();
    return received;
}

void KeepAliveHid::close(HidHandleId h) { inner_.close(h); }

HidClaim KeepAliveHid::claim(HidHandleId h) { return inner_.claim(h); }

SystemFailure KeepAliveHid::last_failure() const { return inner_.last_failure(); }

bool KeepAliveHid::open_refused_for_permission() const { return inner_.open_refused_for_permission(); }

void KeepAliveHid::after_report()
{
    if (Clock::now() - last_turn_ < interval_) return;
    if (keep_alive_) keep_alive_();
    // The turn's own time (paints) does not count against the next interval.
    last_turn_ = Clock::now();
}
