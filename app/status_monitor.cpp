// The status monitor: once a second it finds out whether the module's application or its
// loader answers, shows the connection and the versions, keeps the CNC start/stop button and
// the enabled state of the control groups in step with the CNC, polls the registers of the
// page on view, and starts a requested firmware update when the loader answers.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/formats.h"
#include "app/held_module.h"
#include "module/status_probe.h"

namespace {

// A register shown as a bit row and six octal digits.
struct RegisterRow { std::uint16_t address; Control bits, octal; };

// Page "КЭ/БФОС": the inputs, then the outputs.
constexpr std::array ke_bfos_rows{
    RegisterRow{bus_in_170461, Control::StaticText29, Control::StaticText35},
    RegisterRow{bus_in_170463, Control::StaticText30, Control::StaticText36},
    RegisterRow{bus_in_170465, Control::StaticText31, Control::StaticText37},
    RegisterRow{bus_in_170467, Control::StaticText32, Control::StaticText38},
    RegisterRow{bus_out_170462, Control::StaticText33, Control::StaticText39},
    RegisterRow{bus_out_170464, Control::StaticText34, Control::StaticText40},
};

// Page "КИП/БОС": measuring channel 0.
constexpr std::array kip0_rows{RegisterRow{bus_kip_170520, Control::StaticText41, Control::StaticText42}};

// Page "Контроллер ЭА", group "НЦ-31": the CNC's own view of its output and input registers.
constexpr std::array nc31_rows{
    RegisterRow{bus_out_170462, Control::StaticText67, Control::StaticText71},
    RegisterRow{bus_in_170461, Control::StaticText68, Control::StaticText72},
};

// Page "КИП/БОС": the counters of channels КИП1..КИП4 and where their totals show.
struct CounterRow { std::uint16_t address; std::int32_t TMainForm::*total; Control text; };

constexpr std::array counter_rows{
    CounterRow{bus_kip_170521, &TMainForm::KIP1, Control::StaticText43},
    CounterRow{bus_kip_170522, &TMainForm::KIP2, Control::StaticText44},
    CounterRow{bus_kip_170523, &TMainForm::KIP3, Control::StaticText45},
    CounterRow{bus_kip_170524, &TMainForm::KIP4, Control::StaticText46},
};

// Page "КП(ЦАП)": each channel in plain octal and in volts.
struct DacRow { std::uint16_t address; Control octal, volts; };

constexpr std::array dac_rows{
    DacRow{bus_dac_170500, Control::StaticText47, Control::StaticText51},
    DacRow{bus_dac_170501, Control::StaticText48, Control::StaticText52},
    DacRow{bus_dac_170502, Control::StaticText49, Control::StaticText53},
    DacRow{bus_dac_170503, Control::StaticText50, Control::StaticText54},
};

// Page "Контроллер ЭА": the words of the controller's replies, in reply order.
struct WordView { Control bits, octal; };

constexpr std::array ea_input_views{
    WordView{Control::StaticText55, Control::StaticText59}, WordView{Control::StaticText56, Control::StaticText60},
    WordView{Control::StaticText57, Control::StaticText61}, WordView{Control::StaticText58, Control::StaticText62},
};
constexpr std::array ea_output_views{
    WordView{Control::StaticText63, Control::StaticText65}, WordView{Control::StaticText64, Control::StaticText66},
};

// The addresses of the rows, in row order: what the page asks the probe to read.
template <typename Row, std::size_t N>
constexpr std::array<std::uint16_t, N> addresses_of(const std::array<Row, N>& rows)
{
    std::array<std::uint16_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = rows[i].address;
    return out;
}

template <std::size_t A, std::size_t B>
constexpr std::array<std::uint16_t, A + B> joined(const std::array<std::uint16_t, A>& a,
                                                  const std::array<std::uint16_t, B>& b)
{
    std::array<std::uint16_t, A + B> out{};
    for (std::size_t i = 0; i < A; ++i) out[i] = a[i];
    for (std::size_t i = 0; i < B; ++i) out[A + i] = b[i];
    return out;
}

constexpr auto ke_bfos_addresses = addresses_of(ke_bfos_rows);
// Channel 0, then the counters of КИП1..КИП4.
constexpr auto kip_bos_addresses = joined(addresses_of(kip0_rows), addresses_of(counter_rows));
constexpr auto dac_addresses = addresses_of(dac_rows);
constexpr auto nc31_addresses = addresses_of(nc31_rows);

void show_register(View& view, std::uint16_t value, Control bits, Control octal)
{
    WordToBitRow(value, view, bits);
    WordToOct6(value, view, octal);
}

// Shows each reading that arrived in its row; readings and rows are in the same order.
template <typename Row, std::size_t N>
void show_rows(View& view, std::span<const RegisterReading> readings, const std::array<Row, N>& rows)
{
    for (std::size_t i = 0; i < N && i < readings.size(); ++i)
        if (readings[i].valid) show_register(view, readings[i].value, rows[i].bits, rows[i].octal);
}

template <std::size_t N>
void show_words(View& view, const std::array<std::uint16_t, N>& words, const std::array<WordView, N>& views)
{
    for (std::size_t i = 0; i < N; ++i) show_register(view, words[i], views[i].bits, views[i].octal);
}

// Adds a counter step to a total; the total wraps like the 32-bit register it mirrors.
void add_step(std::int32_t& total, std::int32_t step)
{
    total = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) + static_cast<std::uint32_t>(step));
}

}  // namespace

