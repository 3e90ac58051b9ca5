// The "Конфигурация" page against the simulated module: reading and checking the block,
// showing it in the seven lists, editing it and writing the whole configuration page.
#include <algorithm>
#include <array>
#include <cstring>

#include "rig.h"

namespace {

using Block = std::array<std::uint8_t, params_size>;
constexpr Block defaults{0x04, 0x01, 0x01, 0x00, 0x01, 0x04, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};
static_assert(default_params == defaults, "the block a new module carries");
constexpr Control lists[7] = {Control::ComboBox1, Control::ComboBox2, Control::ComboBox3,
                              Control::ComboBox4, Control::ComboBox5, Control::ComboBox6,
                              Control::ComboBox7};

class ConfigurationPage : public PagesTest {
protected:
    void put_module_block(const Block& b)
    {
        std::memcpy(module.flash_at(flash_config_address), b.data(), b.size());
    }
    Block module_block()
    {
        Block b{};
        std::memcpy(b.data(), module.flash_at(flash_config_address), b.size());
        return b;
    }
    std::array<int, 7> shown() const
    {
        std::array<int, 7> out{};
        for (int i = 0; i < 7; ++i) out[i] = view.combo_index(lists[i]);
        return out;
    }
    static Block with_checksum(Block b)
    {
        std::uint32_t sum = 0;
        for (int i = 0; i < 8; ++i) sum += b[i];
        for (int i = 0; i < 4; ++i) b[8 + i] = static_cast<std::uint8_t>(sum >> (8 * i));
        return b;
    }
};

TEST_F(ConfigurationPage, ReadsAValidBlockAndShowsItWithoutAMessage)
{
    const Block b = with_checksum({6, 3, 4, 1, 3, 9, 0x5A, 4, 0, 0, 0, 0});
    put_module_block(b);
    form.Button1Click();
    EXPECT_EQ(form.params_array, b);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(shown(), (std::array<int, 7>{4, 2, 3, 1, 2, 9, 4}));
    EXPECT_EQ(view.text(Control::ComboBox6), "9- 4,4 мкс");
    EXPECT_EQ(frames(), (Frames{{cmd_read_flash, flash_config_address, 12}}));
    expect_closed();
}

TEST_F(ConfigurationPage, ErasedBlockFailsTheChecksumAndRestoresTheDefaults)
{
    std::memset(module.flash_at(flash_config_address), 0xFF, params_size);
    form.params_array = with_checksum({2, 2, 2, 1, 2, 2, 0, 2});
    form.Button1Click();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].caption, "ЛИРВАН НЦ-31/МС-2109 v 4.36");
    EXPECT_EQ(view.messages[0].text,
              "Не совпала контрольная сумма параметров.\rВосстановлены параметры по умолчанию");
    EXPECT_EQ(form.params_array, defaults);
    EXPECT_EQ(view.text(Control::ComboBox1), "4- версия 4");
    EXPECT_EQ(view.text(Control::ComboBox6), "4- 0,4 мкс");
    EXPECT_EQ(view.text(Control::ComboBox7), "0- по ~12В");
    // The defaults reach the module only through "Записать".
    EXPECT_EQ(module_block()[0], 0xFF);
    expect_closed();
}

