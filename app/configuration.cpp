// The "Конфигурация" page: the module's 12-byte configuration block, read from and written to
// the 2 KiB flash page at flash_config_address, and its seven drop-down lists, one per row of
// the settings table (module/config_settings.h).
#include <array>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/window_action_scope.h"
#include "app/write_outcome.h"
#include "module/actions.h"
#include "module/config_settings.h"

namespace {

// The pick list of each setting, in the order of the settings table.
constexpr std::array<Control, config_settings.size()> setting_lists{
    Control::ComboBox1, Control::ComboBox2, Control::ComboBox3, Control::ComboBox4,
    Control::ComboBox5, Control::ComboBox6, Control::ComboBox7,
};

}  // namespace

void TMainForm::ShowParams()
{
    // The lists carry the item texts of the block's codes; they are filled once, on first use.
    for (std::size_t k = 0; k < config_settings.size(); ++k) {
        const ConfigSetting& setting = config_settings[k];
        const Control list = setting_lists[k];
        if (view_.combo_count(list) != static_cast<int>(setting.items.size()))
            view_.combo_set_items(list, std::vector<std::string>(setting.items.begin(), setting.items.end()));
        view_.combo_select(list, setting.shown_item(params_array[setting.offset]));
    }
}

void TMainForm::Button1Click()
{
    if (!app_identity.found) return;

    ConfigBlock block{};
    ActionResult read;
    {
        WindowActionScope module(view_, hid_, HidHandle);
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

    VerifiedWrite written;
    {
        WindowActionScope module(view_, hid_, HidHandle);
        // The checksum is renewed only for a write that reaches the module.
        if (module.open(app_identity)) renew_config_checksum(params_array);
        written = write_config_block_verified(module.handle(), params_array);
    }
    show_write_outcome(view_, written);
}

// The lists store the code of the picked item; the checksum is only renewed by a write.
// A list with no item picked leaves its byte as it is.
void TMainForm::setting_picked(std::size_t k)
{
    const int item = view_.combo_index(setting_lists[k]);
    if (item >= 0) params_array[config_settings[k].offset] = config_settings[k].code_of(item);
}

void TMainForm::ComboBox1Change() { setting_picked(0); }
void TMainForm::ComboBox2Change() { setting_picked(1); }
void TMainForm::ComboBox3Change() { setting_picked(2); }
void TMainForm::ComboBox4Change() { setting_picked(3); }
void TMainForm::ComboBox5Change() { setting_picked(4); }
void TMainForm::ComboBox6Change() { setting_picked(5); }
void TMainForm::ComboBox7Change() { setting_picked(6); }
