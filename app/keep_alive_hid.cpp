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

void KeepAliveHid::after_report()
{
    if (Clock::now() - last_turn_ < interval_) return;
    if (keep_alive_) keep_alive_();
    // The turn's own time (paints) does not count against the next interval.
    last_turn_ = Clock::now();
}
