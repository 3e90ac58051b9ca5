// The module commands of lirvan-cli: each holds the module once, runs the module actions it
// needs, checks what it wrote by reading it back, and prints one result.
#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "app/value_formats.h"
#include "app/image_files.h"
#include "app/texts.h"
#include "cli/checksums.h"
#include "define/byte_order.h"
#include "define/hex_text.h"
#include "cli/exit_codes.h"
#include "cli/files.h"
#include "define/utf8_path.h"
#include "comport/comport.h"
#include "module/actions.h"
#include "module/config_settings.h"
#include "module/memories.h"

std::string hex32(std::uint32_t value) { return "0x" + hex_text(value, 8); }


namespace {

std::string hex_byte(std::uint8_t b) { return hex_text(b, 2); }

Json file_checks(const std::vector<std::uint8_t>& bytes)
{
    Json j;
    j["size"] = bytes.size();
    j["sum"] = byte_sum(bytes);
    j["crc32"] = crc32_text(crc32_of(bytes));
    return j;
}

std::string checks_text(const std::vector<std::uint8_t>& bytes)
{
    return std::to_string(bytes.size()) + " bytes, sum " + std::to_string(byte_sum(bytes)) +
           ", CRC-32 " + crc32_text(crc32_of(bytes));
}

// A file that must be exactly `size` bytes: an image for a write, a lane of a chip.
std::vector<std::uint8_t> load_exact(const std::string& file, std::size_t size, const std::string& what)
{
    std::vector<std::uint8_t> bytes = read_whole_file(utf8_path(file));
    if (bytes.size() != size)
        throw CliFailure(exit_file_problem, file + ": " + std::to_string(bytes.size()) +
                                                " bytes, " + what + " is " + std::to_string(size) +
                                                " bytes");
    return bytes;
}

// Puts a chip's byte lane file (exactly its lane's length) into its words of the image, as
// the window loads it: byte k is the low (or high) byte of word first_word + k.
void merge_lane(std::vector<std::uint8_t>& image, const std::string& file, const MemoryLane& lane)
{
    load_exact(file, lane.length, std::string("the ") + lane.chip + " lane");
    std::string error = load_lane(file, image, lane.first_word, lane.length, lane.lane);
    std::replace(error.begin(), error.end(), '\n', ' ');
    if (!error.empty()) throw CliFailure(exit_file_problem, error);
}

std::uint16_t parse_octal(const std::string& text, const char* what)
{
    try {
        return OctToWord(text);
    } catch (const ConversionError&) {
        throw CliFailure(exit_usage, std::string(what) + " \"" + text +
                                         "\" is not an octal number 0..177777");
    }
}

}  // namespace

std::vector<std::uint8_t> image_for_write(const WriteOptions& o)
{
    const MemoryInfo& info = memory_info(o.memory);
    if (!o.file.empty()) return load_exact(o.file, info.size, std::string("the ") + info.name + " image");
    std::vector<std::uint8_t> image(info.size, 0xFF);
    for (std::size_t i = 0; i < info.lanes.size(); ++i) merge_lane(image, o.lane_files[i], info.lanes[i]);
    return image;
}

std::uint32_t bank_selector(const std::string& bank)
{
    return bank == "reserve" ? ram_bank_reserve : ram_bank_main;
}

// Reads one memory on the held module into a new buffer. The RAM read holds the CNC and starts
// it again only when it was running.
std::vector<std::uint8_t> read_memory(ModuleLink& link, Memory m)
{
    const MemoryInfo& info = memory_info(m);
    std::vector<std::uint8_t> bytes(info.size);
    const std::string what = std::string("reading ") + info.name;
    const TransferProgress progress = link.begin_transfer(what);
    const ActionResult r = read_memory(link.handle(), m, bytes, link.status().running != 0, progress);
    link.end_transfer();
    link.check(r, what);
    return bytes;
}

void write_memory(ModuleLink& link, Memory m, const std::vector<std::uint8_t>& bytes,
                  std::uint32_t ram_bank)
{
    const MemoryInfo& info = memory_info(m);
    const std::string what = std::string("writing ") + info.name;
    const TransferProgress progress = link.begin_transfer(what);
    const ActionResult r = write_memory(link.handle(), m, bytes, ram_bank, progress);
    link.end_transfer();
    link.check(r, what);
}

