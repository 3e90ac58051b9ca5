// The simulated module. It keeps the module's memories and CNC-side state and answers the
// command set the way the real module's application and loader do, one 64-byte feature
// payload at a time.
//
// Conventions of the simulation (where the real module's behaviour is not observable by the
// tool, a plain and predictable choice is made):
// - A command with a reply replaces any reply still pending; a command without a reply drops
//   it. Reads return the pending reply 64 bytes per report, zero padded, and 64 zero bytes
//   when nothing is pending, so the extra report after a reply of 64·k bytes reads zeros.
// - After cmd_block_begin, cmd_ram_write_begin and cmd_update to the loader, every written
//   report is data, whatever its first byte, until the announced count has arrived.
// - cmd_read_flash and cmd_ram_read answer the announced length; bytes outside the memory
//   read as zero. Replies are limited to reply_limit bytes; reads past that return zeros,
//   which the tool cannot tell from a longer reply of zeros.
// - A summed chunk is committed only when cmd_block_end repeats cmd_block_begin's words,
//   every data byte arrived, the byte sum (0 counted as 1) matches and the range lies inside
//   the flash. Anything else (a bad sum, a lone end frame, another command between the data
//   and the end frame, a range outside the flash) drops the chunk and counts it as rejected.
// - cmd_restart counts the restart, stops any transfer in progress, switches the external DAC
//   mode off, starts the CNC processor and restores RAM from the main non-volatile bank (the
//   module boots from that bank).
// - Commands meant for the other form (for instance cmd_read_flash to the loader) are logged
//   and otherwise ignored.
// - A transfer that stops short (the tool's send failed, the device was unplugged) is
//   abandoned after transfer_timeout_ms of simulated time without a written report, as a
//   firmware receive time-out would; until then every report still counts as its data.
// - Counters saturate at the limits of a signed 16-bit value between two reads.
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
constexpr std::uint64_t transfer_timeout_ms = 1000;

// Counter rates of the four measuring channels while the CNC processor runs, counts per second.
constexpr std::int32_t counter_rates[4] = {25, -10, 100, 3};

constexpr std::uint8_t default_config_block[params_size] = {0x04, 0x01, 0x01, 0x00, 0x01, 0x04,
                                                           0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};

int counter_channel(std::uint16_t address)
{
    if (address >= bus_kip_170521 && address <= bus_kip_170524) return address - bus_kip_170521;
    return -1;
}

int dac_channel(std::uint16_t address)
{
    if (address >= bus_dac_170500 && address <= bus_dac_170503) return address - bus_dac_170500;
    return -1;
}

int input_index(std::uint16_t address)
{
    switch (address) {
    case bus_in_170461: return 0;
    case bus_in_170463: return 1;
    case bus_in_170465: return 2;
    case bus_in_170467: return 3;
    default: return -1;
    }
}

std::int32_t saturate16(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

}  // namespace

struct SimModule::State {
    Form form = Form::application;
    std::uint32_t firmware_version = 0x00043600;
    std::uint32_t loader_version = 0x00010203;
    std::uint32_t firmware_after_update = 0x00043600;
    bool identity_overridden = false;
    std::uint16_t identity_override = 0;

    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(flash_size, 0xFF);
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(ram_size, 0x00);
    std::vector<std::uint8_t> bank_main = std::vector<std::uint8_t>(ram_size, 0x00);
    std::vector<std::uint8_t> bank_reserve = std::vector<std::uint8_t>(ram_size, 0x00);

    bool cpu_running = true;
    bool ext_dac = false;
    std::size_t restarts = 0;

    // Reply waiting to be read.
    std::vector<std::uint8_t> reply;
    std::size_t reply_pos = 0;

    // Data announced by the last command and still to arrive.
    enum class Inbound { none, block, ram, update };
    Inbound inbound = Inbound::none;
    std::size_t inbound_total = 0;
    std::size_t inbound_received = 0;
    std::uint32_t inbound_offset = 0;  // RAM offset of cmd_ram_write_begin
    std::uint64_t last_report_ms = 0;  // simulated time of the last written report

