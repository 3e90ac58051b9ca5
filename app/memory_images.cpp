// The four memory image pages: main ROM ("ПЗУ"), AMT ROM ("ПЗУ АМТ"), KVP ("КВПП") and RAM
// ("ОЗУ"). Each image is loaded from files (whole, or one byte lane of the CNC's 8-bit ROM
// chips), read back from the module into the tool and a file, and written to the module.
//
// Images are little-endian 16-bit words: byte 2k is the low byte of word k, byte 2k+1 its high
// byte. The same order holds in whole-image files and on the wire.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#if defined(__unix__)
#include <unistd.h>
#endif

#include "app/Unit1.h"
#include "app/action_guards.h"
#include "app/formats.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t rom_lane_size = rom_size / 2;       // D83 / D82: one byte per ROM word
constexpr std::size_t amt_lane_size = amt_half_size / 2;  // D76, D77, D74, D75: one per half word
constexpr int amt_upper_half_first_word = static_cast<int>(amt_half_size / 2);  // "74000:"

constexpr const char* write_question = "Записать в ППЗУ ЛИРВАН НЦ-31?";
constexpr const char* ram_write_question = "Записать в ОЗУ и энергонезависимую память ЛИРВАН НЦ-31?";

enum class Lane { low, high };

std::string file_error_text(const char* action, const std::string& name, int error)
{
    const std::string reason = error != 0 ? std::strerror(error) : "ошибка ввода-вывода";
    return std::string("Не удалось ") + action + " файл \"" + name + "\":\n" + reason;
}

// Reads at most `limit` bytes from the start of a file into `bytes`; a shorter file gives
// fewer bytes. False, with the error box shown, when the file cannot be opened or read.
bool read_file_prefix(View& view, const std::string& name, std::size_t limit,
                      std::vector<std::uint8_t>& bytes)
{
    std::error_code ec;
    if (fs::is_directory(name, ec)) {
        view.show_error(file_error_text("открыть", name, EISDIR));
        return false;
    }
    errno = 0;
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        view.show_error(file_error_text("открыть", name, errno));
        return false;
    }
    bytes.assign(limit, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    if (in.bad() || (in.fail() && !in.eof())) {
        view.show_error(file_error_text("прочитать", name, errno));
        return false;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

// Writes `bytes` as the whole content of the file `name`. The bytes go to a new file beside
// the target, which then takes the target's place in one rename: an existing file is either
// left as it was or replaced by the complete new content, never by a part of it. On any
// failure the temporary file is removed and the text for the error box, naming the file and
// the reason, is returned; empty on success.
std::string save_file_replacing(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::error_code ec;
    fs::path target(name);
    // Saving through a symbolic link replaces the file it points to, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const auto existing = fs::status(target, ec);
    if (fs::is_directory(existing)) return file_error_text("записать", name, EISDIR);

    std::FILE* file = nullptr;
    std::string temp;
    int error = 0;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        temp = target.string() + ".part" + std::to_string(attempt);
        // Windows' C library ignores "x"; a file found here is never reused there either.
        if (fs::exists(temp, ec)) continue;
        errno = 0;
        file = std::fopen(temp.c_str(), "wbx");  // x: never reuse a file that exists
        error = errno;
        if (file == nullptr && error != EEXIST) break;
    }
    if (file == nullptr) return file_error_text("создать", name, error);

    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = ok && std::fflush(file) == 0;
#if defined(__unix__)
    ok = ok && ::fsync(::fileno(file)) == 0;
#endif
    error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && fs::exists(existing)) {
        // The replacement keeps the permissions of the file it replaces.
        fs::permissions(temp, existing.permissions(), ec);
    }
    if (ok) {
        // Replaces an existing file on every platform (Windows' rename() refuses to).
        std::error_code rename_error;
        fs::rename(temp, target, rename_error);
        if (rename_error) {
            ok = false;
            error = rename_error.default_error_condition().value();
        }
    }
    if (ok) return {};
    fs::remove(temp, ec);
    return file_error_text("записать", name, error);
}

// Loads a whole-image file: its first bytes, up to the image size, replace the image's first
// bytes; the rest of the image stays. False when the dialog was cancelled or the file failed.
bool load_whole_image(View& view, std::string& dialog_name, std::vector<std::uint8_t>& image)
{
    if (!view.open_file_dialog(dialog_name)) return false;
    std::vector<std::uint8_t> bytes;
    if (!read_file_prefix(view, dialog_name, image.size(), bytes)) return false;
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return true;
}

// Loads a byte-lane file: file byte k becomes the low or high byte of word first_word + k.
// The other byte of each word stays; so do the lane bytes past the end of a short file.
bool load_lane(View& view, std::string& dialog_name, std::vector<std::uint8_t>& image,
               std::size_t first_word, std::size_t lane_size, Lane lane)
{
    if (!view.open_file_dialog(dialog_name)) return false;
    std::vector<std::uint8_t> bytes;
    if (!read_file_prefix(view, dialog_name, lane_size, bytes)) return false;
    const std::size_t offset = lane == Lane::low ? 0 : 1;
    for (std::size_t k = 0; k < bytes.size(); ++k) image[2 * (first_word + k) + offset] = bytes[k];
    return true;
}

