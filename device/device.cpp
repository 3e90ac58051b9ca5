#include "device/device.h"
#include "define/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>


DeviceIdentity make_app_identity()
{
    DeviceIdentity id;
    id.vendor_id = module_vendor_id;
    id.product_id = module_product_id;
    id.identity_word = app_identity_word;
    return id;
}

DeviceIdentity make_loader_identity()
{
    DeviceIdentity id;
    id.vendor_id = module_vendor_id;
    id.product_id = module_product_id;
    id.identity_word = loader_identity_word;
    return id;
}

std::array<std::uint8_t, report_length> CommandFrame::to_report() const
{
    std::array<std::uint8_t, report_length> r{};
    r[0] = 0;
    r[1] = command_marker;
    r[2] = code;
    put_le32(&r[3], word_a);
    put_le32(&r[7], word_b);
    put_le32(&r[11], word_c);
    return r;
}

bool CommandFrame::from_data(const std::uint8_t* data64, CommandFrame& out)
{
    if (data64[0] != command_marker) return false;
    out.code = data64[1];
    out.word_a = get_le32(data64 + 2);
    out.word_b = get_le32(data64 + 6);
    out.word_c = get_le32(data64 + 10);
    return true;
}

bool send_command(DeviceHandle handle, std::uint8_t code, std::uint32_t word_a,
                  std::uint32_t word_b, std::uint32_t word_c)
{
    if (!handle.valid()) return false;
    const auto report = CommandFrame{code, word_a, word_b, word_c}.to_report();
    return handle.hid->set_feature(handle.id, report.data(), report.size());
}

bool send_data(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length)
{
    std::size_t accepted = 0;
    return send_data(handle, bytes, length, accepted);
}

bool send_data(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length,
               std::size_t& accepted, const TransferProgress& progress)
{
    accepted = 0;
    if (length == 0) return true;
    if (!handle.valid()) return false;
    DataReport report{};
    std::size_t pos = 0;
    while (pos < length) {
        const std::size_t n = std::min(length - pos, report_data_length);
        report.fill(0);
        std::memcpy(&report[1], bytes + pos, n);
        if (!handle.hid->set_feature(handle.id, report.data(), report.size())) return false;
        ++accepted;
        pos += n;
        if (progress) progress(pos, length);
    }
    return true;
}

namespace {

// Refusals a recovery takes before it gives up: one refused report may be a disturbance,
// several in a row mean the module is gone and nothing more can reach it.
constexpr int recovery_refusal_limit = 3;

// Sends the report until it is accepted; false after recovery_refusal_limit refusals.
bool send_until_accepted(DeviceHandle handle, const std::uint8_t* report)
{
    for (int refusals = 0; refusals < recovery_refusal_limit; ++refusals)
        if (handle.hid->set_feature(handle.id, report, report_length)) return true;
    return false;
}

// Ends an abandoned chunk so that the module drops it: zero reports for the data it may still
// count, then an end frame whose sum is 0. A chunk sum is never 0 (0 is sent as 1), so that
// end frame matches neither the begin frame nor any data; to a module that never saw the
// begin frame it is an end without a begin, which it drops as well.
void abandon_chunk(DeviceHandle handle, std::size_t owed, std::uint32_t address, std::uint32_t length)
{
    if (!send_zero_reports(handle, owed)) return;
    const auto end = CommandFrame{cmd_block_end, 0, address, length}.to_report();
    send_until_accepted(handle, end.data());
}

// One chunk: begin frame, data, end frame. On a failure the chunk is abandoned in step and
// false returned. `progress` is told the chunk's data bytes sent.
bool send_chunk(DeviceHandle handle, const std::uint8_t* bytes, std::size_t n, std::uint32_t address,
                const TransferProgress& progress)
{
    const std::uint32_t sum = chunk_sum(bytes, n);
    const auto len32 = static_cast<std::uint32_t>(n);
    const std::size_t reports = data_report_count(n);
    // A begin frame that failed may still have reached the module: all its data are owed.
    if (!send_command(handle, cmd_block_begin, sum, address, len32)) {
        abandon_chunk(handle, reports, address, len32);
        return false;
    }
    std::size_t accepted = 0;
    if (!send_data(handle, bytes, n, accepted, progress)) {
        abandon_chunk(handle, reports - accepted, address, len32);
        return false;
    }
    // The end frame may have reached the module (the chunk is then in) or not (the module
    // waits for it): the zero-sum end frame settles both.
    if (!send_command(handle, cmd_block_end, sum, address, len32)) {
        abandon_chunk(handle, 0, address, len32);
        return false;
    }
    return true;
}

}  // namespace