    // Summed chunk between cmd_block_begin and cmd_block_end.
    bool chunk_open = false;          // begin seen, end not yet
    CommandFrame chunk_begin;
    std::uint32_t chunk_sum = 0;      // byte sum of the data as it arrived
    std::vector<std::uint8_t> chunk;  // data, at most flash_size bytes kept
    std::size_t chunks_committed = 0;
    std::size_t chunks_rejected = 0;

    std::vector<std::uint8_t> update_image;  // being received
    std::vector<std::uint8_t> last_update_image;
    std::size_t updates_completed = 0;

    // CNC bus.
    std::uint64_t time_ms = 0;
    std::array<std::uint16_t, 4> inputs{};
    std::array<bool, 4> inputs_pinned{};
    std::uint16_t out_170462 = 0, out_170464 = 0;
    std::uint16_t kip0 = 0;
    std::array<std::int32_t, 4> counts{};        // pending since the last read
    std::array<std::int32_t, 4> count_remainder{};  // sub-count progress, in counts × ms
    std::array<std::uint16_t, 4> dac{};
    std::map<std::uint16_t, std::uint16_t> other_registers;
    std::array<std::uint16_t, 4> ea_inputs{};
    bool ea_inputs_pinned = false;
    std::array<std::uint16_t, 2> ea_outputs{};
    bool ea_outputs_pinned = false;

    std::vector<SimCommand> log;

    State()
    {
        std::memcpy(&flash[flash_config_address - flash_rom_address], default_config_block,
                    params_size);
        chunk.reserve(block_chunk_size);
        reply.reserve(ram_size);
        refresh_live_values();
    }

    // --- time-driven values ---

    void refresh_live_values()
    {
        const std::uint64_t t = time_ms;
        const std::array<std::uint16_t, 4> live = {
            static_cast<std::uint16_t>(1u << ((t / 250) % 16)),             // running light
            static_cast<std::uint16_t>(t / 100),                            // tenths of seconds
            static_cast<std::uint16_t>((t / 500) % 2 ? 0xAAAA : 0x5555),    // alternating bits
            static_cast<std::uint16_t>(t / 1000),                           // seconds
        };
        for (std::size_t i = 0; i < 4; ++i)
            if (!inputs_pinned[i]) inputs[i] = live[i];
        if (!ea_inputs_pinned) {
            ea_inputs = {static_cast<std::uint16_t>(0x8000u >> ((t / 200) % 16)),
                         static_cast<std::uint16_t>(t / 1000),
                         static_cast<std::uint16_t>((t / 1000) % 2 ? 0x00FF : 0xFF00),
                         0x0F0F};
        }
        if (!ea_outputs_pinned) {
            ea_outputs = {static_cast<std::uint16_t>(1u << ((t / 500) % 16)),
                          static_cast<std::uint16_t>((t / 2000) % 2 ? 0x0003 : 0x000C)};
        }
    }

    void advance(std::uint32_t ms)
    {
        time_ms += ms;
        if (inbound != Inbound::none && time_ms - last_report_ms >= transfer_timeout_ms) {
            if (inbound == Inbound::block) reject_open_chunk();
            if (inbound == Inbound::update) update_image.clear();
            inbound = Inbound::none;
        }
        if (cpu_running) {
            for (std::size_t i = 0; i < 4; ++i) {
                const std::int64_t progress =
                    std::int64_t{count_remainder[i]} + std::int64_t{counter_rates[i]} * ms;
                const std::int64_t whole = progress / 1000;
                count_remainder[i] = static_cast<std::int32_t>(progress % 1000);
                counts[i] = saturate16(std::int64_t{counts[i]} + whole);
            }
        }
        refresh_live_values();
    }

    // --- bus registers ---

    std::uint16_t peek(std::uint16_t address) const
    {
        if (const int i = input_index(address); i >= 0) return inputs[i];
        if (const int c = counter_channel(address); c >= 0)
            return static_cast<std::uint16_t>(counts[c]);
        if (const int d = dac_channel(address); d >= 0) return dac[d];
        if (address == bus_out_170462) return out_170462;
        if (address == bus_out_170464) return out_170464;
        if (address == bus_kip_170520) return kip0;
        const auto it = other_registers.find(address);
        return it == other_registers.end() ? 0 : it->second;
    }

    // A read by the tool: counters hand over their counts and start again from zero.
    std::uint16_t read_register(std::uint16_t address)
    {
        const std::uint16_t v = peek(address);
        if (const int c = counter_channel(address); c >= 0) counts[c] = 0;
        return v;
    }

