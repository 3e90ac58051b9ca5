// The module's wire protocol over HID feature reports: command frames, data reports, the
// summed block write to flash, and discovery of the module by its identity word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "Hid.h"
#include "define/define.h"

// An open module interface for the duration of one action. The invalid handle (id with all
// bits set) means that no module was found.
struct DeviceHandle {
    Hid* hid = nullptr;
    HidHandleId id = invalid_hid_id;
    bool valid() const { return hid != nullptr && id != invalid_hid_id; }
};
constexpr DeviceHandle invalid_device_handle{};

// One form of the module (its application or its loader) and what the last search found.
struct DeviceIdentity {
    bool found = false;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t identity_word = 0;
    std::uint32_t loader_version = 0;    // loader identity only, filled by the status monitor
    std::uint32_t firmware_version = 0;  // filled by the status monitor
    // The latest search listed an interface with these ids that could not be opened for lack
    // of permission: the module is there, the tool may not use it.
    bool access_denied = false;
    // The latest search met an interface with the module's ids that another program holds:
    // the module may be there, busy; nothing was sent to it.
    bool busy = false;
};

// The two forms as the tool knows them at start; `found` false.
DeviceIdentity make_app_identity();
DeviceIdentity make_loader_identity();

// A command as the caller describes it; laid out into a 65-byte frame by send_command.
struct CommandFrame {
    std::uint8_t code = 0;
    std::uint32_t word_a = 0;
    std::uint32_t word_b = 0;
    std::uint32_t word_c = 0;

    // Report id 0, marker 0x55, code, the three words little-endian, 50 zero bytes.
    std::array<std::uint8_t, report_length> to_report() const;
    // Reads a frame back from a report's 64 data bytes; false when the marker is missing.
    static bool from_data(const std::uint8_t* data64, CommandFrame& out);
};

// One feature report of data: report id 0 and 64 data bytes.
using DataReport = std::array<std::uint8_t, report_length>;

// Searches the present interfaces for the given form of the module, in the platform's order,
// and returns an open handle to the first that passes every check; sets identity.found.
DeviceHandle open_device(Hid& hid, DeviceIdentity& identity);
// Whether an interface with the identity's vendor and product ids is on the bus. Sends no
// report: the listing tells, or, where it names no ids, the opened interface's attributes. A
// listing that fails counts as the module still there.
bool module_listed(Hid& hid, const DeviceIdentity& identity);
// Closes the handle (if valid) and makes it invalid.
void close_device(DeviceHandle& handle);

// Told after each report of a transfer's data: the bytes moved so far and the transfer's total.
// A front end draws its progress from it; nothing on the wire depends on it.
using TransferProgress = std::function<void(std::size_t done, std::size_t total)>;

bool send_command(DeviceHandle handle, std::uint8_t code, std::uint32_t word_a = 0,
                  std::uint32_t word_b = 0, std::uint32_t word_c = 0);
bool send_data(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length);
// As send_data; `accepted` is the number of reports accepted before the one that failed (all
// of them on success).
bool send_data(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length,
               std::size_t& accepted, const TransferProgress& progress = {});
bool receive_data(DeviceHandle handle, std::uint8_t* destination, std::size_t length,
                  const TransferProgress& progress = {});

// The data reports a block of `length` bytes takes: 64 bytes each, the last one the rest.
constexpr std::size_t data_report_count(std::size_t length)
{
    return (length + report_data_length - 1) / report_data_length;
}

// Brings the module back in step after a data report of an announced transfer failed. A
// failed report may or may not have reached the module, so the module counts `owed` or
// owed - 1 more reports as data. All-zero reports are sent until `owed` were accepted: the
// module takes them as data, and one too many arrives where a frame is due and, having no
// marker, is ignored. No command starts with 0x00, so nothing here is ever a command. False
// when the link gave up (refusal after refusal: the module is gone).
bool send_zero_reports(DeviceHandle handle, std::size_t owed);

// Summed block write to flash in chunks of 2048 bytes. A chunk whose frame or data report
// fails is abandoned in step (see write_block in device.cpp) and no later chunk is sent;
// returns true only when every frame and data report was accepted.
bool write_block(DeviceHandle handle, const std::uint8_t* bytes, std::size_t length,
                 std::uint32_t flash_address, const TransferProgress& progress = {});

// Chunk sum of the summed block write: byte sum in 32 bits, 0 replaced by 1.
std::uint32_t chunk_sum(const std::uint8_t* bytes, std::size_t length);
