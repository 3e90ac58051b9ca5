// The four memory image pages: main ROM ("ПЗУ"), AMT ROM ("ПЗУ АМТ"), KVP ("КВПП") and RAM
// ("ОЗУ"). Each image is loaded from files (whole, or one byte lane of the CNC's 8-bit ROM
// chips), read back from the module into the tool and a file, and written to the module. What
// a memory is (size, address, lanes, previews) comes from the module's memories table; this
// file adds what the window keeps of it (the image buffer, the preview lists, the question
// before a write), and each handler is one line naming its memory and lane.
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "app/Unit1.h"
#include "app/formats.h"
#include "app/window_action_scope.h"
#include "app/image_files.h"
#include "app/write_outcome.h"
#include "define/utf8_path.h"
#include "module/memories.h"

namespace {

// What the window keeps of an image memory.
struct ImagePage {
    Memory memory;
    std::vector<std::uint8_t> TMainForm::*image;
    std::array<Control, 2> previews;  // one list per preview of the memories table
    const char* write_question;
};

constexpr ImagePage image_pages[] = {
    {Memory::rom, &TMainForm::MAT_array, {Control::ListBox1}, write_question},
    {Memory::amt, &TMainForm::AMT_array, {Control::ListBox2, Control::ListBox4}, write_question},
    {Memory::kvp, &TMainForm::KVP_array, {Control::ListBox3}, write_question},
    {Memory::ram, &TMainForm::RAM_array, {Control::ListBox5}, ram_write_question},
};

const ImagePage& image_page(Memory m)
{
    for (const ImagePage& p : image_pages)
        if (p.memory == m) return p;
    return image_pages[0];
}

// The open dialog, then the file into the image: whole, or into one byte lane. False when the
// dialog was cancelled or the file failed (its error box shown).
bool open_into(View& view, std::string& dialog_name, std::vector<std::uint8_t>& image, const MemoryLane* lane)
{
    if (!view.open_file_dialog(dialog_name)) return false;
    const std::string error = lane ? load_lane(dialog_name, image, lane->first_word, lane->length, lane->lane)
                                   : load_whole_image(dialog_name, image);
    if (!error.empty()) view.show_error(error);
    return error.empty();
}

// The save dialog and, for an existing file, the overwrite question. The chosen name, or
// nothing when the user cancelled or declined.
std::optional<std::string> choose_save_target(View& view, std::string& dialog_name)
{
    if (!view.save_file_dialog(dialog_name)) return std::nullopt;
    std::error_code ec;
    if (std::filesystem::exists(utf8_path(dialog_name), ec) && !view.ask_yes_no(overwrite_caption, overwrite_question))
        return std::nullopt;
    return dialog_name;
}

using Transfer = std::function<VerifiedWrite(DeviceHandle)>;
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
    bool start_refused = false;  // the CNC start after a complete RAM read
    std::string save_error;
    {
        WindowActionScope module(m.view, m.hid, m.slot, WindowActionScope::hourglass);
        m.view.repaint();  // the window shows again where the dialogs were, before it blocks
        module.open(m.identity);
        const ActionResult read = transfer(module.handle(), scratch);
        complete = read.ok();
        start_refused = read.follow_up_refused;
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
    if (start_refused) m.view.show_message(module_caption, write_failed_text);
}

// Write: the engineer's Yes first, then the transfer. Success stays silent; anything the
// module did not take is reported.
void write_to_module(const ModuleAccess& m, const char* question, const Transfer& transfer)
{
    if (!m.view.ask_yes_no(module_caption, question)) return;
    VerifiedWrite result;
    {
        WindowActionScope module(m.view, m.hid, m.slot, WindowActionScope::hourglass);
        m.view.repaint();
        module.open(m.identity);
        result = transfer(module.handle());
    }
    show_write_outcome(m.view, result);
}

// Flash is read back after the write: the module drops a disturbed chunk without a word.
Transfer write_memory_of(Memory m, const std::vector<std::uint8_t>& image, std::uint32_t bank)
{
    return [m, &image, bank](DeviceHandle h) { return write_memory_verified(h, m, image, bank); };
}

}  // namespace

// Refreshes the previews of an image: all of them, or those that show words of one lane.
void TMainForm::show_previews(Memory m, const MemoryLane* lane)
{
    const ImagePage& page = image_page(m);
    const auto previews = memory_info(m).previews;
    for (std::size_t i = 0; i < previews.size(); ++i) {
        const MemoryPreview& p = previews[i];
        if (lane && (p.first_word < lane->first_word || p.first_word >= lane->first_word + lane->length)) continue;
        ShowHexRows(view_, page.previews[i], this->*page.image, p.bytes_per_row, static_cast<int>(p.first_word));
    }
}

void TMainForm::load_image(Memory m, std::optional<std::size_t> lane_index)
{
    const MemoryLane* lane = lane_index ? &memory_info(m).lanes[*lane_index] : nullptr;
    if (open_into(view_, OpenDialog1_FileName, this->*image_page(m).image, lane)) show_previews(m, lane);
}

void TMainForm::read_back_image(Memory m)
{
    if (!app_identity.found) return;
    // A RAM read starts again only a CNC that the module last reported running: one that the
    // engineer had stopped stays stopped. (The state is taken at the transfer, after the
    // dialogs, during which the status monitor kept it current.)
    const ReadTransfer read = [this, m](DeviceHandle h, std::span<std::uint8_t> out) {
        return read_memory(h, m, out, proc_en != 0);
    };
    read_back({view_, hid_, HidHandle, app_identity}, SaveDialog1_FileName, this->*image_page(m).image,
              memory_info(m).size, read, [this, m] { show_previews(m, nullptr); });
}

void TMainForm::write_image(Memory m, std::uint32_t ram_bank)
{
    if (!app_identity.found) return;
    const ImagePage& page = image_page(m);
    write_to_module({view_, hid_, HidHandle, app_identity}, page.write_question,
                    write_memory_of(m, this->*page.image, ram_bank));
}

// --- the handlers: ROM, AMT ROM (the halves "70000:" and "74000:"), KVP, RAM ---

void TMainForm::BitBtn1Click() { load_image(Memory::rom); }
void TMainForm::BitBtn2Click() { load_image(Memory::rom, 0); }  // D83
void TMainForm::BitBtn3Click() { load_image(Memory::rom, 1); }  // D82
void TMainForm::BitBtn4Click() { read_back_image(Memory::rom); }
void TMainForm::Button5Click() { write_image(Memory::rom); }

void TMainForm::BitBtn7Click() { load_image(Memory::amt); }
void TMainForm::BitBtn8Click() { load_image(Memory::amt, 0); }   // D76
void TMainForm::BitBtn10Click() { load_image(Memory::amt, 1); }  // D77
void TMainForm::BitBtn9Click() { load_image(Memory::amt, 2); }   // D74
void TMainForm::BitBtn11Click() { load_image(Memory::amt, 3); }  // D75
void TMainForm::BitBtn5Click() { read_back_image(Memory::amt); }
void TMainForm::Button7Click() { write_image(Memory::amt); }

void TMainForm::BitBtn12Click() { load_image(Memory::kvp); }
void TMainForm::BitBtn6Click() { read_back_image(Memory::kvp); }
void TMainForm::Button9Click() { write_image(Memory::kvp); }

void TMainForm::BitBtn13Click() { load_image(Memory::ram); }
void TMainForm::BitBtn14Click() { read_back_image(Memory::ram); }
void TMainForm::Button4Click() { write_image(Memory::ram, ram_bank_main); }
void TMainForm::Button14Click() { write_image(Memory::ram, ram_bank_reserve); }
