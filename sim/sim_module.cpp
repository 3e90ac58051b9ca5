// The simulated module's protocol engine. It keeps the module's memories and answers the
// command set the way the real module's application and loader do, one 64-byte feature
// payload at a time; the CNC bus behind the bus commands is sim/cnc_bus.cpp.
//
// Conventions of the simulation (where the real module's behaviour is not observable by the
// tool, a plain and predictable choice is made):
// - A command with a reply replaces any reply still pending; a command without a reply drops
//   it. Reads return the pending reply 64 bytes per report, zero padded, and 64 zero bytes
//   when nothing is pending, so the extra report after a reply of 64·k bytes reads zeros.
// - The module frames by order alone. After cmd_block_begin, cmd_ram_write_begin and
//   cmd_update to the loader, every written report is data, whatever its first byte, until
//   the announced count has arrived. After a summed chunk's data the next frame is taken as
//   the chunk's end frame, whatever its code; a report without the marker 0x55 where a frame
//   is due is a stray report and is ignored. placements() logs where each report went.
// - cmd_read_flash and cmd_ram_read answer the announced length; bytes outside the memory
//   read as zero. Replies are limited to reply_limit bytes; reads past that return zeros,
//   which the tool cannot tell from a longer reply of zeros.
// - A summed chunk is committed only when cmd_block_end repeats cmd_block_begin's words,
//   every data byte arrived, the byte sum (0 counted as 1) matches and the range lies inside
//   the flash. Anything else (a bad sum, a lone end frame, another command between the data
//   and the end frame, taken as the end frame, a range outside the flash) drops the chunk and
//   counts it as rejected.
// - cmd_restart counts the restart, stops any transfer in progress, switches the external DAC
//   mode off, starts the CNC processor and restores RAM from the main non-volatile bank (the
//   module boots from that bank).
// - Commands meant for the other form (for instance cmd_read_flash to the loader) are logged
//   and otherwise ignored.
// - A transfer to the application that stops short (the tool's send failed, the device was
//   unplugged) is abandoned after transfer_timeout_ms of simulated time without a written
//   report, as a firmware receive time-out would; until then every report still counts as
//   its data, and a chunk whose data are in still takes the next frame as its end. The loader
//   has no such time-out: an image cut short keeps it waiting for the rest until it is
//   power-cycled.
#include "sim/sim_module.h"

#include <algorithm>
#include <cstring>

#include "define/byte_order.h"
#include "device/device.h"

namespace {

constexpr std::size_t flash_size = flash_end_address - flash_rom_address;
constexpr std::size_t reply_limit = 65536;
// The loader keeps at most an image as large as the controller's whole flash.
constexpr std::size_t update_image_limit = 256 * 1024;
constexpr std::size_t command_log_limit = 65536;
constexpr std::size_t placement_log_limit = 65536;
constexpr std::uint64_t transfer_timeout_ms = 1000;

constexpr std::uint8_t default_config_block[params_size] = {0x04, 0x01, 0x01, 0x00, 0x01, 0x04,
                                                           0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};

}  // namespace

SimModule::SimModule()
{
    std::memcpy(&flash_[flash_config_address - flash_rom_address], default_config_block, params_size);
    chunk_.reserve(block_chunk_size);
    reply_.reserve(ram_size);
}

void SimModule::advance_ms(std::uint32_t ms)
{
    bus_.advance(ms, cpu_running_);
    // A transfer to the application that stopped short is abandoned, as a firmware receive
    // time-out would.
    if (form_ == Form::application && mid_exchange() &&
        bus_.time_ms() - last_report_ms_ >= transfer_timeout_ms)
        abandon_transfer();
}

void SimModule::abandon_transfer()
{
    reject_open_chunk();
    awaiting_end_ = false;
    update_image_.clear();
    inbound_ = Inbound::none;
}

void SimModule::power_cycle()
{
    abandon_transfer();
    reply_.clear();
    reply_pos_ = 0;
    if (form_ == Form::application) {
        ext_dac_ = false;
        cpu_running_ = true;
        ram_ = bank_main_;
    }
}

std::uint8_t* SimModule::flash_at(std::uint32_t address)
{
    if (address < flash_rom_address || address >= flash_end_address) return nullptr;
    return flash_.data() + (address - flash_rom_address);
}

std::uint8_t* SimModule::ram_bank(std::uint32_t selector)
{
    if (selector == ram_bank_main) return bank_main_.data();
    if (selector == ram_bank_reserve) return bank_reserve_.data();
    return nullptr;
}

// --- replies ---

std::uint8_t* SimModule::start_reply(std::size_t length)
{
    reply_.assign(std::min(length, reply_limit), 0);
    reply_pos_ = 0;
    return reply_.data();
}

