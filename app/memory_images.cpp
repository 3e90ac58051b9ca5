// The four memory image pages: main ROM ("ПЗУ"), AMT ROM ("ПЗУ АМТ"), KVP ("КВПП") and RAM
// ("ОЗУ"). Each image is loaded from files (whole, or one byte lane of the CNC's 8-bit ROM
// chips), read back from the module into the tool and a file, and written to the module.
//
// Images are little-endian 16-bit words: byte 2k is the low byte of word k, byte 2k+1 its high
// byte. The same order holds in whole-image files and on the wire.
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "app/Unit1.h"
#include "app/formats.h"
#include "app/held_module.h"
#include "app/image_files.h"
#include "module/actions.h"

namespace {

constexpr std::size_t rom_lane_size = rom_size / 2;       // D83 / D82: one byte per ROM word
constexpr std::size_t amt_lane_size = amt_half_size / 2;  // D76, D77, D74, D75: one per half word
constexpr int amt_upper_half_first_word = static_cast<int>(amt_half_size / 2);  // "74000:"

// The open dialog, then the file into the image. False when the dialog was cancelled or the
// file failed (its error box shown).
bool open_whole_image(View& view, std::string& dialog_name, std::vector<std::uint8_t>& image)
{
    if (!view.open_file_dialog(dialog_name)) return false;
    const std::string error = load_whole_image(dialog_name, image);
    if (!error.empty()) view.show_error(error);
    return error.empty();
}

// The open dialog, then the file into one byte lane of the image.
bool open_lane(View& view, std::string& dialog_name, std::vector<std::uint8_t>& image,
               std::size_t first_word, std::size_t lane_size, Lane lane)
{
    if (!view.open_file_dialog(dialog_name)) return false;
    const std::string error = load_lane(dialog_name, image, first_word, lane_size, lane);
    if (!error.empty()) view.show_error(error);
    return error.empty();
}

// The save dialog and, for an existing file, the overwrite question. The chosen name, or
// nothing when the user cancelled or declined.
std::optional<std::string> choose_save_target(View& view, std::string& dialog_name)
{
    if (!view.save_file_dialog(dialog_name)) return std::nullopt;
    std::error_code ec;
    if (std::filesystem::exists(dialog_name, ec) && !view.ask_yes_no(overwrite_caption, overwrite_question))
        return std::nullopt;
    return dialog_name;
}

}  // namespace

// --- main ROM ---

