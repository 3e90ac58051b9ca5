#include "cli/memories.h"

#include <array>

namespace {

const std::array<MemoryInfo, 5> memory_table{{
    {Memory::config, "config", "config.bin", "Конфигурация", params_size, flash_config_address},
    {Memory::rom, "rom", "rom.bin", "ПЗУ", rom_size, flash_rom_address},
    {Memory::amt, "amt", "amt.bin", "ПЗУ АМТ", amt_size, flash_amt_address},
    {Memory::kvp, "kvp", "kvp.bin", "КВПП", kvp_size, flash_kvp_address},
    {Memory::ram, "ram", "ram.bin", "ОЗУ", ram_size, 0},
}};

// Chip files of the CNC's 8-bit ROMs: one byte per 16-bit word of the image.
constexpr std::size_t rom_lane_size = rom_size / 2;
constexpr std::size_t amt_lane_size = amt_half_size / 2;

}  // namespace

const MemoryInfo& memory_info(Memory m) { return memory_table[static_cast<std::size_t>(m)]; }

const std::vector<Memory>& all_memories()
{
    static const std::vector<Memory> order{Memory::config, Memory::rom, Memory::amt, Memory::kvp,
                                           Memory::ram};
    return order;
}

std::optional<Memory> memory_by_name(const std::string& name)
{
    for (const auto& info : memory_table)
        if (name == info.name) return info.memory;
    return std::nullopt;
}

FileFit file_fit(std::size_t size)
{
    FileFit fit;
    for (const auto& info : memory_table)
        if (size == info.size) fit.exact.emplace_back(info.name);
    if (size == rom_lane_size) fit.exact.emplace_back("rom lane (D83 low or D82 high byte)");
    if (size == amt_half_size) fit.exact.emplace_back("amt half (70000: or 74000:)");
    if (size == amt_lane_size)
        fit.exact.emplace_back("amt lane (D76/D77 of 70000:, D74/D75 of 74000:)");
    if (!fit.exact.empty()) return fit;

    if (size == 0)
        fit.note = "empty: loading it changes nothing";
    else if (size > rom_size)
        fit.note = "larger than every memory: only its first " + std::to_string(rom_size) +
                   " bytes would load";
    else
        fit.note = "matches no memory: it would fill only the first " + std::to_string(size) +
                   " bytes of an image";
    return fit;
}
