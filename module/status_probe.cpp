// The status probe of a monitor tick, in the fixed order of its exchanges.
#include "module/status_probe.h"

#include "define/byte_order.h"

namespace {

// Every reply of the tick goes into one 8-byte buffer; an exchange counts only when its
// command and its whole reply went through.
class TickLink {
public:
    explicit TickLink(DeviceHandle h) : handle(h) {}

    bool ask(std::uint8_t code, std::uint32_t word_a = 0)
    {
        return send_command(handle, code, word_a) && receive_data(handle, reply.data(), reply.size());
    }
    // A 4-byte reply of the loader as one word; the word is left alone when the exchange fails.
    bool ask_word(std::uint8_t code, std::uint32_t& word)
    {
        std::uint8_t bytes[loader_word_reply_length] = {};
        if (!send_command(handle, code) || !receive_data(handle, bytes, sizeof bytes)) return false;
        word = get_le32(bytes);
        return true;
    }
    void tell(std::uint8_t code) { send_command(handle, code); }

    DeviceHandle handle;
    std::array<std::uint8_t, bus_reply_length> reply{};
};

template <std::size_t N>
void reply_words(const TickLink& link, std::array<std::uint16_t, N>& words)
{
    for (std::size_t i = 0; i < N; ++i) words[i] = get_le16(&link.reply[2 * i]);
}

void poll(TickLink& link, const TickRequest& request, TickReport& report)
{
    const auto read = [&] { read_registers(link.handle, request.registers, report.registers); };
    // The DAC page needs the module's external DAC mode; every other page gives it back.
    const auto give_dac_back = [&] {
        if (report.ext_dac == 1) link.tell(cmd_ext_dac_off);
    };
    switch (request.poll) {
    case TickPoll::none:
        give_dac_back();
        break;
    case TickPoll::registers:
        read();
        give_dac_back();
        break;
    case TickPoll::registers_while_stopped:
        if (report.running == 0) read();
        give_dac_back();
        break;
    case TickPoll::dac:
        if (report.ext_dac == 0) link.tell(cmd_ext_dac_on);
        read();
        break;
    case TickPoll::controller:
        give_dac_back();
        if ((report.inputs_valid = link.ask(cmd_ea_read_inputs))) reply_words(link, report.inputs);
        if ((report.outputs_valid = link.ask(cmd_ea_read_outputs))) reply_words(link, report.outputs);
        read();
        break;
    }
}

}  // namespace

TickReport probe_module(ModuleHold& hold, DeviceIdentity& app, DeviceIdentity& loader,
                        const TickRequest& request)
{
    TickReport report;
    if (!hold.open(app)) {
        if (hold.open(loader)) {
            report.form = ModuleForm::loader;
            TickLink link(hold.handle());
            report.loader_version_valid = link.ask_word(cmd_get_status, report.loader_version);
            report.loader_firmware_valid = link.ask_word(cmd_get_loader_info, report.loader_firmware_version);
        }
        return report;
    }
    report.form = ModuleForm::application;
    loader.found = false;
    TickLink link(hold.handle());
    report.status_valid = link.ask(cmd_get_status);
    if (!report.status_valid) return report;
    report.firmware_version = get_le32(link.reply.data());
    report.running = link.reply[4];
    report.ext_dac = link.reply[5];
    poll(link, request, report);
    return report;
}
