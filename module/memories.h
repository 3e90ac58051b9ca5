// The module's memories, each described once: the configuration block and the four images,
// with where each lives (a flash address, or the RAM), its size, the byte lanes of the CNC's
// 8-bit ROM chips that make it up, and the rows of its hex preview. The module actions below,
// the command line and the window's image pages all read this table.
//
// Images are little-endian 16-bit words: byte 2k is the low byte of word k, byte 2k+1 its high
// byte. The same order holds in whole-image files and on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "define/define.h"
#include "module/actions.h"

enum class Memory { config, rom, amt, kvp, ram };

// Which byte of its 16-bit words a chip holds.
enum class Lane { low, high };

// One chip's byte lane: its file holds one byte per word, byte k for word first_word + k.
struct MemoryLane {
    const char* chip;         // the chip on the CNC's board: "D83"
    Lane lane;
    std::size_t first_word;
    std::size_t length;       // bytes of the chip's file
};

// One hex preview of an image: eight rows of bytes_per_row bytes from first_word on.
struct MemoryPreview {
    std::size_t first_word;
    int bytes_per_row;
};

struct MemoryInfo {
    Memory memory;
    const char* name;             // as typed on the command line: config, rom, amt, kvp, ram
    const char* file_name;        // its file in a backup folder
    const char* title;            // as the window's pages name it
    std::size_t size;             // bytes read and written
    std::uint32_t flash_address;  // 0 for the RAM, which is not in flash
    std::span<const MemoryLane> lanes;        // the chips an image may be loaded from
    std::span<const MemoryPreview> previews;  // what the window's page shows of it
    bool in_flash() const { return memory != Memory::ram; }
};

const MemoryInfo& memory_info(Memory m);
// The block and the four images, in the order a backup reads them.
std::span<const MemoryInfo> all_memories();
std::optional<Memory> memory_by_name(const std::string& name);

// --- the actions on a memory, for any row of the table ---
// `progress` is told the bytes of the memory moved so far.

// Reads the whole memory into `out` (info.size bytes); `out` is written only by a complete
// read. The RAM read holds the CNC and starts it again when start_after is set.
ActionResult read_memory(DeviceHandle h, Memory m, std::span<std::uint8_t> out, bool start_after = false,
                         const TransferProgress& progress = {});
// Writes the whole memory: the block as its configuration page (erased bytes after it), an
// image to its flash address, the RAM into the non-volatile bank `ram_bank`.
ActionResult write_memory(DeviceHandle h, Memory m, std::span<const std::uint8_t> bytes,
                          std::uint32_t ram_bank = ram_bank_main, const TransferProgress& progress = {});
// Reads back what was written to a flash memory and compares (the RAM cannot be read back:
// the module restarts after storing it).
VerifyResult verify_memory(DeviceHandle h, Memory m, std::span<const std::uint8_t> written,
                           const TransferProgress& progress = {});
// The write, and for flash its read-back, as the window writes an image.
VerifiedWrite write_memory_verified(DeviceHandle h, Memory m, std::span<const std::uint8_t> bytes,
                                    std::uint32_t ram_bank = ram_bank_main);