TEST_F(ConfigurationPage, ZeroBlockPassesAndIsWrittenBackAsZeros)
{
    put_module_block(Block{});
    form.Button1Click();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(form.params_array, Block{});
    EXPECT_EQ(shown(), (std::array<int, 7>{2, 0, 0, 0, 0, 0, 0}));

    module.clear_commands();
    form.Button2Click();
    EXPECT_EQ(module_block(), Block{});
    EXPECT_EQ(form.params_array, Block{});
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(ConfigurationPage, DisplayMappingWithFallbacksAndEmptySelections)
{
    struct Case {
        std::size_t byte;
        std::uint8_t value;
        int list;
        int item;
    };
    const Case cases[] = {
        {0, 1, 0, 0}, {0, 2, 0, 0}, {0, 3, 0, 1}, {0, 6, 0, 4}, {0, 0, 0, 2}, {0, 7, 0, 2}, {0, 255, 0, 2},
        {1, 1, 1, 0}, {1, 4, 1, 3}, {1, 0, 1, 0}, {1, 5, 1, 0},
        {2, 4, 2, 3}, {2, 9, 2, 0},
        {3, 1, 3, 1}, {3, 2, 3, 0},
        {4, 3, 4, 2}, {4, 0, 4, 0}, {4, 4, 4, 0},
        {5, 9, 5, 9}, {5, 10, 5, -1}, {5, 12, 5, -1},
        {7, 4, 6, 4}, {7, 5, 6, -1}, {7, 200, 6, -1},
    };
    for (const auto& c : cases) {
        form.params_array = defaults;
        form.params_array[c.byte] = c.value;
        const Block before = form.params_array;
        form.ShowParams();
        EXPECT_EQ(view.combo_index(lists[c.list]), c.item) << "byte " << c.byte << " = " << int(c.value);
        // Showing is not editing: the block keeps the value it holds.
        EXPECT_EQ(form.params_array, before);
    }
    EXPECT_EQ(view.combo_count(Control::ComboBox6), 10);
    EXPECT_EQ(view.combo_items[Control::ComboBox6][2], "2- 0, 2мкс");
}

TEST_F(ConfigurationPage, EditMappingStoresTheCodeOfThePickedItem)
{
    form.params_array = defaults;
    form.ShowParams();
    const int picks[7] = {4, 3, 1, 1, 2, 7, 3};
    for (int i = 0; i < 7; ++i) {
        view.combo_select(lists[i], picks[i]);
        form.change(lists[i]);
    }
    EXPECT_EQ(form.params_array, (Block{6, 4, 2, 1, 3, 7, 0, 3, 0x0B, 0, 0, 0}))
        << "codes stored, checksum left for the write";

    // A list with no item picked leaves its byte as it is.
    for (int i = 0; i < 7; ++i) {
        view.combo_select(lists[i], -1);
        form.change(lists[i]);
    }
    EXPECT_EQ(form.params_array, (Block{6, 4, 2, 1, 3, 7, 0, 3, 0x0B, 0, 0, 0}));
}

TEST_F(ConfigurationPage, ReadEditWriteKeepsByte6AndRenewsTheChecksum)
{
    put_module_block(with_checksum({4, 1, 1, 0, 1, 12, 0xA7, 0}));
    form.Button1Click();
    EXPECT_EQ(view.combo_index(Control::ComboBox6), -1);  // 12 has no item
    view.combo_select(Control::ComboBox1, 3);
    form.ComboBox1Change();
    form.Button2Click();

    const Block expected = with_checksum({5, 1, 1, 0, 1, 12, 0xA7, 0});
    EXPECT_EQ(form.params_array, expected);
    EXPECT_EQ(module_block(), expected);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].caption, "ЛИРВАН НЦ-31");
    EXPECT_EQ(view.questions[0].text, "Записать в ППЗУ ЛИРВАН НЦ-31?");
    EXPECT_TRUE(view.messages.empty());
    expect_closed();
}

TEST_F(ConfigurationPage, WriteSendsOneFullPageWithErasedFiller)
{
    form.params_array = {3, 2, 1, 0, 2, 5, 9, 1, 0xEE, 0xEE, 0xEE, 0xEE};  // stale checksum
    form.Button2Click();

    const Block block = with_checksum({3, 2, 1, 0, 2, 5, 9, 1});
    EXPECT_EQ(form.params_array, block) << "the checksum is renewed without any read";
    Bytes page(flash_page_size, 0xFF);
    std::copy(block.begin(), block.end(), page.begin());
    const std::uint8_t* flash = module.flash_at(flash_config_address);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), flash));

    const auto cmds = sent();
    ASSERT_EQ(cmds.size(), 2u);
    const std::uint32_t sum = chunk_sum(page.data(), page.size());
    for (const auto& c : cmds) {
        EXPECT_EQ(c.word_a, sum);
        EXPECT_EQ(c.word_b, flash_config_address);
        EXPECT_EQ(c.word_c, 2048u);
    }
    EXPECT_EQ(cmds[0].code, cmd_block_begin);
    EXPECT_EQ(cmds[1].code, cmd_block_end);
    EXPECT_EQ(module.chunks_committed(), 1u);
}

TEST_F(ConfigurationPage, AnsweringNoSendsNothingAndKeepsTheChecksum)
{
    form.params_array = {3, 2, 1, 0, 2, 5, 9, 1, 0xEE, 0xEE, 0xEE, 0xEE};
    const Block before = form.params_array;
    view.yes_no_answers = {false};
    form.Button2Click();
    EXPECT_EQ(form.params_array, before);
    EXPECT_EQ(bus.reports(), 0u);
    EXPECT_EQ(bus.opens(), 0u);
}

TEST_F(ConfigurationPage, WithoutTheApplicationNeitherButtonDoesAnything)
{
    form.app_identity.found = false;
    form.params_array = defaults;
    form.Button1Click();
    form.Button2Click();
    EXPECT_EQ(bus.reports(), 0u);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(form.params_array, defaults);
}

TEST_F(ConfigurationPage, FailedReadKeepsTheBlockAndTheListsAndSaysSo)
{
    put_module_block(with_checksum({6, 3, 4, 1, 3, 9, 0, 4}));
    form.params_array = with_checksum({2, 2, 2, 1, 2, 2, 0, 2});
    form.ShowParams();
    const Block before = form.params_array;
    const auto lists_before = shown();

    bus.fail_report(4);  // identify set+get, read command, then the reply report
    form.Button1Click();
    EXPECT_EQ(form.params_array, before);
    EXPECT_EQ(shown(), lists_before);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(message_shown(read_failed_text));
    expect_closed();
}

TEST_F(ConfigurationPage, RefusedWriteIsReported)
{
    form.params_array = defaults;
    bus.fail_report(10);  // a data report of the page
    form.Button2Click();
    EXPECT_TRUE(message_shown(write_failed_text));
    EXPECT_EQ(module.chunks_committed(), 0u);
    expect_closed();
}

}  // namespace
