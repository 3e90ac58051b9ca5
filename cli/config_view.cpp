#include "cli/config_view.h"

#include <string_view>

#include "app/texts.h"

namespace {

// Item lists start at a fixed code: the first item of "Версия математического обеспечения
// УЧПУ" stores 2, of the AMT, KVP and RAM-mode lists 1, of the others 0. Every item text
// begins with its code, which is checked rather than trusted.
struct Row {
    std::size_t offset;
    const char* letter;
    const char* caption;
    const char* const* items;
    std::size_t count;
};

template <std::size_t N>
Row row(std::size_t offset, const char* letter, const char* caption,
        const std::array<const char*, N>& items)
{
    return Row{offset, letter, caption, items.data(), N};
}

std::string item_for(const Row& r, std::uint8_t code)
{
    const std::string prefix = std::to_string(code) + "-";
    for (std::size_t i = 0; i < r.count; ++i)
        if (std::string_view(r.items[i]).starts_with(prefix)) return r.items[i];
    return {};
}

}  // namespace

std::vector<ConfigSetting> config_settings(const std::array<std::uint8_t, params_size>& block)
{
    const Row rows[] = {
        row(0, "X", "Версия математического обеспечения УЧПУ", items_software),
        row(1, "Z", "Прошивки ПЗУ АМТ", items_amt),
        row(2, "G", "Содержимое КВП", items_kvp),
        row(3, "M", "Инверсия клавиш движения по X", items_inversion),
        row(4, "S", "Режим сохранения/ восстановления ОЗУ", items_ram_mode),
        row(5, "T", "Фильтр по входам КИП", items_filter),
        row(7, "F", "Определение пропадания питания", items_power_loss),
    };
    std::vector<ConfigSetting> settings;
    for (const Row& r : rows)
        settings.push_back({r.offset, r.letter, r.caption, item_for(r, block[r.offset]), block[r.offset]});
    return settings;
}
