// The status monitor: once a second it finds out whether the module's application or its
// loader answers, shows the connection and the versions, keeps the CNC start/stop button and
// the enabled state of the control groups in step with the CNC, polls the registers of the
// page on view, and starts a requested firmware update when the loader answers.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/form.h"
#include "app/formats.h"
#include "app/panel_texts.h"
#include "define/byte_order.h"

namespace {

// The exchanges of one tick on the handle it opened. Every reply goes into the one 8-byte
// buffer; an exchange reports success only when its command and its whole reply went through,
// and the tick shows and adds only what such an exchange brought.
class TickLink {
public:
    explicit TickLink(DeviceHandle handle) : handle_(handle) {}

    bool ask(std::uint8_t code, std::uint32_t word_a = 0)
    {
        return send_command(handle_, code, word_a) && receive_data(handle_, reply.data(), reply.size());
    }
    // A 4-byte reply of the loader as one word; the word is left alone when the exchange fails.
    bool ask_word(std::uint8_t code, std::uint32_t& word)
    {
        std::uint8_t bytes[loader_word_reply_length] = {};
        if (!send_command(handle_, code) || !receive_data(handle_, bytes, sizeof bytes)) return false;
        word = get_le32(bytes);
        return true;
    }
    // A bus register read: the register's value, bytes 0-1 of the reply.
    bool read_register(std::uint16_t address, std::uint16_t& value)
    {
        if (!ask(cmd_bus_read, address)) return false;
        value = get_le16(reply.data());
        return true;
    }
    void tell(std::uint8_t code) { send_command(handle_, code); }

    std::array<std::uint8_t, bus_reply_length> reply{};

private:
    DeviceHandle handle_;
};

// Closes the tick's handle and restores the cursor on every way out of the exchanges, an
// exception included.
class TickHandleGuard {
public:
    TickHandleGuard(DeviceHandle& handle, View& view) : handle_(handle), view_(view) {}
    TickHandleGuard(const TickHandleGuard&) = delete;
    TickHandleGuard& operator=(const TickHandleGuard&) = delete;
    ~TickHandleGuard() { release(); }
    void release()
    {
        if (!handle_.valid()) return;
        close_device(handle_);
        view_.set_cursor(CursorShape::normal);
    }

private:
    DeviceHandle& handle_;
    View& view_;
};

// The rows the monitor polls, as the form lays them out (app/form.h), in table order: a
// register row is a bus register shown as a bit row and six octal digits, a counter row a
// counter's running total, a DAC row a channel in plain octal and in volts. Rows without an
// address show the words of a reply instead.
struct RegisterRow { std::uint16_t address; Control bits, octal; };
struct WordView { Control bits, octal; };

std::vector<RegisterRow> register_rows(Frame frame)
{
    std::vector<RegisterRow> rows;
    for (const FormControl& row : form_rows(FormKind::register_row, frame))
        rows.push_back({row.address, *row.name, *row.partner});
    return rows;
}

std::vector<WordView> word_views(Frame frame)
{
    std::vector<WordView> views;
    for (const FormControl& row : form_rows(FormKind::register_row, frame))
        views.push_back({*row.name, *row.partner});
    return views;
}

struct FormRows {
    std::vector<RegisterRow> ke_bfos = register_rows(Frame::page_ke_bfos);  // inputs, then outputs
    std::vector<RegisterRow> kip0 = register_rows(Frame::page_kip_bos);     // measuring channel 0
    std::vector<FormControl> counters = form_rows(FormKind::counter_row, Frame::page_kip_bos);
    std::vector<FormControl> dac = form_rows(FormKind::dac_row, Frame::page_kp_dac);
    std::vector<WordView> ea_inputs = word_views(Frame::ea_inputs);
    std::vector<WordView> ea_outputs = word_views(Frame::ea_outputs);
    std::vector<RegisterRow> nc31 = register_rows(Frame::ea_cnc);  // the CNC's own view
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

// Reads the registers in order and shows each one that arrived.
void read_rows(View& view, TickLink& link, const std::vector<RegisterRow>& rows)
{
    std::uint16_t value = 0;
    for (const auto& row : rows)
        if (link.read_register(row.address, value)) show_register(view, value, row.bits, row.octal);
}

// Shows the little-endian words of the last reply, word i in views[i].
void show_reply_words(View& view, const TickLink& link, const std::vector<WordView>& views)
{
    for (std::size_t i = 0; i < views.size() && 2 * i + 1 < link.reply.size(); ++i)
        show_register(view, get_le16(&link.reply[2 * i]), views[i].bits, views[i].octal);
}

// Adds a counter step to a total; the total wraps like the 32-bit register it mirrors.
void add_step(std::int32_t& total, std::int32_t step)
{
    total = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) + static_cast<std::uint32_t>(step));
}

