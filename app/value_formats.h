// Value formats of the CNC's registers and images: octal numbers, rows of sixteen bits and
// rows of hexadecimal bytes, and the text forms of the status panel, the DAC page and a
// transfer's progress. Text only, no View: the window's logic (app/formats.h puts these texts
// into controls) and lirvan-cli both use them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "define/version_words.h"

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
// Sixteen bits from bit 15 down, each "0" or "1" followed by a space (32 characters).
std::string word_to_bit_row_text(std::uint16_t word);
// Eight preview rows of an image: each row holds bytes_per_row bytes from word
// first_word + row * bytes_per_row / 2, each byte as " XX" in memory order.
std::vector<std::string> hex_rows(const std::vector<std::uint8_t>& image, int bytes_per_row,
                                  int first_word);

// --- text forms of the status panel, the DAC page and the update's progress bar ---

// firmware_version_text and loader_version_text: define/version_words.h.
// DAC register value in volts, three decimals: bit 15 clear gives value * 0.0048852, bit 15 set
// gives -(value - 0x8000) * 0.0048. The decimal separator is the one of the C library's
// LC_NUMERIC category as std::localeconv() reports it at the call (the window sets that category
// from the user's locale at start); negative values start with a hyphen-minus whatever the
// locale, and zero never carries a sign.
std::string volts_text(std::uint16_t value);
// The signed step of a measuring-channel counter read: the register's 16 bits as a two's
// complement number (0xFFFE is -2, 0x7FFF is +32767, 0x8000 is -32768).
std::int32_t counter_step(std::uint16_t value);
// Progress of a transfer in percent, 0..100: the integer nearest to done * 100 / total, a half
// going to the even neighbour. A total of 0 gives 0.
int progress_percent(std::uint64_t done, std::uint64_t total);
