// The value formats against the C and C++ libraries' own conversions: octal parsing against
// std::from_chars, octal and hex printing against printf, bit rows against std::bitset, the
// progress percentage against its rule in 128-bit arithmetic.
#include <bitset>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "app/formats.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string printed(const char* format, auto... values)
{
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, static_cast<std::size_t>(n));
}

void check_octal_parse(const std::string& text)
{
    std::uint16_t expected = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, expected, 8);
    const bool valid = !text.empty() && ec == std::errc{} && ptr == end;
    bool parsed = true;
    std::uint16_t got = 0;
    try {
        got = OctToWord(text);
    } catch (const ConversionError& e) {
        parsed = false;
        FUZZ_CHECK(std::string(e.what()) == "Ошибка преобразования");
    }
    FUZZ_CHECK(parsed == valid);
    if (valid) FUZZ_CHECK(got == expected);
}

void check_word(std::uint16_t word)
{
    FUZZ_CHECK(WordToOct(word) == printed("%o", unsigned{word}));
    FUZZ_CHECK(word_to_oct6_text(word) == printed("%06o", unsigned{word}));
    FUZZ_CHECK(OctToWord(WordToOct(word)) == word);
    std::string row;
    for (const char bit : std::bitset<16>(word).to_string()) row += std::string(1, bit) + " ";
    FUZZ_CHECK(word_to_bit_row_text(word) == row);
    FUZZ_CHECK(counter_step(word) == static_cast<std::int16_t>(word));
    // Volts: the two steps of the DAC, three decimals, no sign on zero (the C locale's '.').
    const double volts = word < 0x8000 ? word * 0.0048852 : -((word - 0x8000) * 0.0048);
    std::string text = printed("%.3f", volts);
    if (text == "-0.000") text = "0.000";
    FUZZ_CHECK(volts_text(word) == text);
}

void check_versions(std::uint32_t v)
{
    FUZZ_CHECK(firmware_version_text(v) ==
               printed("%u.%u%u", (v >> 16) & 15u, (v >> 12) & 15u, (v >> 8) & 15u));
    FUZZ_CHECK(loader_version_text(v) ==
               printed("%u.%u.%u.", (v >> 16) & 255u, (v >> 8) & 255u, v & 255u));
}

void check_progress(std::uint64_t done, std::uint64_t total)
{
    __extension__ using wide = unsigned __int128;
    int expected = 0;
    if (total != 0) {
        const wide scaled = wide{done} * 100;
        wide percent = scaled / total;
        const wide rest = scaled % total;
        if (2 * rest > total || (2 * rest == total && percent % 2 == 1)) ++percent;
        expected = static_cast<int>(percent > 100 ? 100 : percent);
    }
    FUZZ_CHECK(progress_percent(done, total) == expected);
}

// Eight rows; row r shows the words from first + r * per_row on, each as " LL HH", as long
// as both bytes of the word lie inside the image.
void check_hex_rows(const std::vector<std::uint8_t>& image, int bytes_per_row, int first_word)
{
    const std::size_t per_row = bytes_per_row > 0 ? static_cast<std::size_t>(bytes_per_row / 2) : 0;
    const std::size_t first = first_word > 0 ? static_cast<std::size_t>(first_word) : 0;
    const auto rows = hex_rows(image, bytes_per_row, first_word);
    FUZZ_CHECK(rows.size() == 8);
    for (std::size_t r = 0; r < 8; ++r) {
        std::string line;
        for (std::size_t k = 0; k < per_row; ++k) {
            const std::size_t word = first + r * per_row + k;
            if (2 * word + 2 > image.size()) break;
            line += printed(" %02X %02X", unsigned{image[2 * word]}, unsigned{image[2 * word + 1]});
        }
        FUZZ_CHECK(rows[r] == line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    check_word(in.value<std::uint16_t>());
    check_versions(in.value<std::uint32_t>());
    const auto done = in.value<std::uint64_t>();
    check_progress(done, in.value<std::uint64_t>());
    const int bytes_per_row = static_cast<std::int8_t>(in.byte()) % 40;
    const int first_word = static_cast<std::int16_t>(in.value<std::uint16_t>());
    const std::vector<std::uint8_t> rest = in.rest();
    check_hex_rows(rest, bytes_per_row, first_word);
    check_octal_parse(std::string(rest.begin(), rest.end()));
    return 0;
}
