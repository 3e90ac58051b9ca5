// The simulated module: the module's side of the whole command set, in its two forms
// (application and loader), with its flash, RAM and non-volatile banks, the CNC processor
// state, the external DAC mode, the CNC bus registers (sim/cnc_bus.h) and the firmware
// update hand-over.
// It speaks 64-byte feature-report payloads, so the same object serves the simulated bus
// (tests, demo) and a virtual HID device through the kernel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "define/define.h"
#include "device/device.h"
#include "sim/cnc_bus.h"

// The device side of one HID interface: what it does with a feature report written to it and
// what it answers to a feature report read from it. Payloads are the 64 data bytes.
class FeatureEndpoint {
public:
    virtual ~FeatureEndpoint() = default;
    virtual std::uint16_t vendor_id() const = 0;
    virtual std::uint16_t product_id() const = 0;
    // False means the device refused the report (a stall).
    virtual bool on_set_feature(const std::uint8_t* data64) = 0;
    virtual bool on_get_feature(std::uint8_t* data64) = 0;
};

// One command as the module received it, for tests and the demo's log.
struct SimCommand {
    std::uint8_t code = 0;
    std::uint32_t word_a = 0, word_b = 0, word_c = 0;
    bool to_loader = false;  // which form of the module received it
};

// Where the module placed one written report. The module has no framing beyond order: after
// a frame that announces data, the announced number of reports are data whatever they hold;
// after a summed chunk's data the next frame is taken as the chunk's end frame; anywhere else
// a report is a frame when it starts with the marker 0x55 and a stray report otherwise.
enum class SimPlacement {
    command,   // a frame, acted on
    data,      // data of the transfer in progress
    end_frame, // a frame where a chunk's end frame was due, taken as that end
    stray,     // no marker where a frame was due: ignored
};

struct SimReport {
    SimPlacement placement = SimPlacement::command;
    std::uint8_t first = 0, second = 0;  // the report's first two data bytes
    bool to_loader = false;
};

class SimModule : public FeatureEndpoint {
public:
    enum class Form { application, loader };

    SimModule();
    ~SimModule() override = default;
    SimModule(const SimModule&) = delete;
    SimModule& operator=(const SimModule&) = delete;

    std::uint16_t vendor_id() const override { return module_vendor_id; }
    std::uint16_t product_id() const override { return module_product_id; }
    bool on_set_feature(const std::uint8_t* data64) override;
    bool on_get_feature(std::uint8_t* data64) override;

    // --- simulated time: inputs move as time advances; the counters count while the CNC
    // processor runs (channels 1..4 at +25, -10, +100 and +3 counts per second) ---
    void advance_ms(std::uint32_t ms);

    // --- state, readable and settable by tests and the demo ---
    Form form() const { return form_; }
    void set_form(Form f) { form_ = f; }
    std::uint32_t firmware_version() const { return firmware_version_; }  // 0x00043600 reads 4.36
    void set_firmware_version(std::uint32_t v) { firmware_version_ = v; }
    std::uint32_t loader_version() const { return loader_version_; }  // 0x00010203 reads 1.2.3.
    void set_loader_version(std::uint32_t v) { loader_version_ = v; }
    // Version the application reports after a completed update (the image is opaque).
    void set_firmware_version_after_update(std::uint32_t v) { firmware_after_update_ = v; }
    // Bytes the loader took.
    const std::vector<std::uint8_t>& last_update_image() const { return last_update_image_; }
    std::size_t updates_completed() const { return updates_completed_; }

    bool cpu_running() const { return cpu_running_; }
    void set_cpu_running(bool on) { cpu_running_ = on; }
    bool ext_dac_on() const { return ext_dac_; }
    void set_ext_dac_on(bool on) { ext_dac_ = on; }
    std::size_t restarts() const { return restarts_; }

    // Flash from flash_rom_address to flash_end_address (erased = 0xFF).
    std::uint8_t* flash_at(std::uint32_t address);     // nullptr outside
    std::uint8_t* ram() { return ram_.data(); }        // ram_size bytes
    std::uint8_t* ram_bank(std::uint32_t selector);     // ram_bank_main / ram_bank_reserve
    std::size_t chunks_committed() const { return chunks_committed_; }
    std::size_t chunks_rejected() const { return chunks_rejected_; }  // bad sum or framing

