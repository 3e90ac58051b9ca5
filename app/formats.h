// Value formats of the CNC's registers and images: octal numbers, rows of sixteen bits and
// rows of hexadecimal bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/view.h"

// The conversion error of the octal parser; its message is "Ошибка преобразования".
class ConversionError : public std::runtime_error {
public:
    ConversionError();
};

// Octal text to a 16-bit word: digits 0..7 only, leading zeros allowed, at most 177777.
// Throws ConversionError otherwise (empty text, signs, spaces, 8 or 9, values above 177777).
std::uint16_t OctToWord(const std::string& text);
// Octal text without leading zeros ("0" for 0).
std::string WordToOct(std::uint16_t word);
// Six octal digits, zeros included.
std::string word_to_oct6_text(std::uint16_t word);
void WordToOct6(std::uint16_t word, View& view, Control control);
// Sixteen bits from bit 15 down, each "0" or "1" followed by a space (32 characters).
std::string word_to_bit_row_text(std::uint16_t word);
void WordToBitRow(std::uint16_t word, View& view, Control control);
// Eight preview rows of an image: each row holds bytes_per_row bytes from word
// first_word + row * bytes_per_row / 2, each byte as " XX" in memory order.
std::vector<std::string> hex_rows(const std::vector<std::uint8_t>& image, int bytes_per_row,
                                  int first_word);
void ShowHexRows(View& view, Control list, const std::vector<std::uint8_t>& image,
                 int bytes_per_row, int first_word);
