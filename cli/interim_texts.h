// Item lists of the configuration page, until app/ holds them in one place for every front end.
#pragma once

#include <array>

inline constexpr std::array<const char*, 5> items_software{
    "2- версия 2", "3- версия 3", "4- версия 4", "5- МС-2109", "6- пользовательское ПЗУ"};
inline constexpr std::array<const char*, 4> items_amt{
    "1- для 16А20Т", "2- для 1В340", "3- для МС-2109", "4- пользовательское АМТ"};
inline constexpr std::array<const char*, 4> items_kvp{
    "1- ОЗУ", "2- тестовая кассета 3700", "3- кассета 3702", "4- пользовательская КВП"};
inline constexpr std::array<const char*, 2> items_inversion{"0- выкл", "1- вкл"};
inline constexpr std::array<const char*, 3> items_ram_mode{
    "1- автоматический", "2- ручной", "3- восстановл. ОЗУ из СМП"};
inline constexpr std::array<const char*, 10> items_filter{
    "0- без фильтра", "1- 0,1 мкс", "2- 0, 2мкс", "3- 0,3 мкс", "4- 0,4 мкс",
    "5- 0,9 мкс", "6- 1,3 мкс", "7- 2,2 мкс", "8- 3,6 мкс", "9- 4,4 мкс"};
inline constexpr std::array<const char*, 5> items_power_loss{
    "0- по ~12В", "1- по пропаданию 24В", "2- 4,65В-4,70В", "3- 4,70В-4,75В", "4- 4,75В-4,80В"};
