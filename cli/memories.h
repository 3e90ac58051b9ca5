// The module's memories as the command line names them: the configuration block and the four
// images, with their sizes and where they live, and what an image file of a given size fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "define/define.h"

enum class Memory { config, rom, amt, kvp, ram };

struct MemoryInfo {
    Memory memory;
    const char* name;        // as typed on the command line: config, rom, amt, kvp, ram
    const char* file_name;   // its file in a backup folder
    const char* title;       // as the window's pages name it
    std::size_t size;        // bytes read and written
    std::uint32_t flash_address;  // 0 for the RAM, which is not in flash
};

const MemoryInfo& memory_info(Memory m);
// The four images and the block, in the order a backup reads them.
const std::vector<Memory>& all_memories();
std::optional<Memory> memory_by_name(const std::string& name);

// What a file of `size` bytes is good for: the memories and chip files it matches exactly,
// or (when none does) how the window would load it. Never empty.
struct FileFit {
    std::vector<std::string> exact;  // e.g. "rom", "kvp", "ram", "rom lane (D83 or D82)"
    std::string note;                // set when nothing matches exactly
};
FileFit file_fit(std::size_t size);
