// The CNC side of the simulated module: the bus registers the tool reads and writes (inputs,
// outputs, measuring channel 0, the counters of channels 1..4, the DAC channels), the words of
// the EA controller, and the simulated clock that moves the inputs and runs the counters.
#pragma once

#include <array>
#include <cstdint>
#include <map>

class CncBus {
public:
    CncBus();

    // Simulated time: inputs move as time advances; the counters count while the CNC
    // processor runs (channels 1..4 at +25, -10, +100 and +3 counts per second).
    void advance(std::uint32_t ms, bool cpu_running);
    std::uint64_t time_ms() const { return time_ms_; }

    // A register as the next read would answer it (counters are not cleared).
    std::uint16_t peek(std::uint16_t address) const;
    // A read by the tool: counters hand over their counts and start again from zero.
    std::uint16_t read(std::uint16_t address);
    // A write by the tool: inputs and counters are read-only; channel 0 takes its output bits.
    void write(std::uint16_t address, std::uint16_t value);
    // A register set from outside (tests, the demo): an input holds the value from now on, a
    // counter holds that many pending counts (signed 16-bit), channel 0 takes all 16 bits.
    void set(std::uint16_t address, std::uint16_t value);
    // Counts pending on a counter channel (1..4) until the next read of its register.
    void add_counts(int channel, std::int16_t counts);

    // The EA controller's inputs (four words) and outputs (two words): they follow simulated
    // time until set, then hold the words set.
    const std::array<std::uint16_t, 4>& ea_inputs() const { return ea_inputs_; }
    const std::array<std::uint16_t, 2>& ea_outputs() const { return ea_outputs_; }
    void set_ea_inputs(const std::array<std::uint16_t, 4>& words);
    void set_ea_outputs(const std::array<std::uint16_t, 2>& words);

private:
    void refresh_live_values();

    std::uint64_t time_ms_ = 0;
    std::array<std::uint16_t, 4> inputs_{};
    std::array<bool, 4> inputs_pinned_{};
    std::uint16_t outputs_1_ = 0, outputs_2_ = 0;
    std::uint16_t kip_outputs_ = 0;
    std::array<std::int32_t, 4> counts_{};           // pending since the last read
    std::array<std::int32_t, 4> count_remainder_{};  // sub-count progress, in counts × ms
    std::array<std::uint16_t, 4> dac_{};
    std::map<std::uint16_t, std::uint16_t> other_registers_;
    std::array<std::uint16_t, 4> ea_inputs_{};
    bool ea_inputs_pinned_ = false;
    std::array<std::uint16_t, 2> ea_outputs_{};
    bool ea_outputs_pinned_ = false;
};