// The register polls of the page on view, in their fixed order: page 5, page 6, page 7, the
// DAC hand-back on any other page, page 8.
void poll_page(View& view, TickLink& link, TMainForm& form, int page, std::uint8_t running,
               std::uint8_t ext_dac)
{
    std::uint16_t value = 0;
    if (page == page_ke_bfos) read_rows(view, link, rows().ke_bfos);
    if (page == page_kip_bos && running == 0) {
        read_rows(view, link, rows().kip0);
        // Each read hands over the counts since the previous one; a read that failed brought
        // none, so nothing is added for it.
        for (std::size_t i = 0; i < rows().counters.size() && i < counter_totals.size(); ++i) {
            const FormControl& row = rows().counters[i];
            if (!link.read_register(row.address, value)) continue;
            std::int32_t& total = form.*counter_totals[i];
            add_step(total, counter_step(value));
            view.set_text(*row.name, std::to_string(total));
        }
    }
    if (page == page_kp_dac) {
        // The DAC page needs the module's external DAC mode: ask for it while it is off.
        if (ext_dac == 0) link.tell(cmd_ext_dac_on);
        for (const FormControl& row : rows().dac) {
            if (!link.read_register(row.address, value)) continue;
            view.set_text(*row.name, WordToOct(value));
            view.set_text(*row.partner, volts_text(value));
        }
    }
    if (page != page_kp_dac && ext_dac == 1) link.tell(cmd_ext_dac_off);
    if (page == page_ea) {
        if (link.ask(cmd_ea_read_inputs)) show_reply_words(view, link, rows().ea_inputs);
        if (link.ask(cmd_ea_read_outputs)) show_reply_words(view, link, rows().ea_outputs);
        read_rows(view, link, rows().nc31);
    }
}

}  // namespace

void TMainForm::Timer1Timer()
{
    // This tick's CNC state: (0, 0) unless the application's status reply arrived.
    std::uint8_t running = 0;
    std::uint8_t ext_dac = 0;
    bool status_received = false;
    bool loader_status_received = false;
    bool loader_info_received = false;

    {
        TickHandleGuard guard(HidHandle, view_);
        HidHandle = open_device(hid_, app_identity);
        if (!app_identity.found) {
            HidHandle = open_device(hid_, loader_identity);
            if (loader_identity.found) {
                TickLink link(HidHandle);
                loader_status_received = link.ask_word(cmd_get_status, loader_identity.loader_version);
                loader_info_received = link.ask_word(cmd_get_loader_info, loader_identity.firmware_version);
            }
        } else {
            loader_identity.found = false;
            TickLink link(HidHandle);
            status_received = link.ask(cmd_get_status);
            // Without a status reply the tick knows neither whether the CNC runs nor the DAC
            // mode, on which the polls depend: it polls nothing.
            if (status_received) {
                app_identity.firmware_version = get_le32(link.reply.data());
                running = link.reply[4];
                ext_dac = link.reply[5];
                poll_page(view_, link, *this, view_.active_page(), running, ext_dac);
            }
        }
        guard.release();
    }

    if (loader_identity.found) {
        view_.set_text(Control::StaticText7, connection_loader_text);
        if (loader_status_received)
            view_.set_text(Control::StaticText9, loader_version_text(loader_identity.loader_version));
        if (up_flag) {
            up_flag = false;
            stream_update();
        }
        if (loader_info_received)
            view_.set_text(Control::StaticText8, firmware_version_text(loader_identity.firmware_version));
        set_group_enabled(view_, device_action_buttons, true);
    } else if (app_identity.found) {
        view_.set_text(Control::StaticText7, connection_app_text);
        view_.set_text(Control::StaticText9, not_available_text);
        if (status_received)
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
    if (!status_received) return;
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
