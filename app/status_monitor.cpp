// The status monitor: once a second it finds out whether the module's application or its
// loader answers, shows the connection and the versions, keeps the CNC start/stop button and
// the enabled state of the control groups in step with the CNC, polls the registers of the
// page on view, and starts a requested firmware update when the loader answers.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/form.h"
#include "app/formats.h"
#include "app/window_action_scope.h"
#include "module/page_polls.h"
#include "module/status_probe.h"

namespace {

// The rows the monitor shows, as the form lays them out (app/form.h), in table order: a
// register row is a bus register (or a word of a reply) shown as a bit row and six octal
// digits, a counter row a counter's running total, a DAC row a channel in plain octal and in
// volts. A page's rows show the registers it polls (module/page_polls.h) in their order.
struct RegisterRow { Control bits, octal; };
using WordView = RegisterRow;
struct ValueRow { Control first, second; };

std::vector<RegisterRow> register_rows(FormHolder frame)
{
    std::vector<RegisterRow> rows;
    for (const FormControl& row : form_rows(FormKind::register_row, frame))
        rows.push_back({*row.name, *row.partner});
    return rows;
}

std::vector<WordView> word_views(FormHolder frame) { return register_rows(frame); }

// Counter rows have one value control (the total), DAC rows two (octal, volts).
std::vector<ValueRow> value_rows(FormKind kind, FormHolder frame)
{
    std::vector<ValueRow> rows;
    for (const FormControl& row : form_rows(kind, frame))
        rows.push_back({*row.name, row.partner.value_or(*row.name)});
    return rows;
}

struct FormRows {
    std::vector<RegisterRow> ke_bfos = register_rows(holder_of(page_ke_bfos));  // inputs, then outputs
    std::vector<RegisterRow> kip0 = register_rows(holder_of(page_kip_bos));     // measuring channel 0
    std::vector<ValueRow> counters = value_rows(FormKind::counter_row, holder_of(page_kip_bos));
    std::vector<ValueRow> dac = value_rows(FormKind::dac_row, holder_of(page_kp_dac));
    std::vector<WordView> ea_inputs = word_views(FormHolder::ea_inputs);
    std::vector<WordView> ea_outputs = word_views(FormHolder::ea_outputs);
    std::vector<RegisterRow> nc31 = register_rows(FormHolder::ea_cnc);  // the CNC's own view
};

const FormRows& rows()
{
    static const FormRows rows;
    return rows;
}

// The running totals of channels КИП1..КИП4, in the order of the counter rows.
constexpr std::array counter_totals{&TMainForm::KIP1, &TMainForm::KIP2, &TMainForm::KIP3, &TMainForm::KIP4};

void show_register(View& view, std::uint16_t value, Control bits, Control octal)
{
    WordToBitRow(value, view, bits);
    WordToOct6(value, view, octal);
}

// Shows each reading that arrived in its row; readings and rows are in the same order.
void show_rows(View& view, std::span<const RegisterReading> readings, const std::vector<RegisterRow>& rows)
{
    for (std::size_t i = 0; i < rows.size() && i < readings.size(); ++i)
        if (readings[i].valid) show_register(view, readings[i].value, rows[i].bits, rows[i].octal);
}

template <std::size_t N>
void show_words(View& view, const std::array<std::uint16_t, N>& words, const std::vector<WordView>& views)
{
    for (std::size_t i = 0; i < N && i < views.size(); ++i)
        show_register(view, words[i], views[i].bits, views[i].octal);
}

// Adds a counter step to a total; the total wraps like the 32-bit register it mirrors.
void add_step(std::int32_t& total, std::int32_t step)
{
    total = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) + static_cast<std::uint32_t>(step));
}


// --- what each page polls, and where each reply is shown ---

void show_ke_bfos(TMainForm&, View& view, const TickReport& report)
{
    show_rows(view, report.registers, rows().ke_bfos);
}

void show_kip_bos(TMainForm& form, View& view, const TickReport& report)
{
    const std::span<const RegisterReading> readings = report.registers;
    const std::size_t first_counter = rows().kip0.size();
    show_rows(view, readings, rows().kip0);
    // Each read hands over the counts since the previous one; a read that failed brought
    // none, so nothing is added for it.
    for (std::size_t i = 0; i < rows().counters.size() && i < counter_totals.size() &&
                            first_counter + i < readings.size();
         ++i) {
        const RegisterReading& r = readings[first_counter + i];
        if (!r.valid) continue;
        std::int32_t& total = form.*counter_totals[i];
        add_step(total, counter_step(r.value));
        view.set_text(rows().counters[i].first, std::to_string(total));
    }
}

void show_kp_dac(TMainForm&, View& view, const TickReport& report)
{
    const std::span<const RegisterReading> readings = report.registers;
    for (std::size_t i = 0; i < rows().dac.size() && i < readings.size(); ++i) {
        if (!readings[i].valid) continue;
        view.set_text(rows().dac[i].first, WordToOct(readings[i].value));
        view.set_text(rows().dac[i].second, volts_text(readings[i].value));
    }
}