    // Register value as the next cmd_bus_read would answer it (counters are not cleared).
    // Inputs (170461..170467) follow simulated time until set here, then hold the value set;
    // a counter (170521..170524) set here holds that many pending counts (signed 16-bit);
    // channel 0 (170520) takes all 16 bits here, but only bits 3..0 from cmd_bus_write.
    std::uint16_t bus_register(std::uint16_t address) const { return bus_.peek(address); }
    void set_bus_register(std::uint16_t address, std::uint16_t value) { bus_.set(address, value); }
    // Counts pending on a counter channel (1..4) until the next read of its register.
    void add_counts(int channel, std::int16_t counts) { bus_.add_counts(channel, counts); }
    // Inputs of the EA controller (four words) and its outputs (two words); they follow
    // simulated time until set here, then hold the words set.
    void set_ea_inputs(const std::array<std::uint16_t, 4>& words) { bus_.set_ea_inputs(words); }
    void set_ea_outputs(const std::array<std::uint16_t, 2>& words) { bus_.set_ea_outputs(words); }

    // Identity word answered to cmd_identify; overrides the form's own (fault injection).
    void set_identity_override(std::uint16_t word)
    {
        identity_overridden_ = true;
        identity_override_ = word;
    }
    void clear_identity_override() { identity_overridden_ = false; }

    // Commands received since the last clear, in order.
    const std::vector<SimCommand>& commands() const { return log_; }
    void clear_commands() { log_.clear(); }
    // Every written report since the last clear, with where the module placed it.
    const std::vector<SimReport>& placements() const { return placements_; }
    void clear_placements() { placements_.clear(); }
    // Whether the module expects the next report as data of a transfer or as a chunk's end
    // frame, rather than as a new frame.
    bool mid_exchange() const { return inbound_ != Inbound::none || awaiting_end_; }
    // The module restarts as after power-on in the form it is in: a transfer in progress is
    // dropped, the loader waits for a new announcement.
    void power_cycle();

private:
    // Data announced by the last command and still to arrive.
    enum class Inbound { none, block, ram, update };

    std::uint8_t* start_reply(std::size_t length);
    void reply_from(const std::vector<std::uint8_t>& memory, std::uint64_t base,
                    std::uint64_t address, std::size_t length);
    void log_command(const CommandFrame& f);
    void log_placement(SimPlacement placement, const std::uint8_t* data64);
    void abandon_transfer();
    void reject_open_chunk();
    void expect(Inbound kind, std::size_t total);
    void command(const CommandFrame& f);
    void loader_command(const CommandFrame& f);
    void application_command(const CommandFrame& f);
    void finish_chunk(const CommandFrame& end);
    void data(const std::uint8_t* data64);
    void finish_update();

    Form form_ = Form::application;
    std::uint32_t firmware_version_ = 0x00043600;
    std::uint32_t loader_version_ = 0x00010203;
    std::uint32_t firmware_after_update_ = 0x00043600;
    bool identity_overridden_ = false;
    std::uint16_t identity_override_ = 0;

    std::vector<std::uint8_t> flash_ =
        std::vector<std::uint8_t>(flash_end_address - flash_rom_address, 0xFF);
    std::vector<std::uint8_t> ram_ = std::vector<std::uint8_t>(ram_size, 0x00);
    std::vector<std::uint8_t> bank_main_ = std::vector<std::uint8_t>(ram_size, 0x00);
    std::vector<std::uint8_t> bank_reserve_ = std::vector<std::uint8_t>(ram_size, 0x00);

    bool cpu_running_ = true;
    bool ext_dac_ = false;
    std::size_t restarts_ = 0;

    // Reply waiting to be read.
    std::vector<std::uint8_t> reply_;
    std::size_t reply_pos_ = 0;

    Inbound inbound_ = Inbound::none;
    std::size_t inbound_total_ = 0;
    std::size_t inbound_received_ = 0;
    std::uint32_t inbound_offset_ = 0;  // RAM offset of cmd_ram_write_begin
    std::uint64_t last_report_ms_ = 0;  // simulated time of the last written report

    // Summed chunk between cmd_block_begin and cmd_block_end.
    bool chunk_open_ = false;          // begin seen, end not yet
    bool awaiting_end_ = false;        // the chunk's data are in: the next frame is its end
    CommandFrame chunk_begin_;
    std::uint32_t chunk_sum_ = 0;      // byte sum of the data as it arrived
    std::vector<std::uint8_t> chunk_;  // data, at most the flash's size kept
    std::size_t chunks_committed_ = 0;
    std::size_t chunks_rejected_ = 0;

    std::vector<std::uint8_t> update_image_;  // being received
    std::vector<std::uint8_t> last_update_image_;
    std::size_t updates_completed_ = 0;

    CncBus bus_;
    std::vector<SimCommand> log_;
    std::vector<SimReport> placements_;
};