// The save dialog and, for an existing file, the overwrite question. The chosen name, or
// nothing when the user cancelled or declined.
std::optional<std::string> choose_save_target(View& view, std::string& dialog_name)
{
    if (!view.save_file_dialog(dialog_name)) return std::nullopt;
    std::error_code ec;
    if (fs::exists(dialog_name, ec) &&
        !view.ask_yes_no("Внимание!", "Файл с таким именем существует\n\rПродолжить?"))
        return std::nullopt;
    return dialog_name;
}

}  // namespace

// --- main ROM ---

void TMainForm::BitBtn1Click()
{
    if (load_whole_image(view_, OpenDialog1_FileName, MAT_array))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

void TMainForm::BitBtn2Click()
{
    if (load_lane(view_, OpenDialog1_FileName, MAT_array, 0, rom_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

void TMainForm::BitBtn3Click()
{
    if (load_lane(view_, OpenDialog1_FileName, MAT_array, 0, rom_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox1, MAT_array, 16, 0);
}

// --- AMT ROM: two halves, "70000:" (words 0..2047) and "74000:" (words 2048..4095) ---

void TMainForm::BitBtn7Click()
{
    if (load_whole_image(view_, OpenDialog1_FileName, AMT_array)) {
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
    }
}

void TMainForm::BitBtn8Click()
{
    if (load_lane(view_, OpenDialog1_FileName, AMT_array, 0, amt_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
}

void TMainForm::BitBtn10Click()
{
    if (load_lane(view_, OpenDialog1_FileName, AMT_array, 0, amt_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox2, AMT_array, 8, 0);
}

void TMainForm::BitBtn9Click()
{
    if (load_lane(view_, OpenDialog1_FileName, AMT_array, amt_upper_half_first_word,
                  amt_lane_size, Lane::low))
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
}

void TMainForm::BitBtn11Click()
{
    if (load_lane(view_, OpenDialog1_FileName, AMT_array, amt_upper_half_first_word,
                  amt_lane_size, Lane::high))
        ShowHexRows(view_, Control::ListBox4, AMT_array, 8, amt_upper_half_first_word);
}

// --- KVP and RAM whole-image loads ---

void TMainForm::BitBtn12Click()
{
    if (load_whole_image(view_, OpenDialog1_FileName, KVP_array))
        ShowHexRows(view_, Control::ListBox3, KVP_array, 16, 0);
}

void TMainForm::BitBtn13Click()
{
    if (load_whole_image(view_, OpenDialog1_FileName, RAM_array))
        ShowHexRows(view_, Control::ListBox5, RAM_array, 16, 0);
}

// --- transfers with the module ---

namespace {

using ReadTransfer = std::function<bool(DeviceHandle, std::vector<std::uint8_t>&)>;
using WriteTransfer = std::function<bool(DeviceHandle)>;

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
        HourglassCursor hourglass(m.view);
        m.view.repaint();  // the window shows again where the dialogs were, before it blocks
        {
            ModuleSession module(m.slot, m.hid, m.identity);
            complete = module.opened() && transfer(module.handle(), scratch);
        }
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
void write_to_module(const ModuleAccess& m, const char* question, const WriteTransfer& transfer)
{
    if (!m.view.ask_yes_no(module_caption, question)) return;
    bool accepted = false;
    {
        HourglassCursor hourglass(m.view);
        m.view.repaint();
        ModuleSession module(m.slot, m.hid, m.identity);
        accepted = module.opened() && transfer(module.handle());
    }
    if (!accepted) m.view.show_message(module_caption, write_failed_text);
}

ReadTransfer read_flash(std::uint32_t address)
{
    return [address](DeviceHandle h, std::vector<std::uint8_t>& scratch) {
        return send_command(h, cmd_read_flash, address, static_cast<std::uint32_t>(scratch.size())) &&
               receive_data(h, scratch.data(), scratch.size());
    };
}

WriteTransfer write_flash(const std::vector<std::uint8_t>& image, std::uint32_t address)
{
    return [&image, address](DeviceHandle h) {
        return write_block(h, image.data(), image.size(), address);
    };
}

// The RAM image into the module's RAM and into one non-volatile bank: stop the CNC, send the
// image, store it in the bank, restart the module. True when every frame and report was taken.
WriteTransfer write_ram(const std::vector<std::uint8_t>& image, std::uint32_t bank)
{
    return [&image, bank](DeviceHandle h) {
        const auto size = static_cast<std::uint32_t>(image.size());
        // A CNC that could not be stopped keeps running on untouched RAM.
        if (!send_command(h, cmd_cpu_stop)) return false;
        const bool sent = send_command(h, cmd_ram_write_begin, 0, size) &&
                          send_data(h, image.data(), image.size());
        // Only a completely received image is stored: a bank never takes a partial one.
        const bool stored = sent && send_command(h, cmd_ram_write_end, bank, size);
        // The restart brings the CNC back also after a failed transfer.
        const bool restarted = send_command(h, cmd_restart);
        return stored && restarted;
    };
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
    const ReadTransfer read_ram = [this](DeviceHandle h, std::vector<std::uint8_t>& scratch) {
        // The CNC is held while its RAM is read, so the image is one consistent snapshot; a
        // refused stop leaves the read undone.
        const bool read = send_command(h, cmd_cpu_stop) &&
                          send_command(h, cmd_ram_read, 0, static_cast<std::uint32_t>(scratch.size())) &&
                          receive_data(h, scratch.data(), scratch.size());
        // Only a CNC that the module last reported running is started again: one that the
        // engineer had stopped stays stopped. (The state is taken now, after the dialogs,
        // during which the status monitor kept it current.)
        if (proc_en != 0) send_command(h, cmd_cpu_start);
        return read;
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