    // A write by the tool: inputs and counters are read-only; channel 0 takes its output bits.
    void write_register(std::uint16_t address, std::uint16_t value)
    {
        if (input_index(address) >= 0 || counter_channel(address) >= 0) return;
        if (const int d = dac_channel(address); d >= 0) {
            dac[d] = value;
        } else if (address == bus_out_170462) {
            out_170462 = value;
        } else if (address == bus_out_170464) {
            out_170464 = value;
        } else if (address == bus_kip_170520) {
            kip0 = static_cast<std::uint16_t>((kip0 & ~0x000Fu) | (value & 0x000Fu));
        } else {
            other_registers[address] = value;
        }
    }

    // --- replies ---

    std::uint8_t* start_reply(std::size_t length)
    {
        reply.assign(std::min(length, reply_limit), 0);
        reply_pos = 0;
        return reply.data();
    }

    // Reply of `length` bytes read from `memory`, which lies at `base` in its address space;
    // bytes outside it read as zero.
    void reply_from(const std::vector<std::uint8_t>& memory, std::uint64_t base,
                    std::uint64_t address, std::size_t length)
    {
        std::uint8_t* out = start_reply(length);
        const std::uint64_t lo = std::max(address, base);
        const std::uint64_t hi = std::min(address + reply.size(), base + memory.size());
        if (lo < hi) std::memcpy(out + (lo - address), memory.data() + (lo - base), hi - lo);
    }

    // --- commands ---

    void log_command(const CommandFrame& f)
    {
        if (log.size() >= command_log_limit)
            log.erase(log.begin(), log.begin() + command_log_limit / 2);
        log.push_back(SimCommand{f.code, f.word_a, f.word_b, f.word_c, form == Form::loader});
    }

    void reject_open_chunk()
    {
        if (chunk_open) {
            chunk_open = false;
            ++chunks_rejected;
        }
    }

    void expect(Inbound kind, std::size_t total)
    {
        inbound = total == 0 ? Inbound::none : kind;
        inbound_total = total;
        inbound_received = 0;
    }

    void command(const CommandFrame& f)
    {
        log_command(f);
        reply.clear();
        reply_pos = 0;
        if (f.code != cmd_block_end) reject_open_chunk();

        if (f.code == cmd_identify) {
            const std::uint16_t word = identity_overridden ? identity_override
                                       : form == Form::application ? app_identity_word
                                                                   : loader_identity_word;
            put_le16(start_reply(identify_reply_length), word);
            return;
        }
        if (form == Form::loader)
            loader_command(f);
        else
            application_command(f);
    }

    void loader_command(const CommandFrame& f)
    {
        switch (f.code) {
        case cmd_get_status:
            put_le32(start_reply(loader_word_reply_length), loader_version);
            break;
        case cmd_get_loader_info:
            put_le32(start_reply(loader_word_reply_length), firmware_version);
            break;
        case cmd_update:
            // The length comes from word_a; word_b (its 64 KiB part) is only logged.
            update_image.clear();
            expect(Inbound::update, f.word_a);
            break;
        default:
            break;
        }
    }