// Reads back what was just written and compares; a difference fails with exit 3, naming the
// first differing address and how many bytes differ.
void verify_memory(ModuleLink& link, Memory m, const std::vector<std::uint8_t>& written)
{
    const MemoryInfo& info = memory_info(m);
    const std::string what = std::string("reading ") + info.name;
    const TransferProgress progress = link.begin_transfer(what);
    const VerifyResult v = verify_memory(link.handle(), m, written, progress);
    link.end_transfer();
    if (v.differing_bytes == 0) return link.check(v.outcome, what);
    throw CliFailure(exit_verify_mismatch,
                     std::string("verifying ") + info.name + ": " + std::to_string(v.differing_bytes) +
                         " of " + std::to_string(written.size()) + " bytes differ, the first at " +
                         hex32(v.first_difference) + " (written " + hex_byte(v.written_byte) +
                         ", read " + hex_byte(v.read_byte) + ")");
}

void command_status(ModuleLink& link, Output& out)
{
    const TickReport& s = link.probe();
    Json j = result_object("status");
    std::string text;
    switch (s.form) {
    case ModuleForm::none:
        throw CliFailure(exit_not_found, std::string("module not found: ") + connection_none_text);
    case ModuleForm::loader:
        j["form"] = "loader";
        if (s.loader_version_valid) j["loader_version"] = loader_version_text(s.loader_version);
        if (s.loader_firmware_valid) j["firmware_version"] = firmware_version_text(s.loader_firmware_version);
        text = std::string("module: ") + connection_loader_text + "\nloader version: " +
               (s.loader_version_valid ? loader_version_text(s.loader_version) : not_available_text) +
               "\nfirmware version: " +
               (s.loader_firmware_valid ? firmware_version_text(s.loader_firmware_version) : not_available_text);
        break;
    case ModuleForm::application:
        j["form"] = "application";
        if (!s.status_valid) throw CliFailure(exit_transfer_failed, "status: reply did not arrive");
        j["firmware_version"] = firmware_version_text(s.firmware_version);
        j["firmware_word"] = hex32(s.firmware_version);
        j["cnc"] = s.running ? "running" : "stopped";
        j["external_dac"] = s.ext_dac ? "on" : "off";
        text = std::string("module: ") + connection_app_text + "\nfirmware version: " + firmware_version_text(s.firmware_version) +
               "\nCNC processor: " + (s.running ? "running" : "stopped") +
               "\nexternal DAC: " + (s.ext_dac ? "on" : "off");
        break;
    }
    out.result(j, text);
}

void command_config_show(ModuleLink& link, Output& out)
{
    link.hold_application();
    const std::vector<std::uint8_t> bytes = read_memory(link, Memory::config);
    ConfigBlock block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    const bool sum_ok = config_block_checksum_ok(block);

    Json j = result_object("config show");
    j["checksum_ok"] = sum_ok;
    Json settings = Json::array();
    std::string text;
    // A code without an item (a software version of 1, a filter of 12) keeps its number and gets
    // no item text: the command line shows what is stored, where the window shows its fallback.
    for (const ConfigSetting& s : config_settings) {
        const std::uint8_t code = block[s.offset];
        const int index = s.item_of(code);
        const std::string item = index >= 0 ? s.items[static_cast<std::size_t>(index)] : "";
        settings.push_back({{"letter", s.letter}, {"caption", s.caption}, {"byte", s.offset},
                            {"code", code}, {"item", item}});
        text += std::string(s.letter) + "  " + s.caption + ": " +
                (item.empty() ? "код " + std::to_string(code) + " (нет в списке)" : item) + "\n";
    }
    j["settings"] = settings;
    j["reserved"] = block[6];
    j["checksum"] = get_le32(&block[8]);
    text += "checksum " + std::to_string(get_le32(&block[8])) +
            (sum_ok ? std::string(" (correct)")
                    : " (wrong: " + std::string(checksum_failed_text).substr(0, std::string(checksum_failed_text).find('\r')) + ")");
    out.result(j, text);
}

void command_config_read(ModuleLink& link, Output& out, const fs::path& file)
{
    link.hold_application();
    const std::vector<std::uint8_t> bytes = read_memory(link, Memory::config);
    link.release();
    write_file_atomic(file, bytes);
    Json j = result_object("config read");
    j["file"] = path_utf8(file);
    j.update(file_checks(bytes));
    out.result(j, "config → " + path_utf8(file) + ": " + checks_text(bytes));
}

void command_config_write(ModuleLink& link, Output& out, const fs::path& file, bool verify)
{
    std::vector<std::uint8_t> bytes = load_exact(path_utf8(file), params_size, "a configuration block");
    ConfigBlock block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    // As the window does: the checksum is the sum of the setting bytes as they are now.
    renew_config_checksum(block);
    bytes.assign(block.begin(), block.end());
    link.hold_application();
    write_memory(link, Memory::config, bytes, 0);
    if (verify) verify_memory(link, Memory::config, bytes);
    Json j = result_object("config write");
    j["file"] = path_utf8(file);
    j["verified"] = verify;
    out.result(j, "config ← " + path_utf8(file) + (verify ? ": written and verified" : ": written"));
}

