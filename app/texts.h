// Texts of the status panel and of the CNC start/stop button.
#pragma once

inline constexpr const char* connection_none_text = "не подключен";
inline constexpr const char* connection_app_text = "подключен";
inline constexpr const char* connection_loader_text = "загрузчик";
inline constexpr const char* not_available_text = "н/д";
inline constexpr const char* stop_cnc_text = "Остановить УЧПУ";
inline constexpr const char* start_cnc_text = "Запустить УЧПУ";
// Window caption before the tool's version: "ЛИРВАН НЦ-31/МС-2109 v 4.36".
inline constexpr const char* window_caption_prefix = "ЛИРВАН НЦ-31/МС-2109 v ";