TickRequest TMainForm::tick_request() const
{
    switch (view_.active_page()) {
    case page_ke_bfos: return {TickPoll::registers, ke_bfos_addresses};
    case page_kip_bos: return {TickPoll::registers_while_stopped, kip_bos_addresses};
    case page_kp_dac: return {TickPoll::dac, dac_addresses};
    case page_ea: return {TickPoll::controller, nc31_addresses};
    default: return {TickPoll::none, {}};
    }
}

void TMainForm::Timer1Timer()
{
    TickReport report;
    {
        HeldModule module(view_, hid_, HidHandle);
        report = probe_module(module.hold(), app_identity, loader_identity, tick_request());
    }
    show_tick(report);
}

void TMainForm::show_tick(const TickReport& report)
{
    // The polls of the page on view, each reading that arrived.
    const std::span<const RegisterReading> readings = report.registers;
    switch (view_.active_page()) {
    case page_ke_bfos: show_rows(view_, readings, ke_bfos_rows); break;
    case page_kip_bos:
        show_rows(view_, readings, kip0_rows);
        // Each read hands over the counts since the previous one; a read that failed brought
        // none, so nothing is added for it.
        for (std::size_t i = 0; i < counter_rows.size() && kip0_rows.size() + i < readings.size(); ++i) {
            const RegisterReading& r = readings[kip0_rows.size() + i];
            if (!r.valid) continue;
            std::int32_t& total = this->*counter_rows[i].total;
            add_step(total, counter_step(r.value));
            view_.set_text(counter_rows[i].text, std::to_string(total));
        }
        break;
    case page_kp_dac:
        for (std::size_t i = 0; i < dac_rows.size() && i < readings.size(); ++i) {
            if (!readings[i].valid) continue;
            view_.set_text(dac_rows[i].octal, WordToOct(readings[i].value));
            view_.set_text(dac_rows[i].volts, volts_text(readings[i].value));
        }
        break;
    case page_ea:
        if (report.inputs_valid) show_words(view_, report.inputs, ea_input_views);
        if (report.outputs_valid) show_words(view_, report.outputs, ea_output_views);
        show_rows(view_, readings, nc31_rows);
        break;
    default: break;
    }

    // What the tick learned goes into the identities as the searches left them.
    if (report.status_valid) app_identity.firmware_version = report.firmware_version;
    if (report.loader_version_valid) loader_identity.loader_version = report.loader_version;
    if (report.loader_firmware_valid) loader_identity.firmware_version = report.loader_firmware_version;
    const std::uint8_t running = report.running;
    const std::uint8_t ext_dac = report.ext_dac;

    if (loader_identity.found) {
        view_.set_text(Control::StaticText7, connection_loader_text);
        if (report.loader_version_valid)
            view_.set_text(Control::StaticText9, loader_version_text(loader_identity.loader_version));
        if (up_flag) {
            up_flag = false;
            stream_update();
        }
        if (report.loader_firmware_valid)
            view_.set_text(Control::StaticText8, firmware_version_text(loader_identity.firmware_version));
        set_group_enabled(view_, device_action_buttons, true);
    } else if (app_identity.found) {
        view_.set_text(Control::StaticText7, connection_app_text);
        view_.set_text(Control::StaticText9, not_available_text);
        if (report.status_valid)
            view_.set_text(Control::StaticText8, firmware_version_text(app_identity.firmware_version));
        set_group_enabled(view_, device_action_buttons, true);
    } else {
        view_.set_text(Control::StaticText7, connection_none_text);
        view_.set_text(Control::StaticText8, not_available_text);
        view_.set_text(Control::StaticText9, not_available_text);
        set_group_enabled(view_, device_action_buttons, false);
        set_group_enabled(view_, output_check_boxes, false);
        set_group_enabled(view_, dac_value_edits, false);
    }

    // Only the application reports the CNC state. A tick without it changes nothing, but the
    // next reply is then applied in full, whatever the stored pair: the controls may have
    // been disabled meanwhile and the CNC may have been started or stopped on its own.
    if (!app_identity.found) {
        cnc_state_applied = false;
        return;
    }
    if (!report.status_valid) return;
    if (cnc_state_applied && running == proc_en && ext_dac == ext_dac_en) return;
    proc_en = running;
    ext_dac_en = ext_dac;
    cnc_state_applied = true;
    // A running CNC puts Button8 in stop mode and locks the outputs; a stopped one puts it in
    // start mode and frees them, the DAC values only while the external DAC is on.
    const bool stopped = running == 0;
    view_.set_text(Control::Button8, stopped ? start_cnc_text : stop_cnc_text);
    Tag = stopped ? 1 : 0;
    set_group_enabled(view_, output_check_boxes, stopped);
    set_group_enabled(view_, dac_value_edits, stopped && ext_dac_en != 0);
}