    void application_command(const CommandFrame& f)
    {
        switch (f.code) {
        case cmd_get_status: {
            std::uint8_t* r = start_reply(app_status_reply_length);
            put_le32(r, firmware_version);
            r[4] = cpu_running ? 1 : 0;
            r[5] = ext_dac ? 1 : 0;
            break;
        }
        case cmd_update:
            form = Form::loader;
            break;
        case cmd_block_begin:
            chunk_open = true;
            chunk_begin = f;
            chunk_sum = 0;
            chunk.clear();
            expect(Inbound::block, f.word_c);
            break;
        case cmd_block_end:
            finish_chunk(f);
            break;
        case cmd_read_flash:
            reply_from(flash, flash_rom_address, f.word_a, f.word_b);
            break;
        case cmd_cpu_stop:
            cpu_running = false;
            break;
        case cmd_cpu_start:
            cpu_running = true;
            break;
        case cmd_restart:
            ++restarts;
            expect(Inbound::none, 0);
            ext_dac = false;
            cpu_running = true;
            ram = bank_main;
            break;
        case cmd_bus_write:
            write_register(static_cast<std::uint16_t>(f.word_a),
                           static_cast<std::uint16_t>(f.word_b));
            break;
        case cmd_bus_read:
            if (f.word_a <= 0xFFFF)
                put_le16(start_reply(bus_reply_length),
                        read_register(static_cast<std::uint16_t>(f.word_a)));
            else
                start_reply(bus_reply_length);
            break;
        case cmd_ram_read:
            reply_from(ram, 0, f.word_a, f.word_b);
            break;
        case cmd_ram_write_begin:
            inbound_offset = f.word_a;
            expect(Inbound::ram, f.word_b);
            break;
        case cmd_ram_write_end: {
            std::vector<std::uint8_t>* bank = f.word_a == ram_bank_main      ? &bank_main
                                              : f.word_a == ram_bank_reserve ? &bank_reserve
                                                                             : nullptr;
            if (bank) std::copy_n(ram.begin(), std::min<std::size_t>(f.word_b, ram_size), bank->begin());
            break;
        }
        case cmd_ext_dac_on:
            ext_dac = true;
            break;
        case cmd_ext_dac_off:
            ext_dac = false;
            break;
        case cmd_ea_read_inputs: {
            std::uint8_t* r = start_reply(bus_reply_length);
            for (std::size_t i = 0; i < 4; ++i) put_le16(r + 2 * i, ea_inputs[i]);
            break;
        }
        case cmd_ea_read_outputs: {
            std::uint8_t* r = start_reply(bus_reply_length);
            put_le16(r, ea_outputs[0]);
            put_le16(r + 2, ea_outputs[1]);
            break;
        }
        default:
            break;
        }
    }

    void finish_chunk(const CommandFrame& end)
    {
        if (!chunk_open) {
            ++chunks_rejected;  // an end frame without its begin frame
            return;
        }
        chunk_open = false;
        const CommandFrame& b = chunk_begin;
        const std::uint32_t sum = chunk_sum == 0 ? 1 : chunk_sum;
        const std::uint64_t start = b.word_b;
        const std::uint64_t stop = start + b.word_c;
        const bool ok = end.word_a == b.word_a && end.word_b == b.word_b &&
                        end.word_c == b.word_c && chunk.size() == b.word_c && sum == b.word_a &&
                        start >= flash_rom_address && stop <= flash_end_address;
        if (!ok) {
            ++chunks_rejected;
            return;
        }
        std::memcpy(flash.data() + (start - flash_rom_address), chunk.data(), chunk.size());
        ++chunks_committed;
    }

    // --- data reports ---

    void data(const std::uint8_t* data64)
    {
        const std::size_t n = std::min(inbound_total - inbound_received, report_data_length);
        switch (inbound) {
        case Inbound::block:
            for (std::size_t i = 0; i < n; ++i) chunk_sum += data64[i];
            if (chunk.size() + n <= flash_size) chunk.insert(chunk.end(), data64, data64 + n);
            break;
        case Inbound::ram: {
            const std::uint64_t at = std::uint64_t{inbound_offset} + inbound_received;
            if (at < ram_size)
                std::memcpy(ram.data() + at, data64,
                            std::min<std::uint64_t>(n, ram_size - at));
            break;
        }
        case Inbound::update:
            if (update_image.size() + n <= update_image_limit)
                update_image.insert(update_image.end(), data64, data64 + n);
            break;
        case Inbound::none:
            return;
        }
        inbound_received += n;
        if (inbound_received < inbound_total) return;

        const Inbound done = inbound;
        inbound = Inbound::none;
        if (done == Inbound::update) finish_update();
    }

    void finish_update()
    {
        // An image larger than the controller's flash cannot be installed: the loader stays.
        if (update_image.size() != inbound_total) {
            update_image.clear();
            return;
        }
        last_update_image.swap(update_image);
        update_image.clear();
        firmware_version = firmware_after_update;
        ++updates_completed;
        form = Form::application;
        cpu_running = true;
        ext_dac = false;
    }

    void on_set(const std::uint8_t* data64)
    {
        last_report_ms = time_ms;
        if (inbound != Inbound::none) {
            data(data64);
            return;
        }
        CommandFrame f;
        if (CommandFrame::from_data(data64, f)) command(f);
        // A report without the marker outside a transfer carries nothing for the module.
    }

