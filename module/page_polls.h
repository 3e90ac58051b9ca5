// The pages of the window whose status-monitor tick reads CNC bus registers: what the tick
// asks of the module on each, and the registers it reads, in the order of its exchanges (the
// page's rows show the replies in that order). The window's status monitor builds its tick
// from this table, and lirvan-cli watch its --page.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "define/define.h"
#include "module/status_probe.h"

struct PagePolls {
    int page;               // the page's index in the window's tab order
    const char* name;       // as lirvan-cli names it
    TickPoll poll;
    std::span<const std::uint16_t> registers;
};

namespace page_poll_registers {
// "КЭ/БФОС": the four inputs, then the two outputs.
inline constexpr std::uint16_t ke_bfos[] = {bus_inputs_1, bus_inputs_2, bus_inputs_3,
                                            bus_inputs_4, bus_outputs_1, bus_outputs_2};
// "КИП/БОС": measuring channel 0, then the counters of КИП1..КИП4. Reading a counter takes its
// counts, so the page reads them only while the CNC is stopped.
inline constexpr std::uint16_t kip_bos[] = {bus_kip_outputs, bus_counter_kip1, bus_counter_kip2,
                                            bus_counter_kip3, bus_counter_kip4};
// "КП(ЦАП)": the four DAC channels, read with the external DAC mode on.
inline constexpr std::uint16_t kp_dac[] = {bus_dac_kp1, bus_dac_kp2, bus_dac_kp3, bus_dac_kp4};
// "Контроллер ЭА": after the controller's own words, the CNC's view of its output and input.
inline constexpr std::uint16_t ea_cnc[] = {bus_outputs_1, bus_inputs_1};
}  // namespace page_poll_registers

// The controller's own words on "Контроллер ЭА", in reply order (four inputs, two outputs),
// each by the CNC register it stands for, as the page's rows caption them.
inline constexpr std::uint16_t controller_input_words[] = {bus_inputs_1, bus_inputs_2, bus_inputs_3, bus_inputs_4};
inline constexpr std::uint16_t controller_output_words[] = {bus_outputs_1, bus_outputs_2};

inline constexpr std::array<PagePolls, 4> polled_pages{{
    {5, "ke", TickPoll::registers, page_poll_registers::ke_bfos},
    {6, "kip", TickPoll::registers_while_stopped, page_poll_registers::kip_bos},
    {7, "kp", TickPoll::dac, page_poll_registers::kp_dac},
    {8, "ea", TickPoll::controller, page_poll_registers::ea_cnc},
}};

// The polls of page `page` (tab index), or null for a page that reads no registers.
constexpr const PagePolls* page_polls(int page)
{
    for (const PagePolls& p : polled_pages)
        if (p.page == page) return &p;
    return nullptr;
}

constexpr const PagePolls* page_polls_named(std::string_view name)
{
    for (const PagePolls& p : polled_pages)
        if (name == p.name) return &p;
    return nullptr;
}
