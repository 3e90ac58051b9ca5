// The wire sequences of the module's actions.
#include "module/actions.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "define/byte_order.h"
#include "define/hex_text.h"
#include "module/exchange_sequence.h"

namespace {

ActionResult not_found() { return {ActionFailure::not_found, 0, "module not found"}; }


ActionResult single(DeviceHandle h, const char* what, std::uint8_t code)
{
    ExchangeSequence s(h);
    if (s.found()) s.command(what, code);
    return s.result();
}

}  // namespace

std::uint32_t config_block_sum(const ConfigBlock& block)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < params_summed_bytes; ++i) sum += block[i];
    return sum;
}

bool config_block_checksum_ok(const ConfigBlock& block)
{
    return config_block_sum(block) == get_le32(&block[params_checksum_offset]);
}

void renew_config_checksum(ConfigBlock& block)
{
    put_le32(&block[params_checksum_offset], config_block_sum(block));
}

ActionResult read_config_block(DeviceHandle h, ConfigBlock& block)
{
    // A scratch copy: a read that did not complete must not stand in for the module's block.
    ConfigBlock scratch{};
    const ActionResult r = read_flash_image(h, flash_config_address, scratch);
    if (r) block = scratch;
    return r;
}

std::vector<std::uint8_t> config_page(const ConfigBlock& block)
{
    std::vector<std::uint8_t> page(flash_page_size, erased_flash_byte);
    std::copy(block.begin(), block.end(), page.begin());
    return page;
}

ActionResult write_config_block(DeviceHandle h, const ConfigBlock& block, const TransferProgress& progress)
{
    return write_flash_image(h, flash_config_address, config_page(block), progress);
}

VerifiedWrite write_config_block_verified(DeviceHandle h, const ConfigBlock& block)
{
    return write_flash_verified(h, flash_config_address, config_page(block));
}

ActionResult read_flash_image(DeviceHandle h, std::uint32_t address, std::span<std::uint8_t> out,
                              const TransferProgress& progress)
{
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    std::vector<std::uint8_t> scratch(out.size());
    if (s.command("read flash", cmd_read_flash, address, static_cast<std::uint32_t>(out.size())) &&
        s.reply("flash contents", scratch.data(), scratch.size(), progress))
        std::copy(scratch.begin(), scratch.end(), out.begin());
    return s.result();
}

ActionResult write_flash_image(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image,
                               const TransferProgress& progress)
{
    ExchangeSequence s(h);
    if (s.found()) s.block("summed flash write", image.data(), image.size(), address, progress);
    return s.result();
}

VerifyResult verify_flash(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> expected,
                          const TransferProgress& progress)
{
    VerifyResult v;
    std::vector<std::uint8_t> actual(expected.size());
    v.outcome = read_flash_image(h, address, actual, progress);
    if (!v.outcome) return v;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual[i] == expected[i]) continue;
        if (v.differing_bytes++ > 0) continue;
        v.first_difference = address + static_cast<std::uint32_t>(i);
        v.written_byte = expected[i];
        v.read_byte = actual[i];
    }
    if (v.differing_bytes > 0) {
        v.outcome.failure = ActionFailure::mismatch;
        v.outcome.text = std::to_string(v.differing_bytes) + " bytes differ from the written ones, the first at 0x" +
                      hex_text(v.first_difference, 8);
    }
    return v;
}

VerifiedWrite write_flash_verified(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image)
{
    VerifiedWrite w;
    w.write = write_flash_image(h, address, image);
    if (w.write)
        w.verify = verify_flash(h, address, image);
    else
        w.verify = note_unwritten(h, address, image, w.write);
    return w;
}

VerifyResult note_unwritten(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image,
                            ActionResult& write)
{
    if (write.failure != ActionFailure::refused) return {};
    const VerifyResult v = verify_flash(h, address, image);
    if (v.outcome.failure == ActionFailure::mismatch)
        write.text += "; read back: " + std::to_string(v.differing_bytes) + " of " +
                      std::to_string(image.size()) + " bytes not as written, the first at 0x" +
                      hex_text(v.first_difference, 8);
    else if (v.outcome)
        write.text += "; read back: the flash holds every byte as written";
    else
        write.text += "; the read-back failed too";
    return v;
}