// Reply of `length` bytes read from `memory`, which lies at `base` in its address space;
// bytes outside it read as zero.
void SimModule::reply_from(const std::vector<std::uint8_t>& memory, std::uint64_t base,
                           std::uint64_t address, std::size_t length)
{
    std::uint8_t* out = start_reply(length);
    const std::uint64_t lo = std::max(address, base);
    const std::uint64_t hi = std::min(address + reply_.size(), base + memory.size());
    if (lo < hi) std::memcpy(out + (lo - address), memory.data() + (lo - base), hi - lo);
}

// --- commands ---

void SimModule::log_command(const CommandFrame& f)
{
    if (log_.size() >= command_log_limit)
        log_.erase(log_.begin(), log_.begin() + command_log_limit / 2);
    log_.push_back(SimCommand{f.code, f.word_a, f.word_b, f.word_c, form_ == Form::loader});
}

void SimModule::log_placement(SimPlacement placement, const std::uint8_t* data64)
{
    if (placements_.size() >= placement_log_limit)
        placements_.erase(placements_.begin(), placements_.begin() + placement_log_limit / 2);
    placements_.push_back(SimReport{placement, data64[0], data64[1], form_ == Form::loader});
}

void SimModule::reject_open_chunk()
{
    awaiting_end_ = false;
    if (chunk_open_) {
        chunk_open_ = false;
        ++chunks_rejected_;
    }
}

void SimModule::expect(Inbound kind, std::size_t total)
{
    inbound_ = total == 0 ? Inbound::none : kind;
    inbound_total_ = total;
    inbound_received_ = 0;
}

void SimModule::command(const CommandFrame& f)
{
    log_command(f);
    reply_.clear();
    reply_pos_ = 0;
    if (f.code != cmd_block_end) reject_open_chunk();

    if (f.code == cmd_identify) {
        const std::uint16_t word = identity_overridden_ ? identity_override_
                                   : form_ == Form::application ? app_identity_word
                                                               : loader_identity_word;
        put_le16(start_reply(identify_reply_length), word);
        return;
    }
    if (form_ == Form::loader)
        loader_command(f);
    else
        application_command(f);
}

void SimModule::loader_command(const CommandFrame& f)
{
    switch (f.code) {
    case cmd_get_status:
        put_le32(start_reply(loader_word_reply_length), loader_version_);
        break;
    case cmd_get_loader_info:
        put_le32(start_reply(loader_word_reply_length), firmware_version_);
        break;
    case cmd_update:
        // The length comes from word_a; word_b (its 64 KiB part) is only logged.
        update_image_.clear();
        expect(Inbound::update, f.word_a);
        break;
    default:
        break;
    }
}

void SimModule::application_command(const CommandFrame& f)
{
    switch (f.code) {
    case cmd_get_status: {
        std::uint8_t* r = start_reply(app_status_reply_length);
        put_le32(r, firmware_version_);
        r[4] = cpu_running_ ? 1 : 0;
        r[5] = ext_dac_ ? 1 : 0;
        break;
    }
    case cmd_update:
        form_ = Form::loader;
        break;
    case cmd_block_begin:
        chunk_open_ = true;
        chunk_begin_ = f;
        chunk_sum_ = 0;
        chunk_.clear();
        expect(Inbound::block, f.word_c);
        awaiting_end_ = inbound_ == Inbound::none;  // a chunk of no bytes waits for its end
        break;
    case cmd_block_end:
        finish_chunk(f);
        break;
    case cmd_read_flash:
        reply_from(flash_, flash_rom_address, f.word_a, f.word_b);
        break;
    case cmd_cpu_stop:
        cpu_running_ = false;
        break;
    case cmd_cpu_start:
        cpu_running_ = true;
        break;
    case cmd_restart:
        ++restarts_;
        expect(Inbound::none, 0);
        ext_dac_ = false;
        cpu_running_ = true;
        ram_ = bank_main_;
        break;
    case cmd_bus_write:
        bus_.write(static_cast<std::uint16_t>(f.word_a), static_cast<std::uint16_t>(f.word_b));
        break;
    case cmd_bus_read:
        if (f.word_a <= 0xFFFF)
            put_le16(start_reply(bus_reply_length),
                    bus_.read(static_cast<std::uint16_t>(f.word_a)));
        else
            start_reply(bus_reply_length);
        break;
    case cmd_ram_read:
        reply_from(ram_, 0, f.word_a, f.word_b);
        break;
    case cmd_ram_write_begin:
        inbound_offset_ = f.word_a;
        expect(Inbound::ram, f.word_b);
        break;
    case cmd_ram_write_end: {
        std::vector<std::uint8_t>* bank = f.word_a == ram_bank_main      ? &bank_main_
                                          : f.word_a == ram_bank_reserve ? &bank_reserve_
                                                                         : nullptr;
        if (bank) std::copy_n(ram_.begin(), std::min<std::size_t>(f.word_b, ram_size), bank->begin());
        break;
    }
    case cmd_ext_dac_on:
        ext_dac_ = true;
        break;
    case cmd_ext_dac_off:
        ext_dac_ = false;
        break;
    case cmd_ea_read_inputs: {
        std::uint8_t* r = start_reply(bus_reply_length);
        for (std::size_t i = 0; i < 4; ++i) put_le16(r + 2 * i, bus_.ea_inputs()[i]);
        break;
    }
    case cmd_ea_read_outputs: {
        std::uint8_t* r = start_reply(bus_reply_length);
        put_le16(r, bus_.ea_outputs()[0]);
        put_le16(r + 2, bus_.ea_outputs()[1]);
        break;
    }
    default:
        break;
    }
}