void command_read(ModuleLink& link, Output& out, Memory memory, const fs::path& file)
{
    link.hold_application();
    const std::vector<std::uint8_t> bytes = read_memory(link, memory);
    link.release();
    // Only a complete read reaches the file; the file appears whole or not at all.
    write_file_atomic(file, bytes);
    Json j = result_object("read");
    j["memory"] = memory_info(memory).name;
    j["file"] = path_utf8(file);
    j.update(file_checks(bytes));
    out.result(j, std::string(memory_info(memory).name) + " → " + path_utf8(file) + ": " + checks_text(bytes));
}

void command_write(ModuleLink& link, Output& out, const WriteOptions& o)
{
    const MemoryInfo& info = memory_info(o.memory);
    const std::vector<std::uint8_t> image = image_for_write(o);
    link.hold_application();
    write_memory(link, o.memory, image, bank_selector(o.bank));
    // The RAM cannot be checked this way: the module restarts after storing it, and the running
    // CNC changes it at once. Flash is read back.
    const bool verified = o.verify && o.memory != Memory::ram;
    if (verified) verify_memory(link, o.memory, image);
    Json j = result_object("write");
    j["memory"] = info.name;
    if (o.memory == Memory::ram) j["bank"] = o.bank;
    j.update(file_checks(image));
    j["verified"] = verified;
    std::string text = std::string(info.name) + " ← " + checks_text(image);
    if (o.memory == Memory::ram)
        text += ", stored in the " + o.bank + " bank; the module restarted (RAM is not read back)";
    else
        text += verified ? ", verified" : ", not verified";
    out.result(j, text);
}

void command_regs(ModuleLink& link, Output& out, const std::vector<std::string>& addresses)
{
    std::vector<std::uint16_t> words;
    for (const std::string& a : addresses) words.push_back(parse_octal(a, "address"));
    link.hold_application();
    std::vector<RegisterReading> readings;
    const ActionResult r = read_registers(link.handle(), words, readings);
    Json j = result_object("regs");
    Json list = Json::array();
    std::string text;
    for (const RegisterReading& reading : readings) {
        if (!reading.valid) continue;
        list.push_back({{"address", word_to_oct6_text(reading.address)},
                        {"value", word_to_oct6_text(reading.value)},
                        {"bits", word_to_bit_row_text(reading.value)}});
        text += word_to_oct6_text(reading.address) + "  " + word_to_oct6_text(reading.value) +
                "  " + word_to_bit_row_text(reading.value) + "\n";
    }
    link.check(r, "reading registers");
    j["registers"] = list;
    out.result(j, text);
}

void command_set(ModuleLink& link, Output& out, const std::string& assignment)
{
    const auto eq = assignment.find('=');
    if (eq == std::string::npos)
        throw CliFailure(exit_usage, "set: expected ADDR=VALUE in octal, e.g. 170462=100001");
    const std::uint16_t address = parse_octal(assignment.substr(0, eq), "address");
    const std::uint16_t value = parse_octal(assignment.substr(eq + 1), "value");
    const TickReport& s = link.hold_application();
    // As the window: outputs and DAC values are set only while the CNC processor is stopped.
    if (s.running)
        throw CliFailure(exit_transfer_failed, "set: the CNC processor is running; registers are "
                                               "set only while it is stopped (lirvan-cli cpu stop)");
    const BusWrite w{address, value};
    link.check(write_registers(link.handle(), std::span(&w, 1)), "writing register");
    Json j = result_object("set");
    j["address"] = word_to_oct6_text(address);
    j["value"] = word_to_oct6_text(value);
    out.result(j, word_to_oct6_text(address) + " ← " + word_to_oct6_text(value));
}

void command_cpu(ModuleLink& link, Output& out, bool start)
{
    link.hold_application();
    link.check(start ? start_cnc(link.handle()) : stop_cnc(link.handle()),
                      start ? "starting the CNC" : "stopping the CNC");
    Json j = result_object(start ? "cpu start" : "cpu stop");
    out.result(j, start ? "CNC processor started" : "CNC processor stopped");
}

void command_restart(ModuleLink& link, Output& out)
{
    link.hold_application();
    link.check(restart_module(link.handle()), "restarting the module");
    out.result(result_object("restart"), "module restarted");
}

