// The simulated HID bus. Interfaces are listed under the paths "sim:<index>"; handles are
// numbered from 1 upwards and never reused, so a stale handle can never reach another open.
// A report reaches its endpoint only when its length equals the interface's feature report
// length and byte 0 holds report id 0; the endpoint sees the data bytes padded with zeros
// (or cut) to 64.
#include "sim/sim_bus.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

constexpr char path_prefix[] = "sim:";
constexpr std::size_t path_prefix_length = sizeof path_prefix - 1;

}  // namespace

bool ForeignDevice::on_get_feature(std::uint8_t* data64)
{
    std::memset(data64, 0, report_data_length);
    return true;
}

struct SimBus::Impl {
    struct Interface {
        FeatureEndpoint* endpoint = nullptr;
        std::size_t feature_length = report_length;
        bool ids_in_listing = true;
        bool present = true;
        bool open_refused = false;  // for lack of permission
        bool held_elsewhere = false;  // another program's claim
        HidHandleId claimed_by = 0;   // the handle of this bus that holds the claim; 0 = none
        std::size_t opens = 0;
        std::size_t report_calls = 0;
        std::string path;
    };
    struct OpenHandle {
        HidHandleId id = 0;
        std::size_t index = 0;
        bool live = true;  // false once its interface vanished
    };

    std::vector<Interface> interfaces;
    std::vector<OpenHandle> handles;  // open handles, few at a time
    HidHandleId next_id = 1;

    bool list_fails = false;
    bool last_open_refused = false;
    std::size_t fail_at = 0;       // 1-based report number that fails; 0 = disarmed
    bool fail_delivered = false;   // the failing report reaches its endpoint first
    std::size_t attempts = 0;      // reports counted since fail_report was armed
    std::size_t disturb_at = 0;    // 1-based written report that arrives disturbed; 0 = disarmed
    std::size_t sets_seen = 0;     // written reports counted since disturb_set_report was armed
    bool vanish_armed = false;
    std::size_t vanish_index = 0;
    std::size_t vanish_left = 0;   // successful reports until the interface vanishes

    std::size_t opens = 0, closes = 0, set_reports = 0, get_reports = 0, unclaimed_reports = 0;

    OpenHandle* find(HidHandleId id)
    {
        for (auto& h : handles)
            if (h.id == id) return &h;
        return nullptr;
    }

    // The interface behind a usable handle, or nullptr.
    Interface* usable(HidHandleId id)
    {
        const OpenHandle* h = find(id);
        if (h == nullptr || !h->live) return nullptr;
        return &interfaces[h->index];
    }

    // As usable(), for a report call: counts the call on the handle's interface.
    Interface* reporting(HidHandleId id)
    {
        const OpenHandle* h = find(id);
        if (h == nullptr) return nullptr;
        ++interfaces[h->index].report_calls;
        if (interfaces[h->index].claimed_by != id) ++unclaimed_reports;
        return h->live ? &interfaces[h->index] : nullptr;
    }

    void vanish(std::size_t index)
    {
        if (index >= interfaces.size()) return;
        interfaces[index].present = false;
        interfaces[index].claimed_by = 0;
        for (auto& h : handles)
            if (h.index == index) h.live = false;
    }

    enum class Fault { none, lost, delivered };
    // Applies the injected report fault: whether this report is the one to fail, and how.
    Fault report_fault()
    {
        if (fail_at == 0) return Fault::none;
        if (++attempts < fail_at) return Fault::none;
        fail_at = 0;
        return fail_delivered ? Fault::delivered : Fault::lost;
    }

    void report_succeeded()
    {
        if (!vanish_armed) return;
        if (vanish_left > 0) --vanish_left;
        if (vanish_left == 0) {
            vanish_armed = false;
            vanish(vanish_index);
        }
    }
};

SimBus::SimBus() : d_(std::make_unique<Impl>()) {}
SimBus::~SimBus() = default;

std::size_t SimBus::add_interface(FeatureEndpoint& endpoint, std::size_t feature_length,
                                  bool ids_in_listing)
{
    Impl::Interface i;
    i.endpoint = &endpoint;
    i.feature_length = feature_length;
    i.ids_in_listing = ids_in_listing;
    i.path = path_prefix + std::to_string(d_->interfaces.size());
    d_->interfaces.push_back(std::move(i));
    return d_->interfaces.size() - 1;
}

void SimBus::remove_interface(std::size_t index) { d_->vanish(index); }

void SimBus::restore_interface(std::size_t index)
{
    if (index < d_->interfaces.size()) d_->interfaces[index].present = true;
}

std::size_t SimBus::interface_count() const { return d_->interfaces.size(); }

void SimBus::fail_report(std::size_t n)
{
    d_->fail_at = n;
    d_->fail_delivered = false;
    d_->attempts = 0;
}

void SimBus::fail_report_delivered(std::size_t n)
{
    fail_report(n);
    d_->fail_delivered = true;
}

void SimBus::disturb_set_report(std::size_t n)
{
    d_->disturb_at = n;
    d_->sets_seen = 0;
}

void SimBus::vanish_after(std::size_t index, std::size_t n)
{
    if (n == 0) {
        d_->vanish_armed = false;
        d_->vanish(index);
        return;
    }
    d_->vanish_armed = true;
    d_->vanish_index = index;
    d_->vanish_left = n;
}

void SimBus::set_list_fails(bool fails) { d_->list_fails = fails; }

