// The window's logic over the simulated module, through the fake view: the ten image and lane
// loaders read the input as a file the open dialog picked, and the configuration page reads a
// block the input put into the module's flash, or takes picks in its lists and writes the
// block. Each action is checked against the loading rules and the configuration block's
// mapping as tables of their own here, and every preview must show its image afterwards.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/fake_view.h"
#include "define/byte_order.h"
#include "fuzz/fuzz_support.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

struct Rig {
    Rig() : form(view, bus, CarriedImage{})
    {
        bus.add_interface(module);
        form.FormCreate();
        std::string pattern = (std::filesystem::temp_directory_path() / "lirvan-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        file = pattern + "/picked.bin";
    }
    ~Rig() { std::filesystem::remove_all(std::filesystem::path(file).parent_path()); }

    SimModule module;
    SimBus bus;
    FakeView view;
    TMainForm form;
    std::string file;
};

Rig& rig()
{
    static Rig r;
    return r;
}

// One load button: the image it fills and how (lane_size 0: a whole-image file).
struct Loader {
    void (TMainForm::*click)();
    std::vector<std::uint8_t> TMainForm::*image;
    std::size_t first_word;
    std::size_t lane_size;
    bool high;
};
const Loader loaders[] = {
    {&TMainForm::BitBtn1Click, &TMainForm::MAT_array, 0, 0, false},
    {&TMainForm::BitBtn2Click, &TMainForm::MAT_array, 0, 8192, false},
    {&TMainForm::BitBtn3Click, &TMainForm::MAT_array, 0, 8192, true},
    {&TMainForm::BitBtn7Click, &TMainForm::AMT_array, 0, 0, false},
    {&TMainForm::BitBtn8Click, &TMainForm::AMT_array, 0, 2048, false},
    {&TMainForm::BitBtn10Click, &TMainForm::AMT_array, 0, 2048, true},
    {&TMainForm::BitBtn9Click, &TMainForm::AMT_array, 2048, 2048, false},
    {&TMainForm::BitBtn11Click, &TMainForm::AMT_array, 2048, 2048, true},
    {&TMainForm::BitBtn12Click, &TMainForm::KVP_array, 0, 0, false},
    {&TMainForm::BitBtn13Click, &TMainForm::RAM_array, 0, 0, false},
};

void load(FuzzInput& in)
{
    Rig& r = rig();
    const Loader& loader = loaders[in.byte() % std::size(loaders)];
    const std::vector<std::uint8_t> file = in.bytes(in.value<std::uint16_t>() % 20000);
    std::ofstream(r.file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    std::vector<std::uint8_t>& image = r.form.*loader.image;

    // Whole file: its first bytes replace the image's first bytes. Lane: file byte k becomes
    // the low or high byte of word first_word + k. Nothing else changes.
    std::vector<std::uint8_t> expected = image;
    if (loader.lane_size == 0) {
        std::copy_n(file.begin(), std::min(file.size(), expected.size()), expected.begin());
    } else {
        for (std::size_t k = 0; k < std::min(file.size(), loader.lane_size); ++k)
            expected[2 * (loader.first_word + k) + (loader.high ? 1 : 0)] = file[k];
    }
    r.view.open_answers.push_back(r.file);
    (r.form.*loader.click)();
    FUZZ_CHECK(r.view.errors.empty());
    FUZZ_CHECK(image == expected);
}

// The lists' items for the codes of the block (the configuration page's display table):
// byte, list, item per code, and the item for any other code (-1: none).
int shown_item(int list, std::uint8_t v)
{
    switch (list) {
    case 0: return v == 1 || v == 2 ? 0 : v >= 3 && v <= 6 ? v - 2 : 2;
    case 1: case 2: return v >= 1 && v <= 4 ? v - 1 : 0;
    case 3: return v <= 1 ? v : 0;
    case 4: return v >= 1 && v <= 3 ? v - 1 : 0;
    case 5: return v <= 9 ? v : -1;
    default: return v <= 4 ? v : -1;
    }
}
constexpr Control lists[7] = {Control::ComboBox1, Control::ComboBox2, Control::ComboBox3, Control::ComboBox4,
                              Control::ComboBox5, Control::ComboBox6, Control::ComboBox7};
constexpr std::size_t list_byte[7] = {0, 1, 2, 3, 4, 5, 7};
constexpr int first_code[7] = {2, 1, 1, 0, 1, 0, 0};  // the code of each list's item 0
constexpr std::array<std::uint8_t, 12> default_block = {4, 1, 1, 0, 1, 4, 0, 0, 11, 0, 0, 0};

std::uint32_t sum_of_settings(const std::array<std::uint8_t, 12>& block)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 8; ++i) sum += block[i];
    return sum;
}

