#include "app/form.h"

#include <array>

#include "app/Unit1.h"
#include "app/texts.h"
#include "define/define.h"
#include "module/config_settings.h"

namespace {

using C = Control;
using F = FormHolder;

// One line per control; the helpers name the kind and leave the rest at its default.
constexpr FormControl holder(FormKind kind, F frame, F parent, FormRect rect, const char* text = "")
{
    return {.kind = kind, .parent = parent, .rect = rect, .text = text, .holder = frame};
}
constexpr FormControl page(F frame, const char* caption, bool offered = true)
{
    return {.kind = FormKind::page, .parent = F::window, .text = caption, .visible = offered,
            .holder = frame};
}
constexpr FormControl group(F frame, F parent, FormRect rect, const char* title)
{
    return holder(FormKind::group, frame, parent, rect, title);
}
constexpr FormControl label(std::optional<C> name, F parent, FormRect rect, const char* text,
                            Align align = Align::left)
{
    return {.kind = FormKind::label, .name = name, .parent = parent, .rect = rect, .text = text,
            .align = align};
}
constexpr FormControl caption(F parent, FormRect rect, const char* text, Align align = Align::left)
{
    return label(std::nullopt, parent, rect, text, align);
}
constexpr FormControl value(std::optional<C> name, F parent, FormRect rect, const char* text,
                            Align align = Align::left)
{
    return {.kind = FormKind::value, .name = name, .parent = parent, .rect = rect, .text = text,
            .align = align};
}
constexpr FormControl letter(F parent, FormRect rect, const char* text)
{
    return {.kind = FormKind::letter, .parent = parent, .rect = rect, .text = text,
            .align = Align::centre};
}
constexpr FormControl button(C name, F parent, FormRect rect, const char* text)
{
    return {.kind = FormKind::button, .name = name, .parent = parent, .rect = rect, .text = text};
}
constexpr FormControl pick_list(C name, F parent, FormRect rect,
                                std::span<const char* const> items, int selected = -1)
{
    return {.kind = FormKind::pick_list, .name = name, .parent = parent, .rect = rect,
            .items = items, .selected = selected};
}
constexpr FormControl edit(C name, F parent, FormRect rect, const char* text,
                           Align align = Align::left)
{
    return {.kind = FormKind::edit, .name = name, .parent = parent, .rect = rect, .text = text,
            .align = align};
}
constexpr FormControl preview(C name, F parent, FormRect rect)
{
    return {.kind = FormKind::preview, .name = name, .parent = parent, .rect = rect,
            .font = FontRole::list};
}
constexpr FormControl check_box(C name, F parent, FormRect rect, const char* tip)
{
    return {.kind = FormKind::check_box, .name = name, .parent = parent, .rect = rect, .text = tip};
}
constexpr FormControl timer(C name, int interval_ms)
{
    return {.kind = FormKind::timer, .name = name, .interval_ms = interval_ms};
}
constexpr FormControl register_row(C bits, C octal, F parent, FormRect caption_rect,
                                   const char* caption_text)
{
    return {.kind = FormKind::register_row, .name = bits, .parent = parent, .rect = caption_rect,
            .text = caption_text, .font = FontRole::bit_row, .partner = octal};
}
constexpr FormControl counter_row(C total, F parent, FormRect caption_rect, const char* caption_text)
{
    return {.kind = FormKind::counter_row, .name = total, .parent = parent, .rect = caption_rect,
            .text = caption_text, .align = Align::right};
}
constexpr FormControl dac_row(C octal, C volts, F parent, FormRect caption_rect,
                              const char* caption_text)
{
    return {.kind = FormKind::dac_row, .name = octal, .parent = parent, .rect = caption_rect,
            .text = caption_text, .align = Align::right, .partner = volts};
}

// Widths of a row's parts and the gaps before them: the bit row holds its 16 digits with a
// space after each, the octal value six digits (both in the bit-row font).
constexpr int bit_row_gap = 4, bit_row_width = 262, octal_gap = 6, octal_width = 61;
constexpr int counter_gap = 6, counter_width = 112;
constexpr int dac_octal_gap = 6, dac_octal_width = 72, dac_volts_gap = 10, dac_volts_width = 76;

constexpr const char* rate_items[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};

constexpr const char* zero_bits = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";

constexpr std::array controls{
    FormControl{.kind = FormKind::page_control, .name = C::PageControl1, .rect = {4, 4, 540, 332}},
    // The page control's pages, in tab order.
    page(holder_of(page_config), "Конфигурация"),
    page(holder_of(page_rom), "ПЗУ"),
    page(holder_of(page_amt), "ПЗУ АМТ"),
    page(holder_of(page_kvp), "КВПП"),
    page(holder_of(page_ram), "ОЗУ"),
    page(holder_of(page_ke_bfos), "КЭ/БФОС"),
    page(holder_of(page_kip_bos), "КИП/БОС"),
    page(holder_of(page_kp_dac), "КП(ЦАП)"),
    page(holder_of(page_ea), "Контроллер ЭА"),
    page(holder_of(page_network), "Сеть", false),  // built and working, but its tab is not offered

    // --- Конфигурация: one row per setting of the configuration block ---
    letter(holder_of(page_config), {8, 10, 24, 24}, config_settings[0].letter),
    value(std::nullopt, holder_of(page_config), {36, 10, 272, 24}, config_settings[0].caption),
    pick_list(C::ComboBox1, holder_of(page_config), {314, 10, 212, 24}, config_settings[0].items),
    letter(holder_of(page_config), {8, 40, 24, 24}, config_settings[1].letter),
    value(std::nullopt, holder_of(page_config), {36, 40, 272, 24}, config_settings[1].caption),
    pick_list(C::ComboBox2, holder_of(page_config), {314, 40, 212, 24}, config_settings[1].items),
    letter(holder_of(page_config), {8, 70, 24, 24}, config_settings[2].letter),
    value(std::nullopt, holder_of(page_config), {36, 70, 272, 24}, config_settings[2].caption),
    pick_list(C::ComboBox3, holder_of(page_config), {314, 70, 212, 24}, config_settings[2].items),
    letter(holder_of(page_config), {8, 100, 24, 24}, config_settings[3].letter),
    value(std::nullopt, holder_of(page_config), {36, 100, 272, 24}, config_settings[3].caption),
    pick_list(C::ComboBox4, holder_of(page_config), {314, 100, 212, 24}, config_settings[3].items),
    letter(holder_of(page_config), {8, 130, 24, 24}, config_settings[4].letter),
    value(std::nullopt, holder_of(page_config), {36, 130, 272, 24}, config_settings[4].caption),
    pick_list(C::ComboBox5, holder_of(page_config), {314, 130, 212, 24}, config_settings[4].items),
    letter(holder_of(page_config), {8, 160, 24, 24}, config_settings[5].letter),
    value(std::nullopt, holder_of(page_config), {36, 160, 272, 24}, config_settings[5].caption),
    pick_list(C::ComboBox6, holder_of(page_config), {314, 160, 212, 24}, config_settings[5].items),
    letter(holder_of(page_config), {8, 190, 24, 24}, config_settings[6].letter),
    value(std::nullopt, holder_of(page_config), {36, 190, 272, 24}, config_settings[6].caption),
    pick_list(C::ComboBox7, holder_of(page_config), {314, 190, 212, 24}, config_settings[6].items),
    button(C::Button1, holder_of(page_config), {314, 228, 100, 28}, "Считать"),
    button(C::Button2, holder_of(page_config), {426, 228, 100, 28}, "Записать"),

    // --- ПЗУ ---
    preview(C::ListBox1, holder_of(page_rom), {8, 10, 361, 124}),
    button(C::BitBtn1, holder_of(page_rom), {377, 10, 151, 26}, "Открыть одним файлом"),
    button(C::BitBtn2, holder_of(page_rom), {377, 42, 151, 26}, "Открыть D83 (мл. байт)"),
    button(C::BitBtn3, holder_of(page_rom), {377, 74, 151, 26}, "Открыть D82 (ст. байт)"),
    button(C::BitBtn4, holder_of(page_rom), {377, 112, 151, 26}, "Считать"),
    button(C::Button5, holder_of(page_rom), {377, 144, 151, 26}, "Записать"),

    // --- ПЗУ АМТ: the two halves side by side, each with its two lane files under it; the
    // whole file, which fills both halves, under both ---
    label(C::Label22, holder_of(page_amt), {8, 6, 80, 18}, amt_half_texts[0]),
    label(C::Label23, holder_of(page_amt), {203, 6, 80, 18}, amt_half_texts[1]),
    preview(C::ListBox2, holder_of(page_amt), {8, 26, 187, 124}),
    preview(C::ListBox4, holder_of(page_amt), {203, 26, 187, 124}),
    button(C::BitBtn8, holder_of(page_amt), {8, 158, 187, 26}, "Открыть D76 (70 мл. байт)"),
    button(C::BitBtn10, holder_of(page_amt), {8, 188, 187, 26}, "Открыть D77 (70 ст. байт)"),
    button(C::BitBtn9, holder_of(page_amt), {203, 158, 187, 26}, "Открыть D74 (74 мл. байт)"),
    button(C::BitBtn11, holder_of(page_amt), {203, 188, 187, 26}, "Открыть D75 (74 ст. байт)"),
    button(C::BitBtn7, holder_of(page_amt), {8, 222, 382, 26}, "Открыть одним файлом"),
    button(C::BitBtn5, holder_of(page_amt), {398, 26, 130, 26}, "Считать"),
    button(C::Button7, holder_of(page_amt), {398, 58, 130, 26}, "Записать"),

    // --- КВПП ---
    preview(C::ListBox3, holder_of(page_kvp), {8, 10, 361, 124}),
    button(C::BitBtn12, holder_of(page_kvp), {377, 10, 151, 26}, "Открыть одним файлом"),
    button(C::BitBtn6, holder_of(page_kvp), {377, 48, 151, 26}, "Считать"),
    button(C::Button9, holder_of(page_kvp), {377, 80, 151, 26}, "Записать"),

    // --- ОЗУ ---
    preview(C::ListBox5, holder_of(page_ram), {8, 10, 361, 124}),
    button(C::BitBtn13, holder_of(page_ram), {377, 10, 151, 26}, "Открыть файл"),
    button(C::BitBtn14, holder_of(page_ram), {377, 48, 151, 26}, "Считать"),
    button(C::Button4, holder_of(page_ram), {8, 143, 310, 26}, "Записать в основной энергонезависимый банк"),
    button(C::Button14, holder_of(page_ram), {8, 175, 310, 26}, "Записать в резерв. энергонезависимый банк"),

    // --- КЭ/БФОС: the inputs, then the outputs with a check box under each bit ---
    group(F::ke_inputs, holder_of(page_ke_bfos), {6, 4, 520, 118}, "Входы"),
    register_row(C::StaticText29, C::StaticText35, F::ke_inputs, {10, 22, 50, 20}, "170461"),
    register_row(C::StaticText30, C::StaticText36, F::ke_inputs, {10, 45, 50, 20}, "170463"),
    register_row(C::StaticText31, C::StaticText37, F::ke_inputs, {10, 68, 50, 20}, "170465"),
    register_row(C::StaticText32, C::StaticText38, F::ke_inputs, {10, 91, 50, 20}, "170467"),
    group(F::ke_outputs, holder_of(page_ke_bfos), {6, 128, 520, 116}, "Выходы"),
    register_row(C::StaticText33, C::StaticText39, F::ke_outputs, {10, 22, 50, 20}, "170462"),
    register_row(C::StaticText34, C::StaticText40, F::ke_outputs, {10, 66, 50, 20}, "170464"),
    check_box(C::CheckBox1, F::ke_outputs, {66, 44, 15, 15}, "бит 15"),
    check_box(C::CheckBox2, F::ke_outputs, {82, 44, 15, 15}, "бит 14"),
    check_box(C::CheckBox3, F::ke_outputs, {97, 44, 15, 15}, "бит 13"),
    check_box(C::CheckBox4, F::ke_outputs, {113, 44, 15, 15}, "бит 12"),
    check_box(C::CheckBox5, F::ke_outputs, {128, 44, 15, 15}, "бит 11"),
    check_box(C::CheckBox6, F::ke_outputs, {144, 44, 15, 15}, "бит 10"),
    check_box(C::CheckBox7, F::ke_outputs, {160, 44, 15, 15}, "бит 9"),
    check_box(C::CheckBox8, F::ke_outputs, {175, 44, 15, 15}, "бит 8"),
    check_box(C::CheckBox9, F::ke_outputs, {191, 44, 15, 15}, "бит 7"),
    check_box(C::CheckBox10, F::ke_outputs, {207, 44, 15, 15}, "бит 6"),
    check_box(C::CheckBox11, F::ke_outputs, {222, 44, 15, 15}, "бит 5"),
    check_box(C::CheckBox12, F::ke_outputs, {238, 44, 15, 15}, "бит 4"),
    check_box(C::CheckBox13, F::ke_outputs, {253, 44, 15, 15}, "бит 3"),
    check_box(C::CheckBox14, F::ke_outputs, {269, 44, 15, 15}, "бит 2"),
    check_box(C::CheckBox15, F::ke_outputs, {285, 44, 15, 15}, "бит 1"),
    check_box(C::CheckBox16, F::ke_outputs, {300, 44, 15, 15}, "бит 0"),
    check_box(C::CheckBox17, F::ke_outputs, {66, 88, 15, 15}, "бит 15"),
    check_box(C::CheckBox18, F::ke_outputs, {82, 88, 15, 15}, "бит 14"),
    check_box(C::CheckBox19, F::ke_outputs, {97, 88, 15, 15}, "бит 13"),
    check_box(C::CheckBox20, F::ke_outputs, {113, 88, 15, 15}, "бит 12"),
    check_box(C::CheckBox21, F::ke_outputs, {128, 88, 15, 15}, "бит 11"),
    check_box(C::CheckBox22, F::ke_outputs, {144, 88, 15, 15}, "бит 10"),
    check_box(C::CheckBox23, F::ke_outputs, {160, 88, 15, 15}, "бит 9"),
    check_box(C::CheckBox24, F::ke_outputs, {175, 88, 15, 15}, "бит 8"),
    check_box(C::CheckBox25, F::ke_outputs, {191, 88, 15, 15}, "бит 7"),
    check_box(C::CheckBox26, F::ke_outputs, {207, 88, 15, 15}, "бит 6"),
    check_box(C::CheckBox27, F::ke_outputs, {222, 88, 15, 15}, "бит 5"),
    check_box(C::CheckBox28, F::ke_outputs, {238, 88, 15, 15}, "бит 4"),
    check_box(C::CheckBox29, F::ke_outputs, {253, 88, 15, 15}, "бит 3"),
    check_box(C::CheckBox30, F::ke_outputs, {269, 88, 15, 15}, "бит 2"),
    check_box(C::CheckBox31, F::ke_outputs, {285, 88, 15, 15}, "бит 1"),
    check_box(C::CheckBox32, F::ke_outputs, {300, 88, 15, 15}, "бит 0"),
    button(C::Button10, F::ke_outputs, {414, 42, 96, 28}, "Отправить"),

    // --- КИП/БОС: measuring channel 0 with its four output bits; the counters ---
    register_row(C::StaticText41, C::StaticText42, holder_of(page_kip_bos), {8, 12, 126, 20}, "Канал КИП0  170520"),
    check_box(C::CheckBox33, holder_of(page_kip_bos), {327, 34, 15, 15}, "бит 3"),
    check_box(C::CheckBox34, holder_of(page_kip_bos), {343, 34, 15, 15}, "бит 2"),
    check_box(C::CheckBox35, holder_of(page_kip_bos), {359, 34, 15, 15}, "бит 1"),
    check_box(C::CheckBox36, holder_of(page_kip_bos), {374, 34, 15, 15}, "бит 0"),
    button(C::Button11, holder_of(page_kip_bos), {406, 38, 96, 28}, "Отправить"),
    group(F::kip_counters, holder_of(page_kip_bos), {6, 80, 300, 136}, "Счетчики (дес)"),
    counter_row(C::StaticText43, F::kip_counters, {10, 24, 160, 22}, "Канал КИП1 (X) 170521"),
    counter_row(C::StaticText44, F::kip_counters, {10, 50, 160, 22}, "Канал КИП2 (Z) 170522"),
    counter_row(C::StaticText45, F::kip_counters, {10, 76, 160, 22}, "Канал КИП3 (S) 170523"),
    counter_row(C::StaticText46, F::kip_counters, {10, 102, 160, 22}, "Канал КИП4 (M) 170524"),
    button(C::Button6, holder_of(page_kip_bos), {318, 188, 150, 28}, "Сбросить счетчики"),

    // --- КП(ЦАП): each channel in octal and in volts, and the octal value to send ---
    caption(holder_of(page_kp_dac), {360, 8, 90, 18}, "oct", Align::centre),
    dac_row(C::StaticText47, C::StaticText51, holder_of(page_kp_dac), {8, 28, 150, 24}, "Канал КП1 (X) 170500"),
    caption(holder_of(page_kp_dac), {326, 28, 16, 24}, "В"),
    edit(C::Edit7, holder_of(page_kp_dac), {360, 28, 90, 24}, "0"),
    dac_row(C::StaticText48, C::StaticText52, holder_of(page_kp_dac), {8, 58, 150, 24}, "Канал КП2 (Z) 170501"),
    caption(holder_of(page_kp_dac), {326, 58, 16, 24}, "В"),
    edit(C::Edit8, holder_of(page_kp_dac), {360, 58, 90, 24}, "0"),
    dac_row(C::StaticText49, C::StaticText53, holder_of(page_kp_dac), {8, 88, 150, 24}, "Канал КП3  170502"),
    caption(holder_of(page_kp_dac), {326, 88, 16, 24}, "В"),
    edit(C::Edit9, holder_of(page_kp_dac), {360, 88, 90, 24}, "0"),
    dac_row(C::StaticText50, C::StaticText54, holder_of(page_kp_dac), {8, 118, 150, 24}, "Канал КП4 (S) 170503"),
    caption(holder_of(page_kp_dac), {326, 118, 16, 24}, "В"),
    edit(C::Edit10, holder_of(page_kp_dac), {360, 118, 90, 24}, "0"),
    button(C::Button12, holder_of(page_kp_dac), {360, 152, 90, 28}, "Отправить"),

    // --- Контроллер ЭА: the words of the controller's replies (no address: they come from
    // the replies, in reply order), then the CNC's own view of its output and input ---
    group(F::ea_inputs, holder_of(page_ea), {6, 2, 520, 116}, "Входы"),
    register_row(C::StaticText55, C::StaticText59, F::ea_inputs, {10, 21, 50, 20}, "170461"),
    register_row(C::StaticText56, C::StaticText60, F::ea_inputs, {10, 44, 50, 20}, "170463"),
    register_row(C::StaticText57, C::StaticText61, F::ea_inputs, {10, 67, 50, 20}, "170465"),
    register_row(C::StaticText58, C::StaticText62, F::ea_inputs, {10, 90, 50, 20}, "170467"),
    group(F::ea_outputs, holder_of(page_ea), {6, 122, 520, 70}, "Выходы"),
    register_row(C::StaticText63, C::StaticText65, F::ea_outputs, {10, 21, 50, 20}, "170462"),
    register_row(C::StaticText64, C::StaticText66, F::ea_outputs, {10, 44, 50, 20}, "170464"),
    group(F::ea_cnc, holder_of(page_ea), {6, 196, 520, 70}, "НЦ-31"),
    register_row(C::StaticText67, C::StaticText71, F::ea_cnc, {10, 21, 50, 20}, "Выход"),
    register_row(C::StaticText68, C::StaticText72, F::ea_cnc, {10, 44, 50, 20}, "Вход"),

    // --- Сеть: the Modbus poll of the module over a serial line ---
    caption(holder_of(page_network), {8, 12, 100, 24}, "Сетевой адрес:"),
    edit(C::Edit1, holder_of(page_network), {112, 12, 120, 24}, "1", Align::right),
    caption(holder_of(page_network), {8, 44, 100, 24}, "COM порт:"),
    pick_list(C::ComboBox8, holder_of(page_network), {112, 44, 120, 24}, {}),
    caption(holder_of(page_network), {8, 76, 100, 24}, "Скорость:"),
    pick_list(C::ComboBox9, holder_of(page_network), {112, 76, 120, 24}, rate_items, 5),
    button(C::Button15, holder_of(page_network), {112, 112, 140, 28}, "Запустить опрос"),
    caption(holder_of(page_network), {280, 12, 100, 24}, "Версия"),
    value(C::StaticText69, holder_of(page_network), {384, 12, 130, 24}, not_available_text),
    caption(holder_of(page_network), {280, 44, 100, 24}, "Статус"),
    value(C::StaticText74, holder_of(page_network), {384, 44, 130, 24}, connection_none_text),
    caption(holder_of(page_network), {280, 76, 100, 24}, "Всего пакетов"),
    value(C::StaticText76, holder_of(page_network), {384, 76, 130, 24}, not_available_text),
    caption(holder_of(page_network), {280, 108, 100, 24}, "Ошибок"),
    value(C::StaticText78, holder_of(page_network), {384, 108, 130, 24}, not_available_text),

    // --- the status panel ---
    holder(FormKind::panel, F::panel, F::window, {548, 4, 160, 332}),
    FormControl{.kind = FormKind::label, .name = C::StaticText3, .parent = F::panel, .rect = {6, 6, 148, 20},
                .text = module_caption, .font = FontRole::heading, .align = Align::centre},
    label(C::StaticText4, F::panel, {6, 32, 148, 16}, "Статус"),
    value(C::StaticText7, F::panel, {6, 48, 148, 20}, connection_none_text, Align::centre),
    label(C::StaticText5, F::panel, {6, 74, 148, 16}, "Версия прошивки"),
    value(C::StaticText8, F::panel, {6, 90, 148, 20}, not_available_text, Align::centre),
    label(C::StaticText6, F::panel, {6, 116, 148, 16}, "Версия загрузчика"),
    value(C::StaticText9, F::panel, {6, 132, 148, 20}, not_available_text, Align::centre),
    button(C::Button8, F::panel, {6, 162, 148, 26}, stop_cnc_text),
    button(C::Button13, F::panel, {6, 192, 148, 26}, "Перезапустить Модуль"),
    FormControl{.kind = FormKind::label, .name = C::Label46, .parent = F::panel, .rect = {6, 222, 148, 30},
                .text = "Доступная версия обновления прошивки:", .align = Align::left_bottom, .wrap = true},
    label(C::Label47, F::panel, {6, 252, 148, 18}, "v 0.0.0.0"),
    button(C::Button3, F::panel, {6, 272, 148, 26}, "Обновить"),
    FormControl{.kind = FormKind::progress, .name = C::ProgressBar1, .parent = F::panel, .rect = {6, 304, 148, 18}},

    timer(C::Timer1, 1000),  // the status monitor
    timer(C::Timer2, 1000),  // the network poll
};

}  // namespace

