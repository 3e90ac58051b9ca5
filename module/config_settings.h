// The seven settings of the module's configuration block, each described once: its byte, the
// letter and caption of its row, the pick-list items in the order of the codes they store, and
// what is shown for a code no item stands for. The window's form and its configuration page
// and the command line's `config` all read this table.
//
// Block layout (little-endian): 0 software version, 1 AMT ROM set, 2 KVP contents, 3 X key
// inversion, 4 RAM save mode, 5 measuring-channel input filter, 6 reserved (kept as read),
// 7 power-loss detection, 8..11 checksum = sum of bytes 0..7.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

struct ConfigSetting {
    std::size_t offset;   // byte of the block
    const char* letter;   // row letter of the page
    const char* caption;  // caption of the row
    std::span<const char* const> items;  // item k stores first_code + k; each text begins with it
    std::uint8_t first_code;
    // What a list shows for a stored code that no item stands for: codes from
    // first_item_from_code up to first_code show the first item; any other shows
    // fallback_item (-1: no item selected).
    std::uint8_t first_item_from_code;
    int fallback_item;

    // The item a stored code stands for; -1 when none does.
    int item_of(std::uint8_t code) const
    {
        if (code >= first_code && code - first_code < static_cast<int>(items.size())) return code - first_code;
        return -1;
    }
    // The item the window selects for a stored code, fallback included.
    int shown_item(std::uint8_t code) const
    {
        if (const int item = item_of(code); item >= 0) return item;
        return code >= first_item_from_code && code < first_code ? 0 : fallback_item;
    }
    // The code stored for a picked item.
    std::uint8_t code_of(int item) const { return static_cast<std::uint8_t>(first_code + item); }
};

inline constexpr const char* software_items[] = {"2- версия 2", "3- версия 3", "4- версия 4", "5- МС-2109",
                                                 "6- пользовательское ПЗУ"};
inline constexpr const char* amt_items[] = {"1- для 16А20Т", "2- для 1В340", "3- для МС-2109",
                                            "4- пользовательское АМТ"};
inline constexpr const char* kvp_items[] = {"1- ОЗУ", "2- тестовая кассета 3700", "3- кассета 3702",
                                            "4- пользовательская КВП"};
inline constexpr const char* inversion_items[] = {"0- выкл", "1- вкл"};
inline constexpr const char* ram_mode_items[] = {"1- автоматический", "2- ручной", "3- восстановл. ОЗУ из СМП"};
inline constexpr const char* filter_items[] = {"0- без фильтра", "1- 0,1 мкс", "2- 0, 2мкс", "3- 0,3 мкс",
                                               "4- 0,4 мкс",     "5- 0,9 мкс", "6- 1,3 мкс", "7- 2,2 мкс",
                                               "8- 3,6 мкс",     "9- 4,4 мкс"};
inline constexpr const char* power_loss_items[] = {"0- по ~12В", "1- по пропаданию 24В", "2- 4,65В-4,70В",
                                                   "3- 4,70В-4,75В", "4- 4,75В-4,80В"};

// In the page's order. A stored software version of 1 shows as version 2, any other unknown one
// as version 4; the AMT, KVP, inversion and RAM-mode lists show their first item for an unknown
// code, the filter and power-loss lists none.
inline constexpr std::array<ConfigSetting, 7> config_settings{{
    {0, "X", "Версия математического обеспечения УЧПУ", software_items, 2, 1, 2},
    {1, "Z", "Прошивки ПЗУ АМТ", amt_items, 1, 1, 0},
    {2, "G", "Содержимое КВП", kvp_items, 1, 1, 0},
    {3, "M", "Инверсия клавиш движения по X", inversion_items, 0, 0, 0},
    {4, "S", "Режим сохранения/ восстановления ОЗУ", ram_mode_items, 1, 1, 0},
    {5, "T", "Фильтр по входам КИП", filter_items, 0, 0, -1},
    {7, "F", "Определение пропадания питания", power_loss_items, 0, 0, -1},
}};
