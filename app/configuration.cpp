// The "Конфигурация" page: the module's 12-byte configuration block, read from and written to
// the 2 KiB flash page at flash_config_address, and its seven drop-down lists.
//
// Block layout (little-endian): 0 software version, 1 AMT ROM set, 2 KVP contents, 3 X key
// inversion, 4 RAM save mode, 5 measuring-channel input filter, 6 reserved (kept as read),
// 7 power-loss detection, 8..11 checksum = sum of bytes 0..7.
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/held_module.h"
#include "module/actions.h"

namespace {

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

template <typename Items>
int count(const Items& items) { return static_cast<int>(items.size()); }

}  // namespace

void TMainForm::ShowParams()
{
    // The lists carry the item texts of the block's codes; they are filled once, on first use.
    const auto show = [this](Control combo, const auto& items, int index) {
        if (view_.combo_count(combo) != static_cast<int>(items.size()))
            view_.combo_set_items(combo, std::vector<std::string>(items.begin(), items.end()));
        view_.combo_select(combo, index);
    };
    show(Control::ComboBox1, items_software, item_software(params_array[0]));
    show(Control::ComboBox2, items_amt, item_from_one(params_array[1], count(items_amt)));
    show(Control::ComboBox3, items_kvp, item_from_one(params_array[2], count(items_kvp)));
    show(Control::ComboBox4, items_inversion, item_from_zero_or_first(params_array[3], count(items_inversion)));
    show(Control::ComboBox5, items_ram_mode, item_from_one(params_array[4], count(items_ram_mode)));
    show(Control::ComboBox6, items_filter, item_from_zero_or_none(params_array[5], count(items_filter)));
    show(Control::ComboBox7, items_power_loss, item_from_zero_or_none(params_array[7], count(items_power_loss)));
}

void TMainForm::Button1Click()
{
    if (!app_identity.found) return;

    ConfigBlock block{};
    ActionResult read;
    {
        HeldModule module(view_, hid_, HidHandle);
        module.open(app_identity);
        read = read_config_block(module.handle(), block);
    }
    if (!read) {
        view_.show_message(module_caption, read_failed_text);
        return;
    }

    params_array = block;
    if (!config_block_checksum_ok(params_array)) {
        view_.show_message(window_caption(), checksum_failed_text);
        params_array = default_params;
    }
    ShowParams();
}

void TMainForm::Button2Click()
{
    if (!app_identity.found) return;
    if (!view_.ask_yes_no(module_caption, write_question)) return;

    ActionResult written;
    {
        HeldModule module(view_, hid_, HidHandle);
        // The checksum is renewed only for a write that reaches the module.
        if (module.open(app_identity)) renew_config_checksum(params_array);
        written = write_config_block(module.handle(), params_array);
    }
    if (!written) view_.show_message(module_caption, write_failed_text);
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
