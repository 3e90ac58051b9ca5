// The I/O pages and the module commands: the output registers of "КЭ/БФОС" (170462, 170464)
// and "КИП/БОС" (170520), the four DAC channels of "КП(ЦАП)" (170500..170503), the counter
// reset, and the CNC stop/start and module restart of the status panel. Nothing is read back
// here: the status monitor shows the registers' live values.
#include <array>
#include <cstdint>
#include <span>

#include "app/Unit1.h"
#include "app/window_action_scope.h"
#include "app/control_groups.h"
#include "app/formats.h"
#include "module/actions.h"

namespace {

// The output check boxes in rows under the bit rows of their registers, leftmost first:
// CheckBox1..16 under 170462, CheckBox17..32 under 170464, CheckBox33..36 under the last four
// digits of 170520.
constexpr auto outputs_1_boxes = std::span(output_check_boxes).subspan<0, 16>();
constexpr auto outputs_2_boxes = std::span(output_check_boxes).subspan<16, 16>();
constexpr auto kip_outputs_boxes = std::span(output_check_boxes).subspan<32, 4>();

// The word the boxes make: the first box is the highest bit, the last box bit 0.
std::uint16_t word_from_boxes(const View& view, std::span<const Control> boxes)
{
    std::uint16_t word = 0;
    for (Control box : boxes) word = static_cast<std::uint16_t>(word << 1 | (view.checked(box) ? 1 : 0));
    return word;
}

// Runs one module action on the application under the window's hold; false when the module
// was not found or did not take the whole sequence.
template <typename Action>
bool on_application(View& view, Hid& hid, DeviceHandle& slot, DeviceIdentity& identity, Action action)
{
    WindowActionScope module(view, hid, slot);
    module.open(identity);
    return action(module.handle()).ok();
}

}  // namespace

// Outputs and DAC values are written only through the application and only while the CNC is
// stopped; otherwise the click does nothing.

void TMainForm::Button10Click()
{
    if (!app_identity.found || proc_en != 0) return;
    const std::uint16_t outputs_1 = word_from_boxes(view_, outputs_1_boxes);
    const std::uint16_t outputs_2 = word_from_boxes(view_, outputs_2_boxes);
    const BusWrite writes[] = {{bus_outputs_1, outputs_1}, {bus_outputs_2, outputs_2}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button11Click()
{
    if (!app_identity.found || proc_en != 0) return;
    const std::uint16_t kip_outputs = word_from_boxes(view_, kip_outputs_boxes);
    const BusWrite writes[] = {{bus_kip_outputs, kip_outputs}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button12Click()
{
    if (!app_identity.found || proc_en != 0) return;
    // A field in red holds no value: what it stored before may be a number typed on the way
    // to the one the engineer meant (20000 on the way to 200000). Nothing goes to the CNC then.
    for (const bool red : dac_entry_red) {
        if (red) {
            view_.show_message(module_caption, conversion_error_text);
            return;
        }
    }
    // The values go as stored: the valid entry of each field, no scaling, no range check.
    const BusWrite writes[] = {{bus_dac_kp1, static_cast<std::uint16_t>(KP1)},
                               {bus_dac_kp2, static_cast<std::uint16_t>(KP2)},
                               {bus_dac_kp3, static_cast<std::uint16_t>(KP3)},
                               {bus_dac_kp4, static_cast<std::uint16_t>(KP4)}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

namespace {

// A DAC field's text, parsed as octal: a valid text is stored and shown normally; an invalid
// one turns red and the last valid value stays.
void take_dac_entry(View& view, Control edit, std::int32_t& value, bool& red)
{
    try {
        value = OctToWord(view.text(edit));
        red = false;
    } catch (const ConversionError&) {
        red = true;
    }
    view.set_red(edit, red);
}

}  // namespace

void TMainForm::Edit7Change() { take_dac_entry(view_, Control::Edit7, KP1, dac_entry_red[0]); }
void TMainForm::Edit8Change() { take_dac_entry(view_, Control::Edit8, KP2, dac_entry_red[1]); }
void TMainForm::Edit9Change() { take_dac_entry(view_, Control::Edit9, KP3, dac_entry_red[2]); }
void TMainForm::Edit10Change() { take_dac_entry(view_, Control::Edit10, KP4, dac_entry_red[3]); }

void TMainForm::Button8Click()
{
    if (!app_identity.found) return;
    // The button's mode, kept current by the status monitor: 0 stops the CNC, 1 starts it.
    const auto action = Tag == 0 ? stop_cnc : start_cnc;
    if (!on_application(view_, hid_, HidHandle, app_identity, action))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button13Click()
{
    if (!app_identity.found) return;
    if (!on_application(view_, hid_, HidHandle, app_identity, restart_module))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button6Click()
{
    // Only the tool's totals: the module's counters are not touched.
    KIP1 = KIP2 = KIP3 = KIP4 = 0;
    for (Control c : {Control::StaticText43, Control::StaticText44, Control::StaticText45,
                      Control::StaticText46})
        view_.set_text(c, counter_reset_text);
}