ActionResult write_ram_image(DeviceHandle h, std::span<const std::uint8_t> image, std::uint32_t bank,
                             const TransferProgress& progress)
{
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    const auto size = static_cast<std::uint32_t>(image.size());
    // A CNC that could not be stopped keeps running on untouched RAM.
    if (!s.command("CNC stop", cmd_cpu_stop)) return s.result();
    std::size_t accepted = 0;
    const bool sent = s.command("RAM write begin", cmd_ram_write_begin, 0, size) &&
                      s.data("RAM image", image.data(), image.size(), accepted, progress);
    if (sent) {
        s.command("RAM store in bank", cmd_ram_write_end, bank, size);
    } else if (!send_zero_reports(h, data_report_count(image.size()) - accepted)) {
        // The module may still count data reports: a restart frame now could be taken as RAM.
        s.explain("the link gave up; the RAM may hold part of the image, no bank took it, the CNC stays stopped");
        return s.result();
    }
    // A partial image is never stored: a bank takes only a completely received one. The
    // restart brings the CNC back also after a failed transfer, from the main bank's image.
    const bool restarted = s.command("module restart", cmd_restart);
    if (!sent)
        s.explain(restarted ? "no bank took the image; the module restarted with the main bank's image in RAM"
                            : "no bank took the image; the RAM may hold part of it, the CNC stays stopped");
    return s.result();
}

ActionResult read_ram_image(DeviceHandle h, std::span<std::uint8_t> out, bool start_after,
                            const TransferProgress& progress)
{
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    std::vector<std::uint8_t> scratch(out.size());
    // The CNC is held while its RAM is read, so the image is one consistent snapshot; a
    // refused stop leaves the read undone.
    const bool read = s.command("CNC stop", cmd_cpu_stop) &&
                      s.command("RAM read", cmd_ram_read, 0, static_cast<std::uint32_t>(out.size())) &&
                      s.reply("RAM contents", scratch.data(), scratch.size(), progress);
    ActionResult r = s.result();
    if (read) std::copy(scratch.begin(), scratch.end(), out.begin());
    // The start after a complete read is a step of its own: its refusal leaves the image good.
    if (start_after && !send_command(h, cmd_cpu_start) && read) {
        r.follow_up_refused = true;
        r.text = "CNC start after the read refused";
    }
    return r;
}

ActionResult write_registers(DeviceHandle h, std::span<const BusWrite> writes)
{
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    for (const BusWrite& w : writes) s.command("register write", cmd_bus_write, w.address, w.value);
    return s.result();
}

ActionResult read_registers(DeviceHandle h, std::span<const std::uint16_t> addresses,
                            std::vector<RegisterReading>& readings)
{
    readings.clear();
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    std::array<std::uint8_t, bus_reply_length> reply{};
    for (const std::uint16_t address : addresses) {
        RegisterReading r{address, 0, false};
        if (s.command("register read", cmd_bus_read, address) &&
            s.reply("register value", reply.data(), reply.size())) {
            r.value = get_le16(reply.data());
            r.valid = true;
        }
        readings.push_back(r);
    }
    return s.result();
}

ActionResult stop_cnc(DeviceHandle h) { return single(h, "CNC stop", cmd_cpu_stop); }
ActionResult start_cnc(DeviceHandle h) { return single(h, "CNC start", cmd_cpu_start); }
ActionResult restart_module(DeviceHandle h) { return single(h, "module restart", cmd_restart); }
ActionResult read_controller_words(DeviceHandle h, bool outputs, std::array<std::uint16_t, 4>& words)
{
    ExchangeSequence s(h);
    if (!s.found()) return s.result();
    std::array<std::uint8_t, bus_reply_length> reply{};
    if (s.command(outputs ? "controller outputs read" : "controller inputs read",
                  outputs ? cmd_ea_read_outputs : cmd_ea_read_inputs) &&
        s.reply("controller words", reply.data(), reply.size()))
        for (std::size_t i = 0; i < words.size(); ++i) words[i] = get_le16(&reply[2 * i]);
    return s.result();
}

ActionResult set_external_dac(DeviceHandle h, bool on)
{
    return on ? single(h, "external DAC on", cmd_ext_dac_on) : single(h, "external DAC off", cmd_ext_dac_off);
}
ActionResult hand_over_to_loader(DeviceHandle h) { return single(h, "hand-over to the loader", cmd_update); }

ActionResult stream_update_image(DeviceHandle h, std::span<const std::uint8_t> image,
                                 const TransferProgress& progress)
{
    if (!h.valid()) return not_found();
    if (image.empty()) return {ActionFailure::bad_input, 0, "empty update image"};
    ExchangeSequence s(h);
    const std::size_t length = image.size();
    const auto length32 = static_cast<std::uint32_t>(length);
    if (s.command("update announcement", cmd_update, length32, length32 / 65536, 0)) {
        std::size_t sent = 0;
        std::size_t piece = 0;
        do {
            piece = std::min(length - sent, update_piece_size);
            if (!s.data("update piece", image.data() + sent, piece)) break;
            sent += piece;
            if (progress) progress(sent, length);
        } while (piece == update_piece_size);
    }
    ActionResult r = s.result();
    // A refused announcement or piece may still have reached the loader, which then waits for
    // the rest. Filling it up with anything but the image would have it install a broken
    // firmware, and resending could repeat a piece: the loader is left waiting.
    if (!r.ok()) {
        r.awaits_data = true;
        r.text += "; the loader may still wait for image bytes: restart the module before anything else is sent to it";
    }
    return r;
}
