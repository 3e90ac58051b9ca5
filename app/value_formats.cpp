// Value formats of the CNC's registers and images, and the text forms that the status panel,
// the DAC page and a transfer's progress show.
#include "app/value_formats.h"

#include "define/hex_text.h"
#include "app/texts.h"
#include "define/define.h"

#include <charconv>
#include <clocale>
#include <cmath>

ConversionError::ConversionError() : std::runtime_error(conversion_error_text) {}

std::uint16_t OctToWord(const std::string& text)
{
    if (text.empty()) throw ConversionError();
    std::uint32_t value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '7') throw ConversionError();
        value = value * 8 + static_cast<std::uint32_t>(ch - '0');
        // A register holds 16 bits: a larger number is refused rather than cut to its low
        // bits (a DAC set-point typed as 200000 must not become 0). Leading zeros never
        // raise the value, so any number of them is accepted.
        if (value > 0xFFFF) throw ConversionError();
    }
    return static_cast<std::uint16_t>(value);
}

namespace {

// The six octal digit groups of a word from the top: bit 15 alone, then three bits each.
char octal_digit(std::uint16_t word, int group)
{
    const int shift = 15 - 3 * group;
    const unsigned mask = group == 0 ? 1u : 7u;
    return static_cast<char>('0' + ((word >> shift) & mask));
}

}  // namespace

std::string WordToOct(std::uint16_t word)
{
    std::string text;
    for (int group = 0; group < 6; ++group) {
        const char digit = octal_digit(word, group);
        if (digit != '0' || !text.empty() || group == 5) text += digit;
    }
    return text;
}

std::string word_to_oct6_text(std::uint16_t word)
{
    std::string text(6, '0');
    for (int group = 0; group < 6; ++group) text[static_cast<std::size_t>(group)] = octal_digit(word, group);
    return text;
}

std::string word_to_bit_row_text(std::uint16_t word)
{
    std::string text;
    text.reserve(32);
    for (int bit = 15; bit >= 0; --bit) {
        text += ((word >> bit) & 1u) ? '1' : '0';
        text += ' ';
    }
    return text;
}

std::vector<std::string> hex_rows(const std::vector<std::uint8_t>& image, int bytes_per_row,
                                  int first_word)
{
    std::vector<std::string> rows;
    rows.reserve(8);
    const std::size_t words_per_row = bytes_per_row > 0 ? static_cast<std::size_t>(bytes_per_row) / 2 : 0;
    const std::size_t first = first_word > 0 ? static_cast<std::size_t>(first_word) : 0;
    for (std::size_t r = 0; r < 8; ++r) {
        std::string line;
        line.reserve(words_per_row * 6);
        for (std::size_t k = 0; k < words_per_row; ++k) {
            const std::size_t at = 2 * (first + r * words_per_row + k);
            // The callers keep the preview inside the buffer; a row never reads past its end.
            if (at + 1 >= image.size()) break;
            for (const std::uint8_t byte : {image[at], image[at + 1]}) {
                line += ' ';
                append_hex(line, byte, 2);
            }
        }
        rows.push_back(std::move(line));
    }
    return rows;
}

std::string volts_text(std::uint16_t value)
{
    // The two sides of the DAC have different steps.
    const double volts = (value & 0x8000) == 0 ? value * dac_volts_per_step_positive
                                               : -((value - 0x8000) * dac_volts_per_step_negative);
    char buffer[32];
    // to_chars ignores the locale, so the sign is always the hyphen-minus and the separator
    // is a '.' that is replaced below.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, volts, std::chars_format::fixed, 3);
    std::string text(buffer, result.ptr);
    // 0x8000 is "minus zero"; a zero is shown without a sign.
    if (text == "-0.000") text.erase(0, 1);
    const std::lconv* conventions = std::localeconv();
    const char* separator = conventions && conventions->decimal_point && *conventions->decimal_point
                                ? conventions->decimal_point
                                : ".";
    const auto dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, separator);
    return text;
}

std::int32_t counter_step(std::uint16_t value)
{
    return value <= 0x7FFF ? static_cast<std::int32_t>(value)
                           : static_cast<std::int32_t>(value) - 0x10000;
}

int progress_percent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0) return 0;
    if (done >= total) return 100;  // the whole transfer, or more: the bar is full
    // done * 100 / total without forming done * 100, which leaves 64 bits above 1.8e17: a
    // hundred additions of done, each reduced modulo total, keep done * k = percent * total
    // + rest with rest < total, and none of them can overflow.
    std::uint64_t percent = 0;
    std::uint64_t rest = 0;
    for (int k = 0; k < 100; ++k) {
        if (rest >= total - done) {
            rest -= total - done;
            ++percent;
        } else {
            rest += done;
        }
    }
    // Nearest integer, a half to the even neighbour; rest is compared with total - rest
    // because 2 * rest may not fit.
    const std::uint64_t to_next = total - rest;
    if (rest > to_next || (rest == to_next && percent % 2 == 1)) ++percent;
    return static_cast<int>(percent);
}