void SimModule::finish_chunk(const CommandFrame& end)
{
    awaiting_end_ = false;
    if (!chunk_open_) {
        ++chunks_rejected_;  // an end frame without its begin frame
        return;
    }
    chunk_open_ = false;
    const CommandFrame& b = chunk_begin_;
    const std::uint32_t sum = chunk_sum_ == 0 ? 1 : chunk_sum_;
    const std::uint64_t start = b.word_b;
    const std::uint64_t stop = start + b.word_c;
    const bool ok = end.word_a == b.word_a && end.word_b == b.word_b &&
                    end.word_c == b.word_c && chunk_.size() == b.word_c && sum == b.word_a &&
                    start >= flash_rom_address && stop <= flash_end_address;
    if (!ok) {
        ++chunks_rejected_;
        return;
    }
    std::memcpy(flash_.data() + (start - flash_rom_address), chunk_.data(), chunk_.size());
    ++chunks_committed_;
}

// --- data reports ---

void SimModule::data(const std::uint8_t* data64)
{
    const std::size_t n = std::min(inbound_total_ - inbound_received_, report_data_length);
    switch (inbound_) {
    case Inbound::block:
        for (std::size_t i = 0; i < n; ++i) chunk_sum_ += data64[i];
        if (chunk_.size() + n <= flash_size) chunk_.insert(chunk_.end(), data64, data64 + n);
        break;
    case Inbound::ram: {
        const std::uint64_t at = std::uint64_t{inbound_offset_} + inbound_received_;
        if (at < ram_size)
            std::memcpy(ram_.data() + at, data64,
                        std::min<std::uint64_t>(n, ram_size - at));
        break;
    }
    case Inbound::update:
        if (update_image_.size() + n <= update_image_limit)
            update_image_.insert(update_image_.end(), data64, data64 + n);
        break;
    case Inbound::none:
        return;
    }
    inbound_received_ += n;
    if (inbound_received_ < inbound_total_) return;

    const Inbound done = inbound_;
    inbound_ = Inbound::none;
    if (done == Inbound::block) awaiting_end_ = true;
    if (done == Inbound::update) finish_update();
}

void SimModule::finish_update()
{
    // An image larger than the controller's flash_ cannot be installed: the loader stays.
    if (update_image_.size() != inbound_total_) {
        update_image_.clear();
        return;
    }
    last_update_image_.swap(update_image_);
    update_image_.clear();
    firmware_version_ = firmware_after_update_;
    ++updates_completed_;
    form_ = Form::application;
    cpu_running_ = true;
    ext_dac_ = false;
}

bool SimModule::on_set_feature(const std::uint8_t* data64)
{
    last_report_ms_ = bus_.time_ms();
    if (inbound_ != Inbound::none) {
        log_placement(SimPlacement::data, data64);
        data(data64);
        return true;
    }
    CommandFrame f;
    if (!CommandFrame::from_data(data64, f)) {
        // A report without the marker where a frame is due carries nothing for the module.
        log_placement(SimPlacement::stray, data64);
        return true;
    }
    if (awaiting_end_) {
        // Whatever frame follows a chunk's data is its end frame: another command there is
        // not acted on, and the chunk is dropped.
        log_placement(SimPlacement::end_frame, data64);
        log_command(f);
        reply_.clear();
        reply_pos_ = 0;
        if (f.code == cmd_block_end)
            finish_chunk(f);
        else
            reject_open_chunk();
        return true;
    }
    log_placement(SimPlacement::command, data64);
    command(f);
    return true;
}

bool SimModule::on_get_feature(std::uint8_t* data64)
{
    if (reply_pos_ >= reply_.size()) {
        std::memset(data64, 0, report_data_length);
        return true;
    }
    const std::size_t n = std::min(reply_.size() - reply_pos_, report_data_length);
    std::memcpy(data64, reply_.data() + reply_pos_, n);
    if (n < report_data_length) std::memset(data64 + n, 0, report_data_length - n);
    reply_pos_ += n;
    return true;
}