std::span<const FormControl> form_controls() { return controls; }

FormRowParts form_row_parts(const FormControl& row)
{
    const FormRect& c = row.rect;
    switch (row.kind) {
    case FormKind::register_row: {
        const FormRect bits{c.right() + bit_row_gap, c.y, bit_row_width, c.h};
        return {c, bits, {bits.right() + octal_gap, c.y, octal_width, c.h}};
    }
    case FormKind::counter_row:
        return {c, {c.right() + counter_gap, c.y, counter_width, c.h}, {}};
    case FormKind::dac_row: {
        const FormRect octal{c.right() + dac_octal_gap, c.y, dac_octal_width, c.h};
        return {c, octal, {octal.right() + dac_volts_gap, c.y, dac_volts_width, c.h}};
    }
    default:
        return {c, {}, {}};
    }
}

const char* form_row_text(const FormControl& row, bool first)
{
    return row.kind == FormKind::register_row && first ? zero_bits : "0";
}

bool holder_within(FormHolder inner, FormHolder outer)
{
    while (inner != outer) {
        if (inner == FormHolder::window) return false;
        FormHolder parent = FormHolder::window;
        for (const FormControl& c : controls)
            if (c.holder == inner) parent = c.parent;
        inner = parent;
    }
    return true;
}

std::vector<FormControl> form_rows(FormKind kind, FormHolder frame)
{
    std::vector<FormControl> rows;
    for (const FormControl& c : controls)
        if (c.kind == kind && holder_within(c.parent, frame)) rows.push_back(c);
    return rows;
}