void show_ea(TMainForm&, View& view, const TickReport& report)
{
    if (report.inputs_valid) show_words(view, report.inputs, rows().ea_inputs);
    if (report.outputs_valid) show_words(view, report.outputs, rows().ea_outputs);
    show_rows(view, report.registers, rows().nc31);
}

// The pages that poll (module/page_polls.h says what each reads) and what shows the replies.
// The other pages poll nothing beyond the status.
struct PageShow {
    Page page;
    void (*show)(TMainForm&, View&, const TickReport&);
};

const PageShow page_shows[] = {
    {page_ke_bfos, show_ke_bfos},
    {page_kip_bos, show_kip_bos},
    {page_kp_dac, show_kp_dac},
    {page_ea, show_ea},
};
// Each page above is in the table (a missing one would not compile), with the poll its rows expect.
static_assert(page_polls(page_ke_bfos)->poll == TickPoll::registers &&
                  page_polls(page_kip_bos)->poll == TickPoll::registers_while_stopped &&
                  page_polls(page_kp_dac)->poll == TickPoll::dac &&
                  page_polls(page_ea)->poll == TickPoll::controller,
              "the polled pages of module/page_polls.h are the window's");

const PageShow* page_show(int page)
{
    for (const PageShow& p : page_shows)
        if (p.page == page) return &p;
    return nullptr;
}

}  // namespace

TickRequest TMainForm::tick_request() const
{
    const PagePolls* p = page_polls(view_.active_page());
    if (p == nullptr) return {TickPoll::none, {}};
    return {p->poll, p->registers};
}

void TMainForm::Timer1Timer()
{
    // After an image cut short the loader would take the tick's frames as image bytes: the
    // tick sends nothing while the module stays on the bus, and the panel shows the loader
    // as before. A request of "Обновить" waits for the restarted module.
    if (loader_awaits_image) {
        if (module_listed(hid_, loader_identity)) return;
        loader_awaits_image = false;
    }
    TickReport report;
    {
        WindowActionScope module(view_, hid_, HidHandle);
        report = probe_module(module.hold(), app_identity, loader_identity, tick_request());
    }
    show_tick(report);
}

void TMainForm::enable_device_actions(bool enabled)
{
    // Member by member in the group's order; "Обновить" only when the build carries an image.
    for (const Control c : device_action_buttons)
        view_.set_enabled(c, enabled && (c != Control::Button3 || carries_update()));
}

void TMainForm::show_tick(const TickReport& report)
{
    // The polls of the page on view, each reading that arrived.
    if (const PageShow* p = page_show(view_.active_page())) p->show(*this, view_, report);
    show_connection(report);
    apply_cnc_state(report);
}

// The status panel: what answers and its versions; the device actions with it.
void TMainForm::show_connection(const TickReport& report)
{
    // What the tick learned goes into the identities as the searches left them.
    if (report.status_valid) app_identity.firmware_version = report.firmware_version;
    if (report.loader_version_valid) loader_identity.loader_version = report.loader_version;
    if (report.loader_firmware_valid) loader_identity.firmware_version = report.loader_firmware_version;
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
        enable_device_actions(true);
    } else if (app_identity.found) {
        view_.set_text(Control::StaticText7, connection_app_text);
        view_.set_text(Control::StaticText9, not_available_text);
        if (report.status_valid)
            view_.set_text(Control::StaticText8, firmware_version_text(app_identity.firmware_version));
        enable_device_actions(true);
    } else {
        // A module that another program holds, or that is listed but may not be opened, is
        // named as such, not as absent.
        const bool busy = app_identity.busy || loader_identity.busy;
        const bool denied = app_identity.access_denied || loader_identity.access_denied;
        view_.set_text(Control::StaticText7, busy     ? connection_busy_text
                                             : denied ? connection_denied_text
                                                      : connection_none_text);
        view_.set_text(Control::StaticText8, not_available_text);
        view_.set_text(Control::StaticText9, not_available_text);
        enable_device_actions(false);
        set_group_enabled(view_, output_check_boxes, false);
        set_group_enabled(view_, dac_value_edits, false);
        if (denied && !busy && !access_hint_shown) {
            access_hint_shown = true;  // before the box: ticks go on while it is open
            view_.show_message(module_caption, access_denied_hint_text);
        }
    }
}

// Only the application reports the CNC state. A tick without it changes nothing, but the
// next reply is then applied in full, whatever the stored pair: the controls may have
// been disabled meanwhile and the CNC may have been started or stopped on its own.
void TMainForm::apply_cnc_state(const TickReport& report)
{
    const std::uint8_t running = report.running;
    const std::uint8_t ext_dac = report.ext_dac;
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
