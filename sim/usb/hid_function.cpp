#include "sim/usb/hid_function.h"

#include <algorithm>
#include <array>
#include <linux/usb/functionfs.h>

namespace usb_hid {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void set32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Interface, HID and endpoint descriptor of one speed. bInterval counts frames (1 ms) at full
// speed and 2^(n-1) microframes at high speed: 10 ms and 8 ms.
void interface_descriptors(std::vector<std::uint8_t>& out, std::size_t report_descriptor_length,
                           std::uint8_t interval)
{
    const std::uint8_t interface[] = {9, 0x04, 0, 0, 1, 0x03, 0, 0, 0};
    out.insert(out.end(), std::begin(interface), std::end(interface));
    const std::uint8_t hid[] = {9, descriptor_type_hid, 0x11, 0x01, 0, 1, descriptor_type_report};
    out.insert(out.end(), std::begin(hid), std::end(hid));
    put16(out, static_cast<std::uint16_t>(report_descriptor_length));
    const std::uint8_t endpoint[] = {7, 0x05, 0x81, 0x03, 64, 0, interval};
    out.insert(out.end(), std::begin(endpoint), std::end(endpoint));
}

constexpr std::uint8_t direction_in = 0x80;
constexpr std::uint8_t type_class_interface = 0x21;  // class request to an interface

}  // namespace

std::vector<std::uint8_t> functionfs_descriptors(std::size_t report_descriptor_length)
{
    std::vector<std::uint8_t> out;
    put32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(out, 0);  // length, set below
    put32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(out, 3);  // full-speed descriptors
    put32(out, 3);  // high-speed descriptors
    interface_descriptors(out, report_descriptor_length, 10);
    interface_descriptors(out, report_descriptor_length, 7);
    set32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> functionfs_strings()
{
    std::vector<std::uint8_t> out;
    put32(out, FUNCTIONFS_STRINGS_MAGIC);
    put32(out, 16);
    put32(out, 0);  // strings
    put32(out, 0);  // languages
    return out;
}

HidFunction::HidFunction(FeatureEndpoint& endpoint, const std::vector<std::uint8_t>& report_descriptor,
                         std::size_t feature_length)
    : endpoint_(endpoint), report_descriptor_(report_descriptor), feature_length_(feature_length)
{
}

bool HidFunction::is_feature_report(const Setup& s) const
{
    // wValue: report type in the high byte, report id in the low byte (0: reports not numbered).
    return (s.request_type & 0x7F) == type_class_interface && s.value == hid_report_type_feature << 8;
}

Reply HidFunction::on_setup(const Setup& s, bool refuse)
{
    Reply r;
    if (s.request_type == (direction_in | 0x01) && s.request == std_get_descriptor &&
        s.value >> 8 == descriptor_type_report) {
        r.kind = Reply::send;
        r.data.assign(report_descriptor_.begin(),
                      report_descriptor_.begin() + std::min<std::size_t>(s.length, report_descriptor_.size()));
        return r;
    }
    if (s.request_type == type_class_interface && s.request == hid_set_idle) {
        r.kind = Reply::acknowledge;
        return r;
    }
    if (s.request_type == (direction_in | type_class_interface) && s.request == hid_get_report &&
        is_feature_report(s)) {
        ++gets_;
        std::array<std::uint8_t, report_data_length> data{};
        if (refuse || !endpoint_.on_get_feature(data.data())) return r;
        r.kind = Reply::send;
        r.data.assign(data.begin(), data.begin() + std::min<std::size_t>(s.length, data_length()));
        return r;
    }
    if (s.request_type == type_class_interface && s.request == hid_set_report && is_feature_report(s)) {
        ++sets_;
        // A report of another length than the interface's is refused before its data stage, and
        // so is every report while refusing: after the data stage the host has its answer.
        if (!refuse && s.length == data_length()) r.kind = Reply::receive;
        return r;
    }
    return r;  // anything else: stall
}

bool HidFunction::on_data(const Setup& s, const std::uint8_t* data, std::size_t length)
{
    if (length != s.length || length != data_length()) return false;
    std::array<std::uint8_t, report_data_length> report{};
    std::copy(data, data + std::min(length, report.size()), report.begin());
    return endpoint_.on_set_feature(report.data());
}

}  // namespace usb_hid
