#include "cli/traffic_tap.h"

#include "define/hex_text.h"

#include <algorithm>
#include <array>
#include <ctime>

#include <nlohmann/json.hpp>

#include "define/byte_order.h"
#include "define/define.h"
#include "cli/platform.h"

namespace {

// UTC time with milliseconds, as ISO 8601: 2026-12-08T13:24:00.123Z.
std::string timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::tm utc = utc_time(seconds);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms % 1000));
    return text;
}

std::string hex(const std::uint8_t* bytes, std::size_t length)
{
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) append_hex(text, bytes[i], 2, HexCase::lower);
    return text;
}

// Data bytes that follow a frame, as its words announce them.
std::size_t announced_data(std::uint8_t code, std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    switch (code) {
    case cmd_block_begin: return c;
    case cmd_ram_write_begin: return b;
    case cmd_update: return a;  // 0 when the application is asked to hand over
    default: return 0;
    }
}

}  // namespace

std::string command_name(std::uint8_t code)
{
    switch (code) {
    case cmd_identify: return "cmd_identify";
    case cmd_get_status: return "cmd_get_status";
    case cmd_update: return "cmd_update";
    case cmd_get_loader_info: return "cmd_get_loader_info";
    case cmd_block_end: return "cmd_block_end";
    case cmd_block_begin: return "cmd_block_begin";
    case cmd_read_flash: return "cmd_read_flash";
    case cmd_cpu_stop: return "cmd_cpu_stop";
    case cmd_restart: return "cmd_restart";
    case cmd_bus_write: return "cmd_bus_write";
    case cmd_bus_read: return "cmd_bus_read";
    case cmd_cpu_start: return "cmd_cpu_start";
    case cmd_ram_read: return "cmd_ram_read";
    case cmd_ram_write_begin: return "cmd_ram_write_begin";
    case cmd_ram_write_end: return "cmd_ram_write_end";
    case cmd_ext_dac_on: return "cmd_ext_dac_on";
    case cmd_ext_dac_off: return "cmd_ext_dac_off";
    case cmd_ea_read_inputs: return "cmd_ea_read_inputs";
    case cmd_ea_read_outputs: return "cmd_ea_read_outputs";
    default: return "cmd_" + std::to_string(code);
    }
}

TrafficTap::TrafficTap(Hid& inner, std::ostream* log) : ForwardingHid(inner), log_(log) {}

HidHandleId TrafficTap::open(const std::string& path)
{
    const HidHandleId h = inner_.open(path);
    if (h != invalid_hid_id) handles_[h] = HandleState{path, 0, 0};
    return h;
}

bool TrafficTap::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
{
    const bool accepted = inner_.set_feature(h, buf, length);
    ++reports_;
    HandleState& s = handles_[h];
    if (s.data_due > 0) {
        write_line("out", "data", s, buf, length, accepted, nullptr);
        s.data_due -= std::min(s.data_due, report_data_length);
    } else if (length >= 15 && buf[1] == command_marker) {
        const std::uint32_t words[3] = {get_le32(buf + 3), get_le32(buf + 7), get_le32(buf + 11)};
        s.last_code = buf[2];
        write_line("out", "frame", s, buf, length, accepted, words);
        // Data follows only a frame the module took; a refused frame announces nothing.
        s.data_due = accepted ? announced_data(buf[2], words[0], words[1], words[2]) : 0;
    } else {
        write_line("out", "unframed", s, buf, length, accepted, nullptr);
    }
    return accepted;
}

bool TrafficTap::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    const bool accepted = inner_.get_feature(h, buf, length);
    ++reports_;
    write_line("in", "reply", handles_[h], buf, length, accepted, nullptr);
    return accepted;
}

void TrafficTap::close(HidHandleId h)
{
    handles_.erase(h);
    inner_.close(h);
}

void TrafficTap::write_line(const char* direction, const char* kind, HandleState& s,
                            const std::uint8_t* buf, std::size_t length, bool accepted,
                            const std::uint32_t* words)
{
    const std::string command = s.last_code == 0 && words == nullptr ? "" : command_name(s.last_code);
    if (!accepted) {
        const bool in = std::string(direction) == "in";
        last_refusal_ = "report " + std::to_string(reports_) + ", " +
                        (words != nullptr ? "frame " + command
                                          : std::string(kind) + (command.empty() ? "" : (in ? " to " : " of ") + command)) +
                        (in ? ", not received" : ", not accepted");
    }
    if (log_ == nullptr) return;
    nlohmann::ordered_json line;
    line["time"] = timestamp();
    line["device"] = s.path;
    line["direction"] = direction;
    line["kind"] = kind;
    line["command"] = command;
    if (words != nullptr) line["words"] = {words[0], words[1], words[2]};
    line["bytes"] = hex(buf, length);
    line["result"] = accepted ? "ok" : "refused";
    *log_ << line.dump() << '\n';
    log_->flush();  // a support log must hold the last report before a crash or a kill
}