    void on_get(std::uint8_t* data64)
    {
        if (reply_pos >= reply.size()) {
            std::memset(data64, 0, report_data_length);
            return;
        }
        const std::size_t n = std::min(reply.size() - reply_pos, report_data_length);
        std::memcpy(data64, reply.data() + reply_pos, n);
        if (n < report_data_length) std::memset(data64 + n, 0, report_data_length - n);
        reply_pos += n;
    }
};

SimModule::SimModule() : s_(std::make_unique<State>()) {}
SimModule::~SimModule() = default;

bool SimModule::on_set_feature(const std::uint8_t* data64)
{
    s_->on_set(data64);
    return true;
}

bool SimModule::on_get_feature(std::uint8_t* data64)
{
    s_->on_get(data64);
    return true;
}

void SimModule::advance_ms(std::uint32_t ms) { s_->advance(ms); }

SimModule::Form SimModule::form() const { return s_->form; }
void SimModule::set_form(Form f) { s_->form = f; }
std::uint32_t SimModule::firmware_version() const { return s_->firmware_version; }
void SimModule::set_firmware_version(std::uint32_t v) { s_->firmware_version = v; }
std::uint32_t SimModule::loader_version() const { return s_->loader_version; }
void SimModule::set_loader_version(std::uint32_t v) { s_->loader_version = v; }
void SimModule::set_firmware_version_after_update(std::uint32_t v) { s_->firmware_after_update = v; }
const std::vector<std::uint8_t>& SimModule::last_update_image() const { return s_->last_update_image; }
std::size_t SimModule::updates_completed() const { return s_->updates_completed; }

bool SimModule::cpu_running() const { return s_->cpu_running; }
void SimModule::set_cpu_running(bool on) { s_->cpu_running = on; }
bool SimModule::ext_dac_on() const { return s_->ext_dac; }
void SimModule::set_ext_dac_on(bool on) { s_->ext_dac = on; }
std::size_t SimModule::restarts() const { return s_->restarts; }

std::uint8_t* SimModule::flash_at(std::uint32_t address)
{
    if (address < flash_rom_address || address >= flash_end_address) return nullptr;
    return s_->flash.data() + (address - flash_rom_address);
}

std::uint8_t* SimModule::ram() { return s_->ram.data(); }

std::uint8_t* SimModule::ram_bank(std::uint32_t selector)
{
    if (selector == ram_bank_main) return s_->bank_main.data();
    if (selector == ram_bank_reserve) return s_->bank_reserve.data();
    return nullptr;
}

std::size_t SimModule::chunks_committed() const { return s_->chunks_committed; }
std::size_t SimModule::chunks_rejected() const { return s_->chunks_rejected; }

std::uint16_t SimModule::bus_register(std::uint16_t address) const { return s_->peek(address); }

void SimModule::set_bus_register(std::uint16_t address, std::uint16_t value)
{
    State& s = *s_;
    if (const int i = input_index(address); i >= 0) {
        s.inputs[i] = value;
        s.inputs_pinned[i] = true;
    } else if (const int c = counter_channel(address); c >= 0) {
        s.counts[c] = static_cast<std::int16_t>(value);
    } else if (address == bus_kip_170520) {
        s.kip0 = value;
    } else {
        s.write_register(address, value);
    }
}

void SimModule::add_counts(int channel, std::int16_t counts)
{
    if (channel < 1 || channel > 4) return;
    auto& pending = s_->counts[static_cast<std::size_t>(channel - 1)];
    pending = saturate16(std::int64_t{pending} + counts);
}

void SimModule::set_ea_inputs(const std::array<std::uint16_t, 4>& words)
{
    s_->ea_inputs = words;
    s_->ea_inputs_pinned = true;
}

void SimModule::set_ea_outputs(const std::array<std::uint16_t, 2>& words)
{
    s_->ea_outputs = words;
    s_->ea_outputs_pinned = true;
}

void SimModule::set_identity_override(std::uint16_t word)
{
    s_->identity_overridden = true;
    s_->identity_override = word;
}

void SimModule::clear_identity_override() { s_->identity_overridden = false; }

const std::vector<SimCommand>& SimModule::commands() const { return s_->log; }
void SimModule::clear_commands() { s_->log.clear(); }
