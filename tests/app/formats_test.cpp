// Value formats: octal parsing and printing, bit rows, hex previews of images, and the text
// forms of versions, volts, counter steps and progress.
#include "app/formats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "app/view.h"
#include "app/fake_view.h"

namespace {

void expect_conversion_error(const std::string& text)
{
    try {
        OctToWord(text);
        ADD_FAILURE() << "\"" << text << "\" was accepted";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "Ошибка преобразования") << text;
    }
}

TEST(OctToWord, RefusesEverythingElseWithTheConversionError)
{
    for (const char* text : {"", "8", "9", "18", "-1", " 7", "7 ", "+7", "0x7", "7a", "1.0"})
        expect_conversion_error(text);
    // Above 177777 the number no longer fits the register: refused, not cut to its low bits.
    for (const char* text : {"200000", "1234567", "177777777", "777777777777777777777777"})
        expect_conversion_error(text);
}

// Every word survives both octal forms and back, and both forms agree with the C library's
// own octal printing; the short form never has a leading zero. Any count of leading zeros is read.
TEST(OctalFormats, RoundTripOverEveryWord)
{
    EXPECT_EQ(OctToWord("0000007"), 7);
    EXPECT_EQ(OctToWord("00000000000000000000177777"), 0xFFFF);
    for (std::uint32_t w = 0; w <= 0xFFFF; ++w) {
        const auto word = static_cast<std::uint16_t>(w);
        const std::string shortest = WordToOct(word);
        const std::string six = word_to_oct6_text(word);
        char expected[8];
        std::snprintf(expected, sizeof expected, "%o", w);
        ASSERT_EQ(shortest, expected);
        ASSERT_EQ(six.size(), 6u);
        ASSERT_EQ(six.substr(6 - shortest.size()), shortest);
        ASSERT_EQ(OctToWord(shortest), word);
        ASSERT_EQ(OctToWord(six), word);
    }
}

TEST(BitRow, SixteenDigitsEachFollowedByASpace)
{
    EXPECT_EQ(word_to_bit_row_text(0), "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 ");
    EXPECT_EQ(word_to_bit_row_text(0x8001), "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 ");
    EXPECT_EQ(word_to_bit_row_text(0x00F0), "0 0 0 0 0 0 0 0 1 1 1 1 0 0 0 0 ");
    // Bit k of the word is at character 2 * (15 - k), for every word.
    for (std::uint32_t w = 0; w <= 0xFFFF; w += 0x0101) {
        const std::string row = word_to_bit_row_text(static_cast<std::uint16_t>(w));
        ASSERT_EQ(row.size(), 32u);
        for (int k = 0; k < 16; ++k)
            ASSERT_EQ(row[static_cast<std::size_t>(2 * (15 - k))], ((w >> k) & 1) ? '1' : '0');
    }
}

TEST(ControlSetters, WriteTheirTextToTheGivenControl)
{
    FakeView view;
    WordToOct6(0x0009, view, Control::StaticText35);
    WordToBitRow(0x0009, view, Control::StaticText29);
    EXPECT_EQ(view.get(Control::StaticText35), "000011");
    EXPECT_EQ(view.get(Control::StaticText29), "0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 1 ");
}

TEST(HexRows, PreviewOfEightRowsInMemoryOrder)
{
    FakeView view;
    view.lists[Control::ListBox1] = {"stale line"};
    const std::vector<std::uint8_t> ff(16384, 0xFF);
    ShowHexRows(view, Control::ListBox1, ff, 16, 0);
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += " FF";
    EXPECT_EQ(view.list(Control::ListBox1), std::vector<std::string>(8, sixteen));

    ShowHexRows(view, Control::ListBox2, std::vector<std::uint8_t>(8192, 0xFF), 8, 2048);
    EXPECT_EQ(view.list(Control::ListBox2), std::vector<std::string>(8, sixteen.substr(0, 24)));

    // Word 0x1234 at the start of a row shows its low byte first; rows follow on in memory,
    // and the first word shown is F.
    std::vector<std::uint8_t> image(8192);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
    image[4096] = 0x34;
    image[4097] = 0x12;
    const auto rows = hex_rows(image, 8, 2048);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], " 34 12 02 03 04 05 06 07");
    EXPECT_EQ(rows[1], " 08 09 0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(rows[7], " 38 39 3A 3B 3C 3D 3E 3F");
}

TEST(HexRows, NeverReadsPastTheBuffer)
{
    const auto rows = hex_rows(std::vector<std::uint8_t>(20, 0xAB), 16, 2);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], " AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB");
    EXPECT_EQ(rows[1], "");
}

TEST(VersionTexts, FirmwareAndLoaderForms)
{
    EXPECT_EQ(firmware_version_text(0x00043600), "4.36");
    EXPECT_EQ(firmware_version_text(0x000ABC00), "10.1112");  // groups of 10..15 take two digits
    EXPECT_EQ(firmware_version_text(0), "0.00");
    EXPECT_EQ(loader_version_text(0x00010203), "1.2.3.");
    EXPECT_EQ(loader_version_text(0xFFFFFFFF), "255.255.255.");
}

