// The "Сеть" page: polls the module over a serial line with Modbus RTU once a second and shows
// whether it answers (in the status panel's words), its firmware version and the packet and
// error counters it keeps.
#include <charconv>
#include <cstdint>
#include <string>

#include "app/Unit1.h"
#include "comport/comport.h"
#include "define/version_words.h"

namespace {

// Holding registers of the module read by each poll: 0..9.
constexpr std::uint16_t net_first_register = 0;
constexpr std::uint16_t net_register_count = 10;
constexpr int reg_packets_low = 3;
constexpr int reg_packets_high = 4;
constexpr int reg_errors_low = 5;
constexpr int reg_errors_high = 6;
constexpr int reg_version = 9;

// A slave address is one byte on the wire.
constexpr int net_addr_max = 255;

// Decimal integer text, optionally signed, nothing else around it.
bool parse_decimal(const std::string& text, long long& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') return false;
    }
    if (begin == end) return false;
    const auto [rest, error] = std::from_chars(begin, end, value);
    return error == std::errc{} && rest == end;
}

std::uint16_t reg(const std::uint8_t* regs, int index)
{
    return static_cast<std::uint16_t>(regs[2 * index] << 8 | regs[2 * index + 1]);
}

std::uint32_t reg_pair(const std::uint8_t* regs, int low_index, int high_index)
{
    return static_cast<std::uint32_t>(reg(regs, high_index)) << 16 | reg(regs, low_index);
}

}  // namespace

// The address must be a slave address, 0..255: any other text, a number out of that range
// included, shows red and keeps the last valid address, rather than polling another slave
// through the number's low byte.
void TMainForm::Edit1Change()
{
    long long value = 0;
    if (parse_decimal(view_.text(Control::Edit1), value) && value >= 0 && value <= net_addr_max) {
        net_addr = static_cast<std::int32_t>(value);
        view_.set_red(Control::Edit1, false);
    } else {
        view_.set_red(Control::Edit1, true);
    }
}

void TMainForm::ComboBox8Change()
{
    net_COM = view_.text(Control::ComboBox8);
}

void TMainForm::ComboBox9Change()
{
    long long value = 0;
    if (parse_decimal(view_.text(Control::ComboBox9), value) && value > 0 && value <= INT32_MAX)
        net_br = static_cast<std::int32_t>(value);
}

void TMainForm::Button15Click()
{
    if (!net_polling) {
        // A port that cannot be opened or set up leaves the page idle, silently.
        if (!com_open(net_COM, net_br)) return;
        view_.set_enabled(Control::Edit1, false);
        view_.set_enabled(Control::ComboBox8, false);
        view_.set_enabled(Control::ComboBox9, false);
        net_polling = true;
        view_.set_text(Control::Button15, net_stop_caption);
        // The first poll comes one timer period after the start.
        view_.set_timer_enabled(Control::Timer2, true);
    } else {
        com_close();
        view_.set_enabled(Control::Edit1, true);
        view_.set_enabled(Control::ComboBox8, true);
        view_.set_enabled(Control::ComboBox9, true);
        net_polling = false;
        view_.set_text(Control::Button15, net_start_caption);
        view_.set_timer_enabled(Control::Timer2, false);
        view_.set_text(Control::StaticText74, connection_none_text);
        view_.set_text(Control::StaticText69, not_available_text);
        view_.set_text(Control::StaticText76, not_available_text);
        view_.set_text(Control::StaticText78, not_available_text);
    }
}

void TMainForm::Timer2Timer()
{
    std::uint8_t regs[2 * net_register_count];
    if (modbus_read_holding(static_cast<std::uint8_t>(net_addr & 0xFF), net_first_register,
                            net_register_count, regs)) {
        view_.set_text(Control::StaticText74, connection_app_text);
        view_.set_text(Control::StaticText69, network_version_text(reg(regs, reg_version)));
        view_.set_text(Control::StaticText76,
                       std::to_string(reg_pair(regs, reg_packets_low, reg_packets_high)));
        view_.set_text(Control::StaticText78,
                       std::to_string(reg_pair(regs, reg_errors_low, reg_errors_high)));
    } else {
        // No count of our own is kept: a failed poll just shows that the module is not heard.
        view_.set_text(Control::StaticText74, connection_none_text);
        view_.set_text(Control::StaticText69, not_available_text);
        view_.set_text(Control::StaticText76, not_available_text);
        view_.set_text(Control::StaticText78, not_available_text);
    }
}
