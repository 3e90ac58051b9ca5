// The main window's life: start-up defaults in their fixed order, closing, and page changes.
#include <algorithm>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/formats.h"
#include "comport/comport.h"

std::string window_caption()
{
    return window_caption_prefix + std::to_string(tool_version_major) + "." +
           std::to_string(tool_version_minor);
}

TMainForm::TMainForm(View& view, Hid& hid, CarriedImage update_image)
    : view_(view), hid_(hid, [this] { keep_window_alive(); }), update_image_(update_image)
{
}

void TMainForm::FormCreate()
{
    view_.set_active_page(page_config);

    std::fill(MAT_array.begin(), MAT_array.end(), 0xFF);
    ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
    std::fill(AMT_array.begin(), AMT_array.end(), 0xFF);
    ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
    ShowHexRows(view_, Control::ListBox4, AMT_array, 8, static_cast<int>(amt_half_size / 2));
    std::fill(KVP_array.begin(), KVP_array.end(), 0xFF);
    ShowHexRows(view_, Control::ListBox3, KVP_array, 16, 0);
    std::fill(RAM_array.begin(), RAM_array.end(), 0x00);
    ShowHexRows(view_, Control::ListBox5, RAM_array, 16, 0);

    up_flag = false;

    // The caption also becomes the application's title (the view sees to that).
    view_.set_text(Control::MainForm, window_caption());

    app_identity = make_app_identity();
    loader_identity = make_loader_identity();

    // The version of the firmware image this build carries, in the form the panel shows the
    // module's own firmware version.
    // A build without one reads "нет", and its update button never comes on.
    view_.set_text(Control::Label47, carries_update()
                                         ? version_prefix + firmware_version_text(update_image_.version_word)
                                         : no_update_text);
    if (!carries_update()) view_.set_enabled(Control::Button3, false);

    // The status panel as no tick has yet seen the module; Button8 in stop mode with Tag 0.
    view_.set_text(Control::StaticText7, connection_none_text);
    view_.set_text(Control::StaticText8, not_available_text);
    view_.set_text(Control::StaticText9, not_available_text);
    view_.set_text(Control::Button8, stop_cnc_text);
    Tag = 0;
    view_.set_progress(0);

    params_array = default_params;
    KIP1 = KIP2 = KIP3 = KIP4 = 0;
    dac_entry_red = {};
    ShowParams();

    proc_en = 0;
    ext_dac_en = 0;
    cnc_state_applied = false;
    set_group_enabled(view_, output_check_boxes, false);

    net_br = 57600;
    net_addr = 1;
    std::vector<std::string> ports;
    com_port_list(ports);
    view_.combo_set_items(Control::ComboBox8, ports);
    if (ports.empty())
        view_.set_enabled(Control::Button15, false);
    else
        view_.combo_select(Control::ComboBox8, 0);
    net_COM = view_.text(Control::ComboBox8);

    // The status monitor runs from the window's creation; network polling waits for its button.
    view_.set_timer_enabled(Control::Timer2, false);
    view_.set_timer_enabled(Control::Timer1, true);
}

void TMainForm::FormClose()
{
    close_device(HidHandle);
}

void TMainForm::PageControl1Change()
{
    // Polling belongs to the network page: leaving it stops the polling as its button would.
    if (net_polling) Button15Click();
}
