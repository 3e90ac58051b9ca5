// The "Конфигурация" page: the module's 12-byte configuration block, read from and written to
// the 2 KiB flash page at flash_config_address, and its seven drop-down lists.
//
// Block layout (little-endian): 0 software version, 1 AMT ROM set, 2 KVP contents, 3 X key
// inversion, 4 RAM save mode, 5 measuring-channel input filter, 6 reserved (kept as read),
// 7 power-loss detection, 8..11 checksum = sum of bytes 0..7.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/action_guards.h"
#include "app/panel_texts.h"
#include "define/byte_order.h"

namespace {

constexpr std::array<std::uint8_t, params_size> default_params{
    0x04, 0x01, 0x01, 0x00, 0x01, 0x04, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};

// Erased flash: what the rest of the configuration page holds after a write.
constexpr std::uint8_t config_page_filler = 0xFF;

const std::vector<std::string> items_software = {
    "2- версия 2", "3- версия 3", "4- версия 4", "5- МС-2109", "6- пользовательское ПЗУ"};
const std::vector<std::string> items_amt = {
    "1- для 16А20Т", "2- для 1В340", "3- для МС-2109", "4- пользовательское АМТ"};
const std::vector<std::string> items_kvp = {
    "1- ОЗУ", "2- тестовая кассета 3700", "3- кассета 3702", "4- пользовательская КВП"};
const std::vector<std::string> items_inversion = {"0- выкл", "1- вкл"};
const std::vector<std::string> items_ram_mode = {
    "1- автоматический", "2- ручной", "3- восстановл. ОЗУ из СМП"};
const std::vector<std::string> items_filter = {
    "0- без фильтра", "1- 0,1 мкс", "2- 0, 2мкс", "3- 0,3 мкс", "4- 0,4 мкс",
    "5- 0,9 мкс", "6- 1,3 мкс", "7- 2,2 мкс", "8- 3,6 мкс", "9- 4,4 мкс"};
const std::vector<std::string> items_power_loss = {
    "0- по ~12В", "1- по пропаданию 24В", "2- 4,65В-4,70В", "3- 4,70В-4,75В", "4- 4,75В-4,80В"};

std::uint32_t params_sum(const std::array<std::uint8_t, params_size>& block)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 8; ++i) sum += block[i];
    return sum;
}

std::uint32_t stored_checksum(const std::array<std::uint8_t, params_size>& block)
{
    return get_le32(&block[8]);
}

void store_checksum(std::array<std::uint8_t, params_size>& block, std::uint32_t sum)
{
    put_le32(&block[8], sum);
}

// The application title, as the window caption shows it.
std::string application_title()
{
    return window_caption_prefix + std::to_string(tool_version_major) + "." +
           std::to_string(tool_version_minor);
}

// Item index shown for a stored code; -1 leaves the list with no item selected.
int item_software(std::uint8_t v)
{
    if (v == 1 || v == 2) return 0;
    if (v >= 3 && v <= 6) return v - 2;
    return 2;  // "4- версия 4"
}
int item_from_one(std::uint8_t v, int count) { return v >= 1 && v <= count ? v - 1 : 0; }
int item_from_zero_or_first(std::uint8_t v, int count) { return v < count ? v : 0; }
int item_from_zero_or_none(std::uint8_t v, int count) { return v < count ? v : -1; }

}  // namespace

void TMainForm::ShowParams()
{
    // The lists carry the item texts of the block's codes; they are filled once, on first use.
    const auto show = [this](Control combo, const std::vector<std::string>& items, int index) {
        if (view_.combo_count(combo) != static_cast<int>(items.size()))
            view_.combo_set_items(combo, items);
        view_.combo_select(combo, index);
    };
    show(Control::ComboBox1, items_software, item_software(params_array[0]));
    show(Control::ComboBox2, items_amt, item_from_one(params_array[1], 4));
    show(Control::ComboBox3, items_kvp, item_from_one(params_array[2], 4));
    show(Control::ComboBox4, items_inversion, item_from_zero_or_first(params_array[3], 2));
    show(Control::ComboBox5, items_ram_mode, item_from_one(params_array[4], 3));
    show(Control::ComboBox6, items_filter, item_from_zero_or_none(params_array[5], 10));
    show(Control::ComboBox7, items_power_loss, item_from_zero_or_none(params_array[7], 5));
}

void TMainForm::Button1Click()
{
    if (!app_identity.found) return;

    // The block is received into a scratch copy: a read that did not complete must not stand
    // in for the module's block, nor be judged by its checksum.
    std::array<std::uint8_t, params_size> block{};
    bool complete = false;
    {
        ModuleSession module(HidHandle, hid_, app_identity);
        if (module.opened()) {
            complete = send_command(module.handle(), cmd_read_flash, flash_config_address,
                                    static_cast<std::uint32_t>(params_size)) &&
                       receive_data(module.handle(), block.data(), block.size());
        }
    }
    if (!complete) {
        view_.show_message(module_caption, read_failed_text);
        return;
    }

    params_array = block;
    if (params_sum(params_array) != stored_checksum(params_array)) {
        view_.show_message(application_title(),
                           "Не совпала контрольная сумма параметров.\r"
                           "Восстановлены параметры по умолчанию");
        params_array = default_params;
    }
    ShowParams();
}

void TMainForm::Button2Click()
{
    if (!app_identity.found) return;
    if (!view_.ask_yes_no(module_caption, "Записать в ППЗУ ЛИРВАН НЦ-31?")) return;

    bool accepted = false;
    {
        ModuleSession module(HidHandle, hid_, app_identity);
        if (module.opened()) {
            store_checksum(params_array, params_sum(params_array));
            std::vector<std::uint8_t> page(flash_page_size, config_page_filler);
            std::copy(params_array.begin(), params_array.end(), page.begin());
            accepted = write_block(module.handle(), page.data(), page.size(), flash_config_address);
        }
    }
    if (!accepted) view_.show_message(module_caption, write_failed_text);
}

// The lists store the code of the picked item; the checksum is only renewed by a write.
// A list with no item picked leaves its byte as it is.
void TMainForm::ComboBox1Change()
{
    const int i = view_.combo_index(Control::ComboBox1);
    if (i >= 0) params_array[0] = static_cast<std::uint8_t>(i + 2);
}

void TMainForm::ComboBox2Change()
{
    const int i = view_.combo_index(Control::ComboBox2);
    if (i >= 0) params_array[1] = static_cast<std::uint8_t>(i + 1);
}

void TMainForm::ComboBox3Change()
{
    const int i = view_.combo_index(Control::ComboBox3);
    if (i >= 0) params_array[2] = static_cast<std::uint8_t>(i + 1);
}

void TMainForm::ComboBox4Change()
{
    const int i = view_.combo_index(Control::ComboBox4);
    if (i >= 0) params_array[3] = static_cast<std::uint8_t>(i);
}

void TMainForm::ComboBox5Change()
{
    const int i = view_.combo_index(Control::ComboBox5);
    if (i >= 0) params_array[4] = static_cast<std::uint8_t>(i + 1);
}

void TMainForm::ComboBox6Change()
{
    const int i = view_.combo_index(Control::ComboBox6);
    if (i >= 0) params_array[5] = static_cast<std::uint8_t>(i);
}

void TMainForm::ComboBox7Change()
{
    const int i = view_.combo_index(Control::ComboBox7);
    if (i >= 0) params_array[7] = static_cast<std::uint8_t>(i);
}