void read_configuration(FuzzInput& in)
{
    Rig& r = rig();
    std::array<std::uint8_t, 12> stored{};
    const auto bytes = in.bytes(12);
    std::copy(bytes.begin(), bytes.end(), stored.begin());
    if (in.byte() & 1) put_le32(&stored[8], sum_of_settings(stored));  // mostly a valid block
    std::copy(stored.begin(), stored.end(), r.module.flash_at(flash_config_address));

    r.form.app_identity.found = true;
    r.form.Button1Click();
    const bool valid = sum_of_settings(stored) == get_le32(&stored[8]);
    FUZZ_CHECK(r.view.messages.size() == (valid ? 0u : 1u));
    const std::array<std::uint8_t, 12> expected = valid ? stored : default_block;
    FUZZ_CHECK(r.form.params_array == expected);
    for (int i = 0; i < 7; ++i)
        FUZZ_CHECK(r.view.combo_index(lists[i]) == shown_item(i, expected[list_byte[i]]));
}

void write_configuration(FuzzInput& in)
{
    Rig& r = rig();
    std::array<std::uint8_t, 12> expected = r.form.params_array;
    for (int i = 0; i < 7; ++i) {
        const std::uint8_t pick = in.byte();
        if (pick & 0x80) continue;  // this list is left alone
        const int index = pick % r.view.combo_count(lists[i]);
        r.view.combo_select(lists[i], index);
        r.form.change(lists[i]);
        expected[list_byte[i]] = static_cast<std::uint8_t>(index + first_code[i]);
    }
    FUZZ_CHECK(r.form.params_array == expected);
    r.form.app_identity.found = true;
    r.form.Button2Click();
    put_le32(&expected[8], sum_of_settings(expected));
    FUZZ_CHECK(r.view.messages.empty());
    FUZZ_CHECK(r.form.params_array == expected);
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), r.module.flash_at(flash_config_address)));
}

// Eight rows of per_row bytes from word first on, each byte as " XX".
std::vector<std::string> preview(const std::vector<std::uint8_t>& image, std::size_t per_row, std::size_t first)
{
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < 8; ++r) {
        std::string line;
        for (std::size_t i = 0; i < per_row; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", unsigned{image[2 * first + r * per_row + i]});
            line += hex;
        }
        rows.push_back(line);
    }
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Rig& r = rig();
    r.view.messages.clear();
    r.view.errors.clear();
    r.view.questions.clear();
    r.view.open_proposals.clear();
    r.view.cursor_history.clear();
    r.module.clear_commands();
    FuzzInput in(data, size);
    for (int action = 0; action < 8 && !in.empty(); ++action) {
        switch (in.byte() % 4) {
        case 0: case 1: load(in); break;
        case 2: read_configuration(in); break;
        case 3: write_configuration(in); break;
        }
        r.view.messages.clear();
        FUZZ_CHECK(r.view.list(Control::ListBox1) == preview(r.form.MAT_array, 16, 0));
        FUZZ_CHECK(r.view.list(Control::ListBox2) == preview(r.form.AMT_array, 8, 0));
        FUZZ_CHECK(r.view.list(Control::ListBox4) == preview(r.form.AMT_array, 8, 2048));
        FUZZ_CHECK(r.view.list(Control::ListBox3) == preview(r.form.KVP_array, 16, 0));
        FUZZ_CHECK(r.view.list(Control::ListBox5) == preview(r.form.RAM_array, 16, 0));
        FUZZ_CHECK(!r.form.HidHandle.valid() && r.bus.open_handles() == 0);
    }
    return 0;
}
