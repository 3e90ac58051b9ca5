// The simulated module: the module's side of the whole command set, in its two forms
// (application and loader), with its flash, RAM and non-volatile banks, the CNC processor
// state, the external DAC mode, the CNC bus registers and the firmware update hand-over.
// It speaks 64-byte feature-report payloads, so the same object serves the simulated bus
// (tests, demo) and a virtual HID device through the kernel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "define/define.h"

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

class SimModule : public FeatureEndpoint {
public:
    enum class Form { application, loader };

    SimModule();
    ~SimModule() override;
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
    Form form() const;
    void set_form(Form f);
    std::uint32_t firmware_version() const;        // e.g. 0x00043600 reads 4.36
    void set_firmware_version(std::uint32_t v);
    std::uint32_t loader_version() const;          // e.g. 0x00010203 reads 1.2.3.
    void set_loader_version(std::uint32_t v);
    // Version the application reports after a completed update (the image is opaque).
    void set_firmware_version_after_update(std::uint32_t v);
    const std::vector<std::uint8_t>& last_update_image() const;  // bytes the loader took
    std::size_t updates_completed() const;

    bool cpu_running() const;
    void set_cpu_running(bool on);
    bool ext_dac_on() const;
    void set_ext_dac_on(bool on);
    std::size_t restarts() const;

    // Flash from flash_rom_address to flash_end_address (erased = 0xFF).
    std::uint8_t* flash_at(std::uint32_t address);     // nullptr outside
    std::uint8_t* ram();                                // ram_size bytes
    std::uint8_t* ram_bank(std::uint32_t selector);     // ram_bank_main / ram_bank_reserve
    std::size_t chunks_committed() const;
    std::size_t chunks_rejected() const;               // bad sum or framing

    // Register value as the next cmd_bus_read would answer it (counters are not cleared).
    // Inputs (170461..170467) follow simulated time until set here, then hold the value set;
    // a counter (170521..170524) set here holds that many pending counts (signed 16-bit);
    // channel 0 (170520) takes all 16 bits here, but only bits 3..0 from cmd_bus_write.
    std::uint16_t bus_register(std::uint16_t address) const;
    void set_bus_register(std::uint16_t address, std::uint16_t value);
    // Counts pending on a counter channel (1..4) until the next read of its register.
    void add_counts(int channel, std::int16_t counts);
    // Inputs of the EA controller (four words) and its outputs (two words); they follow
    // simulated time until set here, then hold the words set.
    void set_ea_inputs(const std::array<std::uint16_t, 4>& words);
    void set_ea_outputs(const std::array<std::uint16_t, 2>& words);

    // Identity word answered to cmd_identify; overrides the form's own (fault injection).
    void set_identity_override(std::uint16_t word);
    void clear_identity_override();

    // Commands received since the last clear, in order.
    const std::vector<SimCommand>& commands() const;
    void clear_commands();

private:
    struct State;
    std::unique_ptr<State> s_;
};