bool send_zero_reports(DeviceHandle handle, std::size_t owed)
{
    if (!handle.valid()) return false;
    const DataReport zeros{};
    for (std::size_t sent = 0; sent < owed; ++sent)
        if (!send_until_accepted(handle, zeros.data())) return false;
    return true;
}

bool receive_data(DeviceHandle handle, std::uint8_t* destination, std::size_t length,
                  const TransferProgress& progress)
{
    if (!handle.valid()) return false;
    // The module answers a reply whose length is a multiple of 64 (0 included) with one more
    // report; it is read and discarded so that the next exchange starts clean.
    std::size_t remaining = length;
    std::size_t pos = 0;
    DataReport report{};
    for (;;) {
        report.fill(0);
        if (!handle.hid->get_feature(handle.id, report.data(), report.size())) return false;
        const std::size_t n = std::min(remaining, report_data_length);
        if (n > 0) std::memcpy(destination + pos, &report[1], n);  // destination may be null for 0
        pos += n;
        if (progress && n > 0) progress(pos, length);
        if (remaining < report_data_length) return true;
        remaining -= n;
    }
}

std::uint32_t chunk_sum(const std::uint8_t* bytes, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
    return sum == 0 ? 1 : sum;
}

bool write_block(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length,
                 std::uint32_t flash_address, const TransferProgress& progress)
{
    if (length > 0 && !handle.valid()) return false;
    std::size_t pos = 0;
    // The chunk's progress as the whole block's.
    const TransferProgress chunk_progress = [&](std::size_t done, std::size_t) {
        if (progress) progress(pos + done, length);
    };
    while (pos < length) {
        const std::size_t n = std::min(length - pos, block_chunk_size);
        // After a failed chunk the write stops: the module took the abandoned chunk's reports
        // in step, but whether the link still carries anything is unknown, and the read-back
        // tells the caller which chunks are in.
        if (!send_chunk(handle, bytes + pos, n, flash_address, chunk_progress)) return false;
        pos += n;
        flash_address += static_cast<std::uint32_t>(n);
    }
    return true;
}

void close_device(DeviceHandle& handle)
{
    if (handle.valid()) handle.hid->close(handle.id);
    handle = DeviceHandle{};
}

DeviceHandle open_device(Hid& hid, DeviceIdentity& identity)
{
    identity.found = false;
    identity.access_denied = false;
    identity.busy = false;
    std::vector<HidInterfaceInfo> interfaces;
    if (!hid.list_interfaces(interfaces)) return DeviceHandle{};

    for (const auto& info : interfaces) {
        // Ids known from the listing spare foreign devices from being opened at all.
        if (info.ids_known &&
            (info.vendor_id != identity.vendor_id || info.product_id != identity.product_id))
            continue;
        if (info.path.empty()) continue;
        const HidHandleId id = hid.open(info.path);
        if (id == invalid_hid_id) {
            // Only an interface listed with the module's ids tells of the module: without
            // the udev rule every hidraw node refuses, other devices' too.
            if (info.ids_known && hid.open_refused_for_permission()) identity.access_denied = true;
            continue;
        }
        DeviceHandle candidate{&hid, id};

        std::uint16_t vendor = 0, product = 0;
        std::size_t feature_length = 0;
        std::uint8_t reply[identify_reply_length] = {};
        const bool module_shape =
            hid.attributes(id, vendor, product) && vendor == identity.vendor_id &&
            product == identity.product_id && hid.feature_report_length(id, feature_length) &&
            feature_length == report_length;
        // The claim comes before the first report: an interface that another program holds
        // gets none, and tells of a module that is busy rather than absent.
        const HidClaim claim = module_shape ? hid.claim(id) : HidClaim::failed;
        if (claim == HidClaim::busy) identity.busy = true;
        const bool passes = claim == HidClaim::held && send_command(candidate, cmd_identify) &&
                            receive_data(candidate, reply, sizeof reply) &&
                            get_le16(reply) == identity.identity_word;
        if (passes) {
            identity.found = true;
            return candidate;
        }
        close_device(candidate);
    }
    return DeviceHandle{};
}

bool module_listed(Hid& hid, const DeviceIdentity& identity)
{
    std::vector<HidInterfaceInfo> interfaces;
    if (!hid.list_interfaces(interfaces)) return true;
    for (const auto& info : interfaces) {
        if (info.ids_known) {
            if (info.vendor_id == identity.vendor_id && info.product_id == identity.product_id) return true;
            continue;
        }
        if (info.path.empty()) continue;
        const HidHandleId id = hid.open(info.path);
        if (id == invalid_hid_id) continue;
        std::uint16_t vendor = 0, product = 0;
        const bool match = hid.attributes(id, vendor, product) && vendor == identity.vendor_id &&
                           product == identity.product_id;
        hid.close(id);
        if (match) return true;
    }
    return false;
}
