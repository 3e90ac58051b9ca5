// The main window's state and handlers. Nothing here depends on the GUI toolkit: controls are
// reached through View, the module through its actions (module/), serial ports through comport.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/form.h"  // Page
#include "app/keep_alive_hid.h"
#include "app/texts.h"
#include "app/view.h"
#include "define/carried_image.h"
#include "define/define.h"
#include "define/version.h"
#include "device/device.h"
#include "module/memories.h"
#include "module/status_probe.h"



// The window caption, which is also the application's title: "ЛИРВАН НЦ-31/МС-2109 v 4.36".
std::string window_caption();

class TMainForm {
public:
    TMainForm(View& view, Hid& hid, CarriedImage update_image);

    // --- window lifecycle ---
    void FormCreate();
    void FormClose();
    void PageControl1Change();

    // --- status monitor and firmware update ---
    void Timer1Timer();
    // The two halves of a tick: what the page on view asks of the module, and the showing of
    // what the probe learned.
    TickRequest tick_request() const;
    void show_tick(const TickReport& report);
    // Its parts after the page's polls: the status panel with the device actions, and the CNC
    // state with the controls that follow it.
    void show_connection(const TickReport& report);
    void apply_cnc_state(const TickReport& report);
    void Button3Click();
    void stream_update();  // the streaming routine, run inside a tick that found the loader
    // Whether this build carries a firmware image to update the module with.
    bool carries_update() const { return update_image_.data != nullptr && update_image_.size > 0; }

    // --- configuration page ---
    void Button1Click();
    void Button2Click();
    void ComboBox1Change();
    void ComboBox2Change();
    void ComboBox3Change();
    void ComboBox4Change();
    void ComboBox5Change();
    void ComboBox6Change();
    void ComboBox7Change();
    void ShowParams();
    // A pick of setting k's list (k in the settings table's order) into the block.
    void setting_picked(std::size_t k);

    // --- memory images ---
    void BitBtn1Click();   // ROM whole file
    void BitBtn2Click();   // ROM low lane D83
    void BitBtn3Click();   // ROM high lane D82
    void BitBtn4Click();   // ROM read-back
    void Button5Click();   // ROM write
    void BitBtn7Click();   // AMT whole file
    void BitBtn8Click();   // AMT 70000 low lane D76
    void BitBtn10Click();  // AMT 70000 high lane D77
    void BitBtn9Click();   // AMT 74000 low lane D74
    void BitBtn11Click();  // AMT 74000 high lane D75
    void BitBtn5Click();   // AMT read-back
    void Button7Click();   // AMT write
    void BitBtn12Click();  // KVP whole file
    void BitBtn6Click();   // KVP read-back
    void Button9Click();   // KVP write
    void BitBtn13Click();  // RAM file
    void BitBtn14Click();  // RAM read-back
    void Button4Click();   // RAM write, main bank
    void Button14Click();  // RAM write, reserve bank

    // --- I/O outputs and module commands ---
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Edit7Change();
    void Edit8Change();
    void Edit9Change();
    void Edit10Change();
    void Button8Click();
    void Button13Click();
    void Button6Click();

    // --- network page ---
    void Edit1Change();
    void ComboBox8Change();
    void ComboBox9Change();
    void Button15Click();
    void Timer2Timer();

    // The window calls these for every click, timer tick and change of a control's value; they
    // run the control's handler, if it has one. An exception from the handler is shown in the
    // toolkit's error box and goes no further. While the window has its turn inside a
    // transfer (keeping_alive), they run nothing: a tick or handler would put its frames
    // between the transfer's reports.
    void click(Control c);
    void change(Control c);
    // Between two reports of a long transfer: the view's turn to answer the system and paint.
    void keep_window_alive();
    bool keeping_alive() const { return keeping_alive_; }
    // How often a long transfer gives the window its turn (tests shorten it).
    void set_keep_alive_interval(KeepAliveHid::Clock::duration interval) { hid_.set_interval(interval); }
    // The window's start-up (FormCreate) and close (FormClose), as the window runs them: an
    // exception is shown in the error box as a handler's is.
    void create();
    void close();

    // --- state (open to the window and to tests) ---
    DeviceHandle HidHandle{};
    bool up_flag = false;
    // A firmware image was cut short: the loader may take every report as image bytes, so
    // the ticks send it nothing until it has left the bus (restarted).
    bool loader_awaits_image = false;
    std::array<std::uint8_t, params_size> params_array{};
    std::vector<std::uint8_t> MAT_array = std::vector<std::uint8_t>(rom_size, 0xFF);
    std::vector<std::uint8_t> AMT_array = std::vector<std::uint8_t>(amt_size, 0xFF);
    std::vector<std::uint8_t> KVP_array = std::vector<std::uint8_t>(kvp_size, 0xFF);
    std::vector<std::uint8_t> RAM_array = std::vector<std::uint8_t>(ram_size, 0x00);
    std::int32_t KIP1 = 0, KIP2 = 0, KIP3 = 0, KIP4 = 0;
    std::int32_t KP1 = 0, KP2 = 0, KP3 = 0, KP4 = 0;
    // Whether Edit7..Edit10 show red (a text that is no octal word): Button12 then sends nothing.
    std::array<bool, 4> dac_entry_red{};
    std::uint32_t proc_en = 0;
    std::uint32_t ext_dac_en = 0;
    std::int32_t net_addr = 1;
    std::int32_t net_br = 57600;
    std::string net_COM;
    bool net_polling = false;  // the tag of Button15
    std::int32_t Tag = 0;      // Button8: 0 stops the CNC, 1 starts it
    DeviceIdentity app_identity = make_app_identity();
    DeviceIdentity loader_identity = make_loader_identity();
    std::string OpenDialog1_FileName;  // each dialog proposes the name last chosen in it
    std::string SaveDialog1_FileName;
    // False until a status reply from the application has been applied since start-up or since
    // a tick that did not find the application: the next reply is then applied unconditionally.
    bool cnc_state_applied = false;
    // The message about a module that may not be opened comes once per run.
    bool access_hint_shown = false;

private:
    // The memory image pages, for any memory of the memories table (memory_images.cpp).
    void load_image(Memory m, std::optional<std::size_t> lane_index = std::nullopt);
    void show_previews(Memory m, const MemoryLane* lane);
    void read_back_image(Memory m);
    void write_image(Memory m, std::uint32_t ram_bank = ram_bank_main);
    // The device action buttons on or off as a group ("Обновить" stays off without an image).
    void enable_device_actions(bool enabled);
    void run_click(Control c);
    void run_change(Control c);
    // Runs one of the above; an exception that escapes it ends here (recover_from_exception).
    template <typename Handler> void guarded(Handler&& handler);
    // After an exception escaped a handler: the module closed, the arrow back, the error shown.
    void recover_from_exception(std::exception_ptr failure);
    // After a handler whose transfer gave the view turns: the keys and clicks the user made
    // meanwhile are thrown away, not run afterwards (a second "Обновить" would start a second
    // update).
    void drop_input_of_transfer();
    bool fault_on_show_ = false;  // an error box about an escaped exception is open
    bool keeping_alive_ = false;  // the view has its turn inside a transfer
    bool gave_turns_ = false;     // the running handler's transfer gave the view turns

    View& view_;
    KeepAliveHid hid_;  // the given link, with the window's turns during long transfers
    CarriedImage update_image_;
};