void command_counters_reset(ModuleLink& link, Output& out)
{
    // The module counts each measuring channel until its register is read; reading the four
    // counter registers starts every channel from zero.
    link.hold_application();
    const std::uint16_t counters[] = {bus_counter_kip1, bus_counter_kip2, bus_counter_kip3, bus_counter_kip4};
    std::vector<RegisterReading> readings;
    link.check(read_registers(link.handle(), counters, readings), "resetting the counters");
    out.result(result_object("counters reset"), "counters reset");
}

void command_update(ModuleLink& link, Output& out, const CarriedImage& firmware, int wait_seconds)
{
    if (firmware.size == 0)
        throw CliFailure(exit_file_problem, "update: this build carries no firmware image "
                                            "(configure with LIRVAN_UPDATE_IMAGE and LIRVAN_UPDATE_VERSION)");
    const std::chrono::milliseconds limit{std::max(wait_seconds, 0) * 1000};
    const TickReport& s = link.probe();
    if (s.form == ModuleForm::none) throw CliFailure(exit_not_found, "update: module not found");
    const std::string old_version =
        s.form == ModuleForm::application ? firmware_version_text(s.firmware_version)
                                          : (s.loader_firmware_valid ? firmware_version_text(s.loader_firmware_version) : not_available_text);
    if (s.form == ModuleForm::application) {
        link.check(hand_over_to_loader(link.handle()), "update: hand-over to the loader");
        link.release();
        if (!link.wait_for(ModuleForm::loader, limit))
            throw CliFailure(exit_transfer_failed, "update: the loader did not answer within " +
                                                       std::to_string(wait_seconds) + " s");
    }
    const TransferProgress progress = link.begin_transfer("update");
    const ActionResult r = stream_update_image(link.handle(), std::span(firmware.data, firmware.size), progress);
    link.end_transfer();
    link.check(r, "update: sending the image");
    link.release();
    if (!link.wait_for(ModuleForm::application, limit))
        throw CliFailure(exit_transfer_failed, "update: the application did not come back within " +
                                                   std::to_string(wait_seconds) + " s");
    const TickReport& after = link.status();
    Json j = result_object("update");
    j["previous_version"] = old_version;
    j["carried_version"] = firmware_version_text(firmware.version_word);
    j["firmware_version"] = firmware_version_text(after.firmware_version);
    if (after.firmware_version != firmware.version_word) {
        throw CliFailure(exit_verify_mismatch, "update: the module came back with " +
                                                   firmware_version_text(after.firmware_version) + ", not " +
                                                   firmware_version_text(firmware.version_word));
    }
    out.result(j, "firmware " + old_version + " → " + firmware_version_text(after.firmware_version));
}

void command_poll(Output& out, const PollOptions& o,
                  const std::function<void(std::chrono::milliseconds)>& pause)
{
    // The module's holding registers 0..9: packets in 3/4, errors in 5/6 (low word first), the
    // firmware version in 9 (major in bits 11..8, minor as two BCD digits).
    constexpr std::uint16_t first_register = 0;
    constexpr std::uint16_t register_count = 10;
    if (!com_open(o.port, o.baud))
        throw CliFailure(exit_file_problem, "poll: cannot open the serial port " + o.port + " at " +
                                                std::to_string(o.baud) + " baud");
    int answered = 0;
    for (int i = 0; i < o.count; ++i) {
        if (i > 0) pause(std::chrono::milliseconds{1000});
        std::uint8_t regs[2 * register_count] = {};
        const bool ok = modbus_read_holding(static_cast<std::uint8_t>(o.address), first_register,
                                            register_count, regs);
        const auto reg = [&](int n) { return static_cast<std::uint16_t>(regs[2 * n] << 8 | regs[2 * n + 1]); };
        Json j = result_object("poll");
        j["ok"] = ok;
        j["port"] = o.port;
        j["address"] = o.address;
        std::string text;
        if (ok) {
            ++answered;
            const std::string version = network_version_text(reg(9));
            const std::uint32_t packets = std::uint32_t{reg(4)} << 16 | reg(3);
            const std::uint32_t errors = std::uint32_t{reg(6)} << 16 | reg(5);
            j["status"] = connection_app_text;
            j["firmware_version"] = version;
            j["packets"] = packets;
            j["errors"] = errors;
            text = std::string(connection_app_text) + "  version " + version + "  packets " + std::to_string(packets) +
                   "  errors " + std::to_string(errors);
        } else {
            j["status"] = connection_none_text;
            text = connection_none_text;
        }
        out.result(j, text);
    }
    com_close();
    if (answered == 0)
        throw CliFailure(exit_not_found, "poll: the module at address " + std::to_string(o.address) +
                                             " did not answer on " + o.port);
}
