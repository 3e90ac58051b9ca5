// A decorator of the Hid seam that sees every feature report exchanged with the module,
// whatever action sends it: it writes the support log (one JSON line per report) and keeps the
// last report the device refused, for the command's failure line.
//
// A written report is a command frame, or data announced by the frame before it
// (cmd_block_begin: word_c bytes, cmd_ram_write_begin: word_b bytes, cmd_update with a length:
// word_a bytes); a read report is (part of) the reply to the last frame on that handle. The
// tap follows that order per handle, so a data report whose first byte happens to be 0x55 is
// still logged as data.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "device/forwarding_hid.h"

// Name of a command code as the protocol names it ("cmd_read_flash"); "cmd_<code>" for codes
// the tool does not use.
std::string command_name(std::uint8_t code);

class TrafficTap : public ForwardingHid {
public:
    // `log` may be null (no support log). Reports are passed on to `inner` unchanged.
    TrafficTap(Hid& inner, std::ostream* log);

    // The last report the device refused, in words ("report 37, data of cmd_block_begin, not
    // accepted"); empty while none was.
    const std::string& last_refusal() const { return last_refusal_; }
    void forget_refusal() { last_refusal_.clear(); }

    HidHandleId open(const std::string& path) override;
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override;
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override;
    void close(HidHandleId h) override;

private:
    struct HandleState {
        std::string path;
        std::uint8_t last_code = 0;   // frame the next data or reply belongs to
        std::size_t data_due = 0;     // announced data bytes still to be written
    };
    void write_line(const char* direction, const char* kind, HandleState& s,
                    const std::uint8_t* buf, std::size_t length, bool accepted,
                    const std::uint32_t* words);

    std::ostream* log_;
    std::map<HidHandleId, HandleState> handles_;
    std::size_t reports_ = 0;  // exchanged so far, refused ones included
    std::string last_refusal_;
};
