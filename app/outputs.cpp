// The I/O pages and the module commands: the output registers of "КЭ/БФОС" (170462, 170464)
// and "КИП/БОС" (170520), the four DAC channels of "КП(ЦАП)" (170500..170503), the counter
// reset, and the CNC stop/start and module restart of the status panel. Nothing is read back
// here: the status monitor shows the registers' live values.
#include <array>
#include <cstdint>
#include <span>

#include "app/Unit1.h"
#include "app/held_module.h"
#include "app/control_groups.h"
#include "app/formats.h"
#include "module/actions.h"

namespace {

// The output check boxes in rows under the bit rows of their registers, leftmost first:
// CheckBox1..16 under 170462, CheckBox17..32 under 170464, CheckBox33..36 under the last four
// digits of 170520.
constexpr auto boxes_170462 = std::span(output_check_boxes).subspan<0, 16>();
constexpr auto boxes_170464 = std::span(output_check_boxes).subspan<16, 16>();
constexpr auto boxes_170520 = std::span(output_check_boxes).subspan<32, 4>();

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
    HeldModule module(view, hid, slot);
    module.open(identity);
    return action(module.handle()).ok();
}

}  // namespace

// Outputs and DAC values are written only through the application and only while the CNC is
// stopped; otherwise the click does nothing.

void TMainForm::Button10Click()
{
    if (!app_identity.found || proc_en != 0) return;
    const std::uint16_t out_170462 = word_from_boxes(view_, boxes_170462);
    const std::uint16_t out_170464 = word_from_boxes(view_, boxes_170464);
    const BusWrite writes[] = {{bus_out_170462, out_170462}, {bus_out_170464, out_170464}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button11Click()
{
    if (!app_identity.found || proc_en != 0) return;
    const std::uint16_t out_170520 = word_from_boxes(view_, boxes_170520);
    const BusWrite writes[] = {{bus_kip_170520, out_170520}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

void TMainForm::Button12Click()
{
    if (!app_identity.found || proc_en != 0) return;
    // The values go as stored: the last valid entry of each field, no scaling, no range check.
    const BusWrite writes[] = {{bus_dac_170500, static_cast<std::uint16_t>(KP1)},
                               {bus_dac_170501, static_cast<std::uint16_t>(KP2)},
                               {bus_dac_170502, static_cast<std::uint16_t>(KP3)},
                               {bus_dac_170503, static_cast<std::uint16_t>(KP4)}};
    if (!on_application(view_, hid_, HidHandle, app_identity,
                        [&](DeviceHandle h) { return write_registers(h, writes); }))
        view_.show_message(module_caption, write_failed_text);
}

namespace {

// A DAC field's text, parsed as octal: a valid text is stored and shown normally; an invalid
// one turns red and the last valid value stays.
void take_dac_entry(View& view, Control edit, std::int32_t& value)
{
    try {
        value = OctToWord(view.text(edit));
        view.set_red(edit, false);
    } catch (const ConversionError&) {
        view.set_red(edit, true);
    }
}

}  // namespace

void TMainForm::Edit7Change() { take_dac_entry(view_, Control::Edit7, KP1); }
void TMainForm::Edit8Change() { take_dac_entry(view_, Control::Edit8, KP2); }
void TMainForm::Edit9Change() { take_dac_entry(view_, Control::Edit9, KP3); }
void TMainForm::Edit10Change() { take_dac_entry(view_, Control::Edit10, KP4); }

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
