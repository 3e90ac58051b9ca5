// A Hid that passes every call on to another Hid unchanged: the base of the decorators of the
// seam (the window's keep-alive link, the command line's traffic tap, a paced bus), each of
// which overrides only the calls it watches or changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/Hid.h"

class ForwardingHid : public Hid {
public:
    explicit ForwardingHid(Hid& inner) : inner_(inner) {}

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
        return inner_.set_feature(h, buf, length);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        return inner_.get_feature(h, buf, length);
    }
    void close(HidHandleId h) override { inner_.close(h); }
    HidClaim claim(HidHandleId h) override { return inner_.claim(h); }
    SystemFailure last_failure() const override { return inner_.last_failure(); }
    bool open_refused_for_permission() const override { return inner_.open_refused_for_permission(); }

protected:
    Hid& inner_;
};