// Sets the C library's numeric category for one test and restores it afterwards.
class NumericLocale {
public:
    explicit NumericLocale(const char* name)
    {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
        ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    bool ok() const { return ok_; }
private:
    std::string saved_;
    bool ok_ = false;
};

TEST(Volts, BothSidesOfTheDacInTheCLocale)
{
    NumericLocale c("C");
    EXPECT_EQ(volts_text(0x07FF), "10.000");
    EXPECT_EQ(volts_text(0x0000), "0.000");
    EXPECT_EQ(volts_text(0x8000), "0.000");
    EXPECT_EQ(volts_text(0x87FF), "-9.826");
    EXPECT_EQ(volts_text(0x0001), "0.005");
    EXPECT_EQ(volts_text(0x8001), "-0.005");
    EXPECT_EQ(volts_text(0x7FFF), "160.073");  // 32767 * 0.0048852
    EXPECT_EQ(volts_text(0xFFFF), "-157.282");  // 32767 * 0.0048
}

// A locale whose decimal separator is a comma: the Russian one if installed, else one compiled
// for this test into a private directory that the C library is pointed to (LOCPATH).
bool use_comma_locale(std::optional<NumericLocale>& holder, std::string& private_dir)
{
    holder.emplace("ru_RU.UTF-8");
    if (holder->ok()) return true;
    holder.reset();
    char dir[] = "/tmp/lirvan-locale-XXXXXX";
    if (!mkdtemp(dir)) return false;
    const std::string command = std::string("localedef -i ru_RU -f UTF-8 ") + dir +
                                "/ru_RU.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    private_dir = dir;
    setenv("LOCPATH", dir, 1);
    holder.emplace("ru_RU.UTF-8");
    return holder->ok();
}

TEST(Volts, DecimalSeparatorFollowsTheLocaleAndTheSignStaysAHyphen)
{
    std::string private_dir;
    struct RemoveDir {
        std::string& dir;
        ~RemoveDir()
        {
            if (!dir.empty()) std::filesystem::remove_all(dir);
        }
    } remove_dir{private_dir};
    std::optional<NumericLocale> russian;
    if (!use_comma_locale(russian, private_dir))
        GTEST_SKIP() << "no locale with a decimal comma available";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(volts_text(0x07FF), "10,000");
    EXPECT_EQ(volts_text(0x87FF), "-9,826");
    EXPECT_EQ(volts_text(0x8000), "0,000");
}

TEST(CounterStep, SignedSixteenBitSteps)
{
    EXPECT_EQ(counter_step(0xFFFE), -2);
    EXPECT_EQ(counter_step(0x7FFF), 32767);
    EXPECT_EQ(counter_step(0x8000), -32768);
    EXPECT_EQ(counter_step(0), 0);
    EXPECT_EQ(counter_step(1), 1);
}

TEST(Progress, NearestPercentWithHalvesToEven)
{
    EXPECT_EQ(progress_percent(51200, 248488), 21);   // 20.6
    EXPECT_EQ(progress_percent(512, 248488), 0);      // 0.206
    EXPECT_EQ(progress_percent(124416, 248488), 50);  // 50.06
    EXPECT_EQ(progress_percent(248488, 248488), 100);
    EXPECT_EQ(progress_percent(1, 200), 0);    // 0.5 goes to 0
    EXPECT_EQ(progress_percent(3, 200), 2);    // 1.5 goes to 2
    EXPECT_EQ(progress_percent(5, 200), 2);    // 2.5 goes to 2
    EXPECT_EQ(progress_percent(199, 200), 100);  // 99.5 goes to 100
    EXPECT_EQ(progress_percent(0, 0), 0);
    // Near-halves are not halves.
    EXPECT_EQ(progress_percent(10001, 2000000), 1);  // 0.50005
    EXPECT_EQ(progress_percent(9999, 2000000), 0);   // 0.49995
}

// The rule itself in 128-bit arithmetic, where done * 100 cannot overflow.
int reference_percent(std::uint64_t done, std::uint64_t total)
{
    __extension__ using wide = unsigned __int128;
    if (total == 0) return 0;
    const wide scaled = wide{done} * 100;
    wide percent = scaled / total;
    const wide twice_rest = 2 * (scaled % total);
    if (twice_rest > total || (twice_rest == total && percent % 2 == 1)) ++percent;
    return static_cast<int>(percent > 100 ? 100 : percent);
}

TEST(Progress, ExactForEverySixtyFourBitSize)
{
    constexpr std::uint64_t top = ~std::uint64_t{0};
    std::vector<std::uint64_t> totals = {1, 2, 3, 100, 200, 248488, std::uint64_t{1} << 32,
                                         184467440737095516, 184467440737095517,  // 2^64 / 100
                                         std::uint64_t{1} << 63, top / 200 * 200, top - 1, top};
    std::mt19937_64 random(13);
    for (int i = 0; i < 2000; ++i) totals.push_back((random() >> (random() % 64)) | 1);
    for (const std::uint64_t total : totals) {
        // Both ends, the middle, the exact halves (done = m * (2j + 1) with total = 200 * m)
        // and random points.
        std::vector<std::uint64_t> dones = {0, 1, total / 2, total - 1, total, total + 1, top};
        if (total % 200 == 0)
            for (std::uint64_t j : {0u, 1u, 49u, 98u, 99u}) dones.push_back(total / 200 * (2 * j + 1));
        for (int k = 0; k < 8; ++k) dones.push_back(random() % total);
        for (const std::uint64_t done : dones)
            ASSERT_EQ(progress_percent(done, total), reference_percent(done, total))
                << done << " of " << total;
    }
    EXPECT_EQ(progress_percent(top / 2, top), 50);             // 49.99...97: rounds up
    EXPECT_EQ(progress_percent(std::uint64_t{1} << 62, top), 25);
    EXPECT_EQ(progress_percent(top / 200 * 3, top / 200 * 200), 2);  // 1.5 goes to 2
    EXPECT_EQ(progress_percent(top / 200 * 5, top / 200 * 200), 2);  // 2.5 goes to 2
}

}  // namespace
