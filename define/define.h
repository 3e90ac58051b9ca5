// Constants and types shared by the device link, the serial link, the window and the
// simulated module: the module's command set, its USB identities, the flash map, the CNC
// bus registers and the sizes of everything that travels over the wire.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Command codes of the module's protocol (codes 3, 4, 5 and 11 are not used by the tool).
enum Command : std::uint8_t {
    cmd_identify = 1,          // any interface: reply 2 bytes, the identity word
    cmd_get_status = 2,        // application: 8-byte status; loader: 4-byte loader version
    cmd_update = 6,            // application: hand over to the loader; loader: image follows
    cmd_get_loader_info = 7,   // loader: 4-byte firmware version word
    cmd_block_end = 8,         // closes a summed chunk: sum, flash address, length
    cmd_block_begin = 9,       // opens a summed chunk: sum, flash address, length; data follows
    cmd_read_flash = 10,       // flash address, length: reply is that many bytes
    cmd_cpu_stop = 12,         // stop the CNC processor
    cmd_restart = 13,          // restart the module
    cmd_bus_write = 14,        // bus address, 16-bit value
    cmd_bus_read = 15,         // bus address: 8-byte reply, value in bytes 0-1
    cmd_cpu_start = 16,        // start the CNC processor
    cmd_ram_read = 17,         // 0, 16384: reply is the RAM image
    cmd_ram_write_begin = 18,  // 0, 16384: the RAM image follows as data reports
    cmd_ram_write_end = 19,    // bank selector, 16384: store the RAM into a non-volatile bank
    cmd_ext_dac_on = 20,       // external DAC mode on
    cmd_ext_dac_off = 21,      // external DAC mode off
    cmd_ea_read_inputs = 22,   // 8-byte reply: four input words
    cmd_ea_read_outputs = 23,  // 8-byte reply: two output words, bytes 4-7 unused
};

// USB identity of the module. Both its programs share vendor and product id and differ only
// in the word they answer to cmd_identify.
constexpr std::uint16_t module_vendor_id = 0x03EB;
constexpr std::uint16_t module_product_id = 0x6202;
constexpr std::uint16_t app_identity_word = 0x3B03;
constexpr std::uint16_t loader_identity_word = 0x3B01;

// Feature reports: report id byte (always 0) followed by 64 data bytes.
constexpr std::size_t report_length = 65;
constexpr std::size_t report_data_length = 64;
constexpr std::uint8_t command_marker = 0x55;

// Flash map as the tool uses it: the three images lie directly below the configuration page.
constexpr std::uint32_t flash_rom_address = 0x08035800;
constexpr std::uint32_t flash_amt_address = 0x08039800;
constexpr std::uint32_t flash_kvp_address = 0x0803B800;
constexpr std::uint32_t flash_config_address = 0x0803F800;
constexpr std::uint32_t flash_page_size = 2048;  // one summed chunk, one configuration page
constexpr std::uint32_t flash_end_address = flash_config_address + flash_page_size;

// Image and block sizes in bytes.
constexpr std::size_t rom_size = 16384;
constexpr std::size_t amt_size = 8192;
constexpr std::size_t amt_half_size = 4096;
constexpr std::size_t kvp_size = 16384;
constexpr std::size_t ram_size = 16384;
constexpr std::size_t params_size = 12;
constexpr std::size_t block_chunk_size = 2048;
constexpr std::size_t update_piece_size = 512;

// The configuration block: eight setting bytes, then their sum as a little-endian 32-bit word.
constexpr std::size_t params_summed_bytes = 8;
constexpr std::size_t params_checksum_offset = 8;
// The block a new module carries and the tool falls back to when a read block fails its
// checksum: software version 4, AMT ROM set 1, KVP contents 1, X keys not inverted, RAM saved
// automatically, input filter 4, power loss by the ~12 V rail; checksum 0x0B.
constexpr std::array<std::uint8_t, params_size> default_params{
    0x04, 0x01, 0x01, 0x00, 0x01, 0x04, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00};
// Erased flash: what the configuration page holds past the block after a write.
constexpr std::uint8_t erased_flash_byte = 0xFF;

// DAC channels: volts per step of a register value, on the positive side (bit 15 clear) and
// on the negative side (bit 15 set, magnitude in bits 14..0).
constexpr double dac_volts_per_step_positive = 0.0048852;
constexpr double dac_volts_per_step_negative = 0.0048;

// Selectors of the module's non-volatile RAM banks (word_a of cmd_ram_write_end).
constexpr std::uint32_t ram_bank_main = 0;
constexpr std::uint32_t ram_bank_reserve = 16384;

// CNC bus registers by their role; their addresses are written in octal as the CNC's
// documentation and the window show them.
constexpr std::uint16_t bus_inputs_1 = 0170461;      // the four input words
constexpr std::uint16_t bus_inputs_2 = 0170463;
constexpr std::uint16_t bus_inputs_3 = 0170465;
constexpr std::uint16_t bus_inputs_4 = 0170467;
constexpr std::uint16_t bus_outputs_1 = 0170462;     // the two output words
constexpr std::uint16_t bus_outputs_2 = 0170464;
constexpr std::uint16_t bus_dac_kp1 = 0170500;       // DAC channels KP1..KP4
constexpr std::uint16_t bus_dac_kp2 = 0170501;
constexpr std::uint16_t bus_dac_kp3 = 0170502;
constexpr std::uint16_t bus_dac_kp4 = 0170503;
constexpr std::uint16_t bus_kip_outputs = 0170520;   // measuring channel 0 (outputs in bits 3..0)
constexpr std::uint16_t bus_counter_kip1 = 0170521;  // counters of channels KIP1..KIP4
constexpr std::uint16_t bus_counter_kip2 = 0170522;
constexpr std::uint16_t bus_counter_kip3 = 0170523;
constexpr std::uint16_t bus_counter_kip4 = 0170524;

// Reply lengths of the command set.
constexpr std::size_t identify_reply_length = 2;
constexpr std::size_t app_status_reply_length = 8;
constexpr std::size_t loader_word_reply_length = 4;
constexpr std::size_t bus_reply_length = 8;
