#include "sim/cnc_bus.h"

#include <algorithm>

#include "define/define.h"

namespace {

// Counter rates of the four measuring channels while the CNC processor runs, counts per second.
constexpr std::int32_t counter_rates[4] = {25, -10, 100, 3};

int counter_channel(std::uint16_t address)
{
    if (address >= bus_counter_kip1 && address <= bus_counter_kip4) return address - bus_counter_kip1;
    return -1;
}

int dac_channel(std::uint16_t address)
{
    if (address >= bus_dac_kp1 && address <= bus_dac_kp4) return address - bus_dac_kp1;
    return -1;
}

int input_index(std::uint16_t address)
{
    switch (address) {
    case bus_inputs_1: return 0;
    case bus_inputs_2: return 1;
    case bus_inputs_3: return 2;
    case bus_inputs_4: return 3;
    default: return -1;
    }
}

// Counters saturate at the limits of a signed 16-bit value between two reads.
std::int32_t saturate16(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

}  // namespace

CncBus::CncBus() { refresh_live_values(); }

void CncBus::refresh_live_values()
{
    const std::uint64_t t = time_ms_;
    const std::array<std::uint16_t, 4> live = {
        static_cast<std::uint16_t>(1u << ((t / 250) % 16)),             // running light
        static_cast<std::uint16_t>(t / 100),                            // tenths of seconds
        static_cast<std::uint16_t>((t / 500) % 2 ? 0xAAAA : 0x5555),    // alternating bits
        static_cast<std::uint16_t>(t / 1000),                           // seconds
    };
    for (std::size_t i = 0; i < 4; ++i)
        if (!inputs_pinned_[i]) inputs_[i] = live[i];
    if (!ea_inputs_pinned_) {
        ea_inputs_ = {static_cast<std::uint16_t>(0x8000u >> ((t / 200) % 16)),
                      static_cast<std::uint16_t>(t / 1000),
                      static_cast<std::uint16_t>((t / 1000) % 2 ? 0x00FF : 0xFF00),
                      0x0F0F};
    }
    if (!ea_outputs_pinned_) {
        ea_outputs_ = {static_cast<std::uint16_t>(1u << ((t / 500) % 16)),
                       static_cast<std::uint16_t>((t / 2000) % 2 ? 0x0003 : 0x000C)};
    }
}

void CncBus::advance(std::uint32_t ms, bool cpu_running)
{
    time_ms_ += ms;
    if (cpu_running) {
        for (std::size_t i = 0; i < 4; ++i) {
            const std::int64_t progress =
                std::int64_t{count_remainder_[i]} + std::int64_t{counter_rates[i]} * ms;
            const std::int64_t whole = progress / 1000;
            count_remainder_[i] = static_cast<std::int32_t>(progress % 1000);
            counts_[i] = saturate16(std::int64_t{counts_[i]} + whole);
        }
    }
    refresh_live_values();
}

std::uint16_t CncBus::peek(std::uint16_t address) const
{
    if (const int i = input_index(address); i >= 0) return inputs_[i];
    if (const int c = counter_channel(address); c >= 0) return static_cast<std::uint16_t>(counts_[c]);
    if (const int d = dac_channel(address); d >= 0) return dac_[d];
    if (address == bus_outputs_1) return outputs_1_;
    if (address == bus_outputs_2) return outputs_2_;
    if (address == bus_kip_outputs) return kip_outputs_;
    const auto it = other_registers_.find(address);
    return it == other_registers_.end() ? 0 : it->second;
}

std::uint16_t CncBus::read(std::uint16_t address)
{
    const std::uint16_t v = peek(address);
    if (const int c = counter_channel(address); c >= 0) counts_[c] = 0;
    return v;
}

void CncBus::write(std::uint16_t address, std::uint16_t value)
{
    if (input_index(address) >= 0 || counter_channel(address) >= 0) return;
    if (const int d = dac_channel(address); d >= 0) {
        dac_[d] = value;
    } else if (address == bus_outputs_1) {
        outputs_1_ = value;
    } else if (address == bus_outputs_2) {
        outputs_2_ = value;
    } else if (address == bus_kip_outputs) {
        kip_outputs_ = static_cast<std::uint16_t>((kip_outputs_ & ~0x000Fu) | (value & 0x000Fu));
    } else {
        other_registers_[address] = value;
    }
}

void CncBus::set(std::uint16_t address, std::uint16_t value)
{
    if (const int i = input_index(address); i >= 0) {
        inputs_[i] = value;
        inputs_pinned_[i] = true;
    } else if (const int c = counter_channel(address); c >= 0) {
        counts_[c] = static_cast<std::int16_t>(value);
    } else if (address == bus_kip_outputs) {
        kip_outputs_ = value;
    } else {
        write(address, value);
    }
}

void CncBus::add_counts(int channel, std::int16_t counts)
{
    if (channel < 1 || channel > 4) return;
    auto& pending = counts_[static_cast<std::size_t>(channel - 1)];
    pending = saturate16(std::int64_t{pending} + counts);
}

void CncBus::set_ea_inputs(const std::array<std::uint16_t, 4>& words)
{
    ea_inputs_ = words;
    ea_inputs_pinned_ = true;
}

void CncBus::set_ea_outputs(const std::array<std::uint16_t, 2>& words)
{
    ea_outputs_ = words;
    ea_outputs_pinned_ = true;
}
