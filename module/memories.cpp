#include "module/memories.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t rom_lane_length = rom_size / 2;       // one byte per word
constexpr std::size_t amt_lane_length = amt_half_size / 2;  // one byte per word of a half
constexpr std::size_t amt_upper_first_word = amt_half_size / 2;  // the half at "74000:"

constexpr MemoryLane rom_lanes[] = {
    {"D83", Lane::low, 0, rom_lane_length},
    {"D82", Lane::high, 0, rom_lane_length},
};
// The two halves of the AMT ROM, "70000:" and "74000:", each from a pair of chips.
constexpr MemoryLane amt_lanes[] = {
    {"D76", Lane::low, 0, amt_lane_length},
    {"D77", Lane::high, 0, amt_lane_length},
    {"D74", Lane::low, amt_upper_first_word, amt_lane_length},
    {"D75", Lane::high, amt_upper_first_word, amt_lane_length},
};

constexpr MemoryPreview wide_preview[] = {{0, 16}};
constexpr MemoryPreview amt_previews[] = {{0, 8}, {amt_upper_first_word, 8}};

constexpr std::array<MemoryInfo, 5> memory_table{{
    {Memory::config, "config", "config.bin", "Конфигурация", params_size, flash_config_address, {}, {}},
    {Memory::rom, "rom", "rom.bin", "ПЗУ", rom_size, flash_rom_address, rom_lanes, wide_preview},
    {Memory::amt, "amt", "amt.bin", "ПЗУ АМТ", amt_size, flash_amt_address, amt_lanes, amt_previews},
    {Memory::kvp, "kvp", "kvp.bin", "КВПП", kvp_size, flash_kvp_address, {}, wide_preview},
    {Memory::ram, "ram", "ram.bin", "ОЗУ", ram_size, 0, {}, wide_preview},
}};

ConfigBlock block_of(std::span<const std::uint8_t> bytes)
{
    ConfigBlock block{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), block.size()), block.begin());
    return block;
}

}  // namespace

const MemoryInfo& memory_info(Memory m) { return memory_table[static_cast<std::size_t>(m)]; }

std::span<const MemoryInfo> all_memories() { return memory_table; }

std::optional<Memory> memory_by_name(const std::string& name)
{
    for (const auto& info : memory_table)
        if (name == info.name) return info.memory;
    return std::nullopt;
}

ActionResult read_memory(DeviceHandle h, Memory m, std::span<std::uint8_t> out, bool start_after,
                         const TransferProgress& progress)
{
    if (m == Memory::ram) return read_ram_image(h, out, start_after, progress);
    return read_flash_image(h, memory_info(m).flash_address, out, progress);
}

ActionResult write_memory(DeviceHandle h, Memory m, std::span<const std::uint8_t> bytes, std::uint32_t ram_bank,
                          const TransferProgress& progress)
{
    // A flash write that failed stopped in step with the module: its read-back names what is
    // not written.
    switch (m) {
    case Memory::config: {
        const ConfigBlock block = block_of(bytes);
        ActionResult r = write_config_block(h, block, progress);
        if (!r) note_unwritten(h, flash_config_address, config_page(block), r);
        return r;
    }
    case Memory::ram: return write_ram_image(h, bytes, ram_bank, progress);
    default: {
        const std::uint32_t address = memory_info(m).flash_address;
        ActionResult r = write_flash_image(h, address, bytes, progress);
        if (!r) note_unwritten(h, address, bytes, r);
        return r;
    }
    }
}

VerifyResult verify_memory(DeviceHandle h, Memory m, std::span<const std::uint8_t> written,
                           const TransferProgress& progress)
{
    if (!memory_info(m).in_flash()) return {{ActionFailure::bad_input, 0, "the RAM is not read back"}};
    return verify_flash(h, memory_info(m).flash_address, written, progress);
}

VerifiedWrite write_memory_verified(DeviceHandle h, Memory m, std::span<const std::uint8_t> bytes,
                                    std::uint32_t ram_bank)
{
    switch (m) {
    case Memory::config: return write_config_block_verified(h, block_of(bytes));
    case Memory::ram: return {write_ram_image(h, bytes, ram_bank), {}};
    default: return write_flash_verified(h, memory_info(m).flash_address, bytes);
    }
}