void SimBus::set_open_refused(std::size_t index, bool refused)
{
    if (index < d_->interfaces.size()) d_->interfaces[index].open_refused = refused;
}

void SimBus::set_held_elsewhere(std::size_t index, bool held)
{
    if (index < d_->interfaces.size()) d_->interfaces[index].held_elsewhere = held;
}

std::size_t SimBus::unclaimed_reports() const { return d_->unclaimed_reports; }

HidClaim SimBus::claim(HidHandleId h)
{
    Impl::Interface* i = d_->usable(h);
    if (i == nullptr) return HidClaim::failed;
    if (i->held_elsewhere || (i->claimed_by != 0 && i->claimed_by != h)) return HidClaim::busy;
    i->claimed_by = h;
    return HidClaim::held;
}

bool SimBus::open_refused_for_permission() const { return d_->last_open_refused; }

std::size_t SimBus::opens() const { return d_->opens; }
std::size_t SimBus::closes() const { return d_->closes; }
std::size_t SimBus::open_handles() const { return d_->handles.size(); }

std::size_t SimBus::opens_of(std::size_t index) const
{
    return index < d_->interfaces.size() ? d_->interfaces[index].opens : 0;
}

std::size_t SimBus::reports_to(std::size_t index) const
{
    return index < d_->interfaces.size() ? d_->interfaces[index].report_calls : 0;
}

std::size_t SimBus::reports() const { return d_->set_reports + d_->get_reports; }
std::size_t SimBus::set_reports() const { return d_->set_reports; }
std::size_t SimBus::get_reports() const { return d_->get_reports; }

bool SimBus::list_interfaces(std::vector<HidInterfaceInfo>& out)
{
    out.clear();
    if (d_->list_fails) return false;
    for (const auto& i : d_->interfaces) {
        if (!i.present) continue;
        HidInterfaceInfo info;
        info.path = i.path;
        info.ids_known = i.ids_in_listing;
        if (i.ids_in_listing) {
            info.vendor_id = i.endpoint->vendor_id();
            info.product_id = i.endpoint->product_id();
        }
        out.push_back(std::move(info));
    }
    return true;
}

HidHandleId SimBus::open(const std::string& path)
{
    d_->last_open_refused = false;
    if (path.size() <= path_prefix_length || path.compare(0, path_prefix_length, path_prefix) != 0)
        return invalid_hid_id;
    std::size_t index = 0;
    const char* first = path.data() + path_prefix_length;
    const char* last = path.data() + path.size();
    const auto [end, error] = std::from_chars(first, last, index);
    if (error != std::errc{} || end != last) return invalid_hid_id;
    if (index >= d_->interfaces.size() || !d_->interfaces[index].present) return invalid_hid_id;
    if (d_->interfaces[index].open_refused) {
        d_->last_open_refused = true;
        return invalid_hid_id;
    }

    const HidHandleId id = d_->next_id++;
    d_->handles.push_back(Impl::OpenHandle{id, index, true});
    ++d_->opens;
    ++d_->interfaces[index].opens;
    return id;
}

bool SimBus::attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id)
{
    const Impl::Interface* i = d_->usable(h);
    if (i == nullptr) return false;
    vendor_id = i->endpoint->vendor_id();
    product_id = i->endpoint->product_id();
    return true;
}

bool SimBus::feature_report_length(HidHandleId h, std::size_t& length)
{
    const Impl::Interface* i = d_->usable(h);
    if (i == nullptr) return false;
    length = i->feature_length;
    return true;
}

bool SimBus::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
{
    Impl::Interface* i = d_->reporting(h);
    if (i == nullptr || length != i->feature_length || length < 2 || buf[0] != 0) return false;
    const Impl::Fault fault = d_->report_fault();
    if (fault == Impl::Fault::lost) return false;
    ++d_->set_reports;
    std::uint8_t data[report_data_length] = {};
    std::memcpy(data, buf + 1, std::min(length - 1, report_data_length));
    if (d_->disturb_at != 0 && ++d_->sets_seen == d_->disturb_at) {
        d_->disturb_at = 0;
        data[report_data_length - 1] ^= 0xFF;
    }
    const bool accepted = i->endpoint->on_set_feature(data);
    if (!accepted || fault == Impl::Fault::delivered) return false;
    d_->report_succeeded();
    return true;
}

bool SimBus::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    Impl::Interface* i = d_->reporting(h);
    if (i == nullptr || length != i->feature_length || length < 2) return false;
    const Impl::Fault fault = d_->report_fault();
    if (fault == Impl::Fault::lost) return false;
    ++d_->get_reports;
    bool answered;
    if (length == report_length) {
        answered = i->endpoint->on_get_feature(buf + 1);
    } else {
        std::uint8_t data[report_data_length];
        answered = i->endpoint->on_get_feature(data);
        if (answered) std::memcpy(buf + 1, data, std::min(length - 1, report_data_length));
    }
    if (!answered || fault == Impl::Fault::delivered) return false;
    buf[0] = 0;
    d_->report_succeeded();
    return true;
}

void SimBus::close(HidHandleId h)
{
    auto& handles = d_->handles;
    const auto it = std::find_if(handles.begin(), handles.end(),
                                 [h](const Impl::OpenHandle& o) { return o.id == h; });
    if (it == handles.end()) return;
    if (d_->interfaces[it->index].claimed_by == h) d_->interfaces[it->index].claimed_by = 0;
    handles.erase(it);
    ++d_->closes;
}
