#include "cli/memories.h"

FileFit file_fit(std::size_t size)
{
    FileFit fit;
    for (const auto& info : all_memories())
        if (size == info.size) fit.exact.emplace_back(info.name);
    const MemoryInfo& rom = memory_info(Memory::rom);
    const MemoryInfo& amt = memory_info(Memory::amt);
    if (size == rom.lanes.front().length) fit.exact.emplace_back("rom lane (D83 low or D82 high byte)");
    if (size == amt_half_size) fit.exact.emplace_back("amt half (70000: or 74000:)");
    if (size == amt.lanes.front().length)
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
