// Every text that the window's logic shares with the windows: the status panel, the captions
// and messages of the boxes, the questions, the file error phrases and the network page's texts
// (the configuration page's items are in the settings table, module/config_settings.h). Each text is written here once.
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

// --- the AMT ROM's two halves as the CNC addresses them: words 0..2047 and 2048..4095 ---
inline constexpr std::array<const char*, 2> amt_half_texts = {"70000:", "74000:"};

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

// --- network page ---
inline constexpr const char* net_start_caption = "Запустить опрос";
inline constexpr const char* net_stop_caption = "Остановить опрос";
