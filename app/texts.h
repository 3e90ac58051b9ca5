// Every text that the window's logic shares with the windows: the status panel, the captions
// and messages of the boxes, the questions, the file error phrases, the item lists of the
// configuration page and the network page's texts. Each text is written here once.
#pragma once

#include <array>

// --- status panel, CNC start/stop button, window caption ---
inline constexpr const char* connection_none_text = "не подключен";
inline constexpr const char* connection_app_text = "подключен";
inline constexpr const char* connection_loader_text = "загрузчик";
// The module is listed but may not be opened (no udev rule for it).
inline constexpr const char* connection_denied_text = "нет доступа";
// The module is there but another program (a second window, the command line) talks to it.
inline constexpr const char* connection_busy_text = "занят другой программой";
inline constexpr const char* not_available_text = "н/д";
inline constexpr const char* stop_cnc_text = "Остановить УЧПУ";
inline constexpr const char* start_cnc_text = "Запустить УЧПУ";
// Window caption before the tool's version: "ЛИРВАН НЦ-31/МС-2109 v 4.36".
inline constexpr const char* window_caption_prefix = "ЛИРВАН НЦ-31/МС-2109 v ";
// Before the firmware version of the carried image and the text a counter shows after a reset.
inline constexpr const char* version_prefix = "v ";
inline constexpr const char* counter_reset_text = "0";
// In place of the carried image's version when the build carries none.
inline constexpr const char* no_update_text = "нет";

// --- captions, messages and questions of the modal boxes ---
inline constexpr const char* module_caption = "ЛИРВАН НЦ-31";
inline constexpr const char* read_failed_text = "Не удалось считать данные из ЛИРВАН НЦ-31.";
inline constexpr const char* write_failed_text = "Не удалось записать данные в ЛИРВАН НЦ-31.";
// After a flash write whose read-back differs from the written bytes.
inline constexpr const char* verify_failed_text =
    "Записанные данные не совпали с прочитанными из ЛИРВАН НЦ-31.";
// After a firmware image cut short: the loader waits for the rest until the module restarts.
inline constexpr const char* update_cut_short_text =
    "Не удалось записать данные в ЛИРВАН НЦ-31.\n"
    "Загрузчик ждёт остаток прошивки: выключите и снова включите ЛИРВАН НЦ-31, "
    "затем нажмите \"Обновить\".";
inline constexpr const char* write_question = "Записать в ППЗУ ЛИРВАН НЦ-31?";
inline constexpr const char* ram_write_question =
    "Записать в ОЗУ и энергонезависимую память ЛИРВАН НЦ-31?";
// Under the application title (the window caption) when a read block fails its checksum.
inline constexpr const char* checksum_failed_text =
    "Не совпала контрольная сумма параметров.\rВосстановлены параметры по умолчанию";
inline constexpr const char* overwrite_caption = "Внимание!";
inline constexpr const char* overwrite_question = "Файл с таким именем существует\n\rПродолжить?";

// Once per run, when the module is there but may not be opened.
inline constexpr const char* access_denied_hint_text =
    "ЛИРВАН НЦ-31 подключен, но у программы нет доступа к нему.\n"
    "Установите правило udev (sudo cmake --install build или пакет lirvan-service) "
    "и переподключите модуль.";
// The message of the octal parser's conversion error.
inline constexpr const char* conversion_error_text = "Ошибка преобразования";
// The error box of an exception that names nothing.
inline constexpr const char* unexpected_error_text = "Непредвиденная ошибка";

// --- file errors: "Не удалось <action> файл "<name>":\n<reason>" ---
inline constexpr const char* file_error_prefix = "Не удалось ";
inline constexpr const char* file_error_file = " файл \"";
inline constexpr const char* file_action_open = "открыть";
inline constexpr const char* file_action_read = "прочитать";
inline constexpr const char* file_action_create = "создать";
inline constexpr const char* file_action_write = "записать";
// The reason given for a FIFO, a device, a socket or a folder where a file was expected.
inline constexpr const char* file_not_regular = "это не обычный файл";
// The reason given when the system names none.
inline constexpr const char* file_error_unknown = "ошибка ввода-вывода";

// --- item lists of the configuration page, in the order of the codes they stand for ---
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

// --- network page ---
inline constexpr const char* net_start_caption = "Запустить опрос";
inline constexpr const char* net_stop_caption = "Остановить опрос";
