// PLACEHOLDER: replaced by its owner in this session.
#include "app/formats.h"
ConversionError::ConversionError() : std::runtime_error("Ошибка преобразования") {}
std::uint16_t OctToWord(const std::string&) { throw ConversionError(); }
std::string WordToOct(std::uint16_t) { return {}; }
std::string word_to_oct6_text(std::uint16_t) { return {}; }
void WordToOct6(std::uint16_t, View&, Control) {}
std::string word_to_bit_row_text(std::uint16_t) { return {}; }
void WordToBitRow(std::uint16_t, View&, Control) {}
std::vector<std::string> hex_rows(const std::vector<std::uint8_t>&, int, int) { return {}; }
void ShowHexRows(View&, Control, const std::vector<std::uint8_t>&, int, int) {}