void TMainForm::BitBtn1Click()
{
    if (open_whole_image(view_, OpenDialog1_FileName, MAT_array))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

void TMainForm::BitBtn2Click()
{
    if (open_lane(view_, OpenDialog1_FileName, MAT_array, 0, rom_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

void TMainForm::BitBtn3Click()
{
    if (open_lane(view_, OpenDialog1_FileName, MAT_array, 0, rom_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

// --- AMT ROM: two halves, "70000:" (words 0..2047) and "74000:" (words 2048..4095) ---

void TMainForm::BitBtn7Click()
{
    if (open_whole_image(view_, OpenDialog1_FileName, AMT_array)) {
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
    }
}

void TMainForm::BitBtn8Click()
{
    if (open_lane(view_, OpenDialog1_FileName, AMT_array, 0, amt_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
}

void TMainForm::BitBtn10Click()
{
    if (open_lane(view_, OpenDialog1_FileName, AMT_array, 0, amt_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
}

void TMainForm::BitBtn9Click()
{
    if (open_lane(view_, OpenDialog1_FileName, AMT_array, amt_upper_half_first_word,
                  amt_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
}

void TMainForm::BitBtn11Click()
{
    if (open_lane(view_, OpenDialog1_FileName, AMT_array, amt_upper_half_first_word,
                  amt_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
}

// --- KVP and RAM whole-image loads ---

void TMainForm::BitBtn12Click()
{
    if (open_whole_image(view_, OpenDialog1_FileName, KVP_array))
        ShowHexRows(view_, Control::ListBox3, KVP_array, 16, 0);
}

void TMainForm::BitBtn13Click()
{
    if (open_whole_image(view_, OpenDialog1_FileName, RAM_array))
        ShowHexRows(view_, Control::ListBox5, RAM_array, 16, 0);
}

// --- transfers with the module ---

namespace {

using Transfer = std::function<ActionResult(DeviceHandle)>;
using ReadTransfer = std::function<ActionResult(DeviceHandle, std::span<std::uint8_t>)>;

// A device action of these pages: the module is opened after the dialogs, held only for the
// transfer, under the hourglass, and closed on every way out.
struct ModuleAccess {
    View& view;
    Hid& hid;
    DeviceHandle& slot;
    DeviceIdentity& identity;
};

// Read-back: save dialog, overwrite question, transfer into a scratch buffer. Only a complete
// transfer replaces the image, refreshes its preview and goes to the file; a failed one leaves
// the image and the file alone and says so. The hourglass stays up until the file is written;
// a message about a failure comes up under the normal arrow.
void read_back(const ModuleAccess& m, std::string& dialog_name, std::vector<std::uint8_t>& image,
               std::size_t size, const ReadTransfer& transfer,
               const std::function<void()>& refresh_preview)
{
    const auto target = choose_save_target(m.view, dialog_name);
    if (!target) return;
    std::vector<std::uint8_t> scratch(size);
    bool complete = false;
    std::string save_error;
    {
        HeldModule module(m.view, m.hid, m.slot, HeldModule::hourglass);
        m.view.repaint();  // the window shows again where the dialogs were, before it blocks
        module.open(m.identity);
        complete = transfer(module.handle(), scratch).ok();
        module.close();
        if (complete) {
            image = std::move(scratch);
            refresh_preview();
            save_error = save_file_replacing(*target, image);
        }
    }
    if (!complete)
        m.view.show_message(module_caption, read_failed_text);
    else if (!save_error.empty())
        m.view.show_error(save_error);
}

// Write: the engineer's Yes first, then the transfer. Success stays silent; anything the
// module did not take is reported.
void write_to_module(const ModuleAccess& m, const char* question, const Transfer& transfer)
{
    if (!m.view.ask_yes_no(module_caption, question)) return;
    bool accepted = false;
    {
        HeldModule module(m.view, m.hid, m.slot, HeldModule::hourglass);
        m.view.repaint();
        module.open(m.identity);
        accepted = transfer(module.handle()).ok();
    }
    if (!accepted) m.view.show_message(module_caption, write_failed_text);
}

ReadTransfer read_flash(std::uint32_t address)
{
    return [address](DeviceHandle h, std::span<std::uint8_t> out) { return read_flash_image(h, address, out); };
}

Transfer write_flash(const std::vector<std::uint8_t>& image, std::uint32_t address)
{
    return [&image, address](DeviceHandle h) { return write_flash_image(h, address, image); };
}

Transfer write_ram(const std::vector<std::uint8_t>& image, std::uint32_t bank)
{
    return [&image, bank](DeviceHandle h) { return write_ram_image(h, image, bank); };
}

}  // namespace

void TMainForm::BitBtn4Click()
{
    if (!app_identity.found) return;
    read_back({view_, hid_, HidHandle, app_identity}, SaveDialog1_FileName, MAT_array, rom_size,
              read_flash(flash_rom_address),
              [this] { ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0); });
}

void TMainForm::BitBtn5Click()
{
    if (!app_identity.found) return;
    read_back({view_, hid_, HidHandle, app_identity}, SaveDialog1_FileName, AMT_array, amt_size,
              read_flash(flash_amt_address), [this] {
                  ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
                  ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
              });
}

void TMainForm::BitBtn6Click()
{
    if (!app_identity.found) return;
    read_back({view_, hid_, HidHandle, app_identity}, SaveDialog1_FileName, KVP_array, kvp_size,
              read_flash(flash_kvp_address),
              [this] { ShowHexRows(view_, Control::ListBox3, KVP_array, 16, 0); });
}

void TMainForm::BitBtn14Click()
{
    if (!app_identity.found) return;
    // Only a CNC that the module last reported running is started again: one that the
    // engineer had stopped stays stopped. (The state is taken at the transfer, after the
    // dialogs, during which the status monitor kept it current.)
    const ReadTransfer read_ram = [this](DeviceHandle h, std::span<std::uint8_t> out) {
        return read_ram_image(h, out, proc_en != 0);
    };
    read_back({view_, hid_, HidHandle, app_identity}, SaveDialog1_FileName, RAM_array, ram_size, read_ram,
              [this] { ShowHexRows(view_, Control::ListBox5, RAM_array, 16, 0); });
}
void TMainForm::Button5Click()
{
    if (!app_identity.found) return;
    write_to_module({view_, hid_, HidHandle, app_identity}, write_question,
                    write_flash(MAT_array, flash_rom_address));
}

void TMainForm::Button7Click()
{
    if (!app_identity.found) return;
    write_to_module({view_, hid_, HidHandle, app_identity}, write_question,
                    write_flash(AMT_array, flash_amt_address));
}

void TMainForm::Button9Click()
{
    if (!app_identity.found) return;
    write_to_module({view_, hid_, HidHandle, app_identity}, write_question,
                    write_flash(KVP_array, flash_kvp_address));
}

void TMainForm::Button4Click()
{
    if (!app_identity.found) return;
    write_to_module({view_, hid_, HidHandle, app_identity}, ram_write_question,
                    write_ram(RAM_array, ram_bank_main));
}

void TMainForm::Button14Click()
{
    if (!app_identity.found) return;
    write_to_module({view_, hid_, HidHandle, app_identity}, ram_write_question,
                    write_ram(RAM_array, ram_bank_reserve));
}
