// The module's actions, each as its wire sequence on a held interface (see module_hold.h): the
// configuration block, the flash images, the RAM banks, the CNC bus registers, the CNC
// processor, the restart and the firmware update. No screen and no files: the caller presents
// the result. An invalid handle gives ActionFailure::not_found and sends nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "define/define.h"
#include "device/device.h"
#include "module/action_result.h"

using ConfigBlock = std::array<std::uint8_t, params_size>;

// --- configuration block ---

// Sum of the eight setting bytes, and whether the stored checksum (bytes 8..11) matches it.
std::uint32_t config_block_sum(const ConfigBlock& block);
bool config_block_checksum_ok(const ConfigBlock& block);
// Stores the sum of the setting bytes as the block's checksum.
void renew_config_checksum(ConfigBlock& block);

// Reads the 12-byte block from the configuration page. `block` is written only by a complete
// read; its checksum is not judged here.
ActionResult read_config_block(DeviceHandle h, ConfigBlock& block);
// Writes the whole 2 KiB configuration page: the block as given, erased bytes after it.
ActionResult write_config_block(DeviceHandle h, const ConfigBlock& block, const TransferProgress& progress = {});
// The configuration page as write_config_block writes it.
std::vector<std::uint8_t> config_page(const ConfigBlock& block);

// --- flash images (ROM, AMT ROM, KVP) ---
// `progress`, where an action takes one, is told the bytes of its data moved so far.

// Reads out.size() bytes of flash from `address`; `out` is written only by a complete read.
ActionResult read_flash_image(DeviceHandle h, std::uint32_t address, std::span<std::uint8_t> out,
                              const TransferProgress& progress = {});
// Summed block write of the image to flash at `address`, in 2 KiB chunks.
ActionResult write_flash_image(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image,
                               const TransferProgress& progress = {});

// A flash range read back and compared with what should be there. The module answers no
// chunk of a summed write: a chunk whose sum did not match (a disturbed transfer) is dropped
// silently, and only reading the range back tells.
struct VerifyResult {
    // How the check ended: the read-back's own failure (nothing was compared), or
    // ActionFailure::mismatch when the bytes differ, or done.
    ActionResult outcome;
    std::size_t differing_bytes = 0;
    std::uint32_t first_difference = 0;  // flash address of the first differing byte, if any
    std::uint8_t written_byte = 0;       // what should be there, and what was read, at
    std::uint8_t read_byte = 0;          // first_difference
    bool matches() const { return outcome.ok(); }
};
// Reads expected.size() bytes of flash from `address` and compares them with `expected`.
VerifyResult verify_flash(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> expected,
                          const TransferProgress& progress = {});

// A write followed by its read-back, as the window and the command line write flash.
struct VerifiedWrite {
    ActionResult write;
    VerifyResult verify;  // read back only when the module took the whole write
    bool ok() const { return write.ok() && verify.matches(); }
};
// A write that failed is read back all the same (the write stops in step with the module),
// and its result's text names what is not written.
VerifiedWrite write_flash_verified(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image);
// After a flash write that failed: reads the range back and adds to the write's text how many
// bytes are not as written and the first of them. Returns the read-back.
VerifyResult note_unwritten(DeviceHandle h, std::uint32_t address, std::span<const std::uint8_t> image,
                            ActionResult& write);
VerifiedWrite write_config_block_verified(DeviceHandle h, const ConfigBlock& block);

// --- RAM ---

// The image into the module's RAM and into one non-volatile bank (ram_bank_main or
// ram_bank_reserve): stop the CNC, send the image, store it in the bank, restart the module.
// A refused stop sends nothing more. A transfer that fails is completed with zero reports, so
// that the module takes its next frame as a frame, and no bank is told to store it; the
// restart is sent also then, and the module comes back with the main bank's image in RAM.
ActionResult write_ram_image(DeviceHandle h, std::span<const std::uint8_t> image, std::uint32_t bank,
                             const TransferProgress& progress = {});
// Stops the CNC, reads out.size() bytes of RAM, and starts the CNC again when start_after is
// set (a CNC the engineer had stopped stays stopped). `out` is written only by a complete read;
// a refused start does not fail the read: the result's follow_up_refused tells of it.
ActionResult read_ram_image(DeviceHandle h, std::span<std::uint8_t> out, bool start_after,
                            const TransferProgress& progress = {});

// --- CNC bus registers ---

struct BusWrite {
    std::uint16_t address;
    std::uint16_t value;
};
// Writes the registers in order; every write is sent even after a refused one. The result
// names the first refused.
ActionResult write_registers(DeviceHandle h, std::span<const BusWrite> writes);

struct RegisterReading {
    std::uint16_t address = 0;
    std::uint16_t value = 0;
    bool valid = false;  // the read and its whole reply went through
};
// Reads the registers in order, each independently of the others: one reading per address.
// The result names the first read that failed.
ActionResult read_registers(DeviceHandle h, std::span<const std::uint16_t> addresses,
                            std::vector<RegisterReading>& readings);

// The EA controller's words: its four inputs, or (outputs) its two outputs in words 0 and 1
// (words 2 and 3 carry nothing). `words` is written only by a complete reply.
ActionResult read_controller_words(DeviceHandle h, bool outputs, std::array<std::uint16_t, 4>& words);

// --- CNC processor and module ---

ActionResult stop_cnc(DeviceHandle h);
ActionResult start_cnc(DeviceHandle h);
ActionResult restart_module(DeviceHandle h);
// The module's external DAC mode, as the status probe switches it for the DAC page.
ActionResult set_external_dac(DeviceHandle h, bool on);

// --- firmware update ---

// Asks the module's application to hand over to its loader (the module then leaves the bus
// and comes back as the loader).
ActionResult hand_over_to_loader(DeviceHandle h);
// Streams a firmware image to the loader: the announcement (length, its 64 KiB count), then
// 512-byte pieces until the first shorter piece (empty, and not sent, when the length is a
// multiple of 512). `progress` is told the bytes sent after each piece. Stops at the first
// refused report. An empty image is not announced (the loader would wait for it forever).
// After a refused report the loader may still wait for the rest of the image and would take
// any frame as image bytes; nothing can complete the image safely, so the result says
// awaits_data: send the module nothing until it has restarted.
ActionResult stream_update_image(DeviceHandle h, std::span<const std::uint8_t> image,
                                 const TransferProgress& progress = {});
