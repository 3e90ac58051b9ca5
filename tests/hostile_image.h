// Images whose every 64-byte block begins like a command frame: the marker 0x55, a command
// code (hand-over, restart, CNC stop, chunk begin and end, RAM write begin and end, bus write,
// status), then words that no frame of the tool carries. A module that takes one such block
// as a frame logs a command with hostile_word in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "define/byte_order.h"
#include "define/define.h"

inline constexpr std::uint32_t hostile_word = 0xEEEEEEEE;

inline std::vector<std::uint8_t> hostile_image(std::size_t size)
{
    constexpr std::uint8_t codes[] = {cmd_update,        cmd_restart,   cmd_cpu_stop,
                                      cmd_block_begin,   cmd_block_end, cmd_ram_write_begin,
                                      cmd_ram_write_end, cmd_bus_write, cmd_get_status};
    std::mt19937 gen(31);
    std::vector<std::uint8_t> b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    for (std::size_t at = 0, k = 0; at + 2 <= size; at += report_data_length, ++k) {
        b[at] = command_marker;
        b[at + 1] = codes[k % std::size(codes)];
        for (std::size_t w = at + 2; w + 4 <= size && w < at + 14; w += 4) put_le32(&b[w], hostile_word);
    }
    return b;
}

// Whether a command the module logged was made of image bytes.
template <typename Command>
bool from_hostile_image(const Command& c)
{
    return c.word_a == hostile_word || c.word_b == hostile_word || c.word_c == hostile_word;
}
