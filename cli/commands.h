// The commands of lirvan-cli, each on the module link and the output of one run. Every
// failure is a CliFailure with its exit code and one line naming what failed.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "module/memories.h"
#include "cli/module_link.h"
#include "cli/output.h"

namespace fs = std::filesystem;

struct WriteOptions {
    Memory memory = Memory::rom;
    std::string file;                 // a whole image, or empty when lanes are given
    // The chip files, in the order of the memory's lanes: ROM D83, D82; AMT D76, D77 (the
    // 70000: half), D74, D75 (the 74000: half). Empty: not given.
    std::array<std::string, 4> lane_files;
    std::string bank;                 // RAM: main or reserve
    bool verify = true;
};

void command_status(ModuleLink& link, Output& out);
void command_config_show(ModuleLink& link, Output& out);
void command_config_read(ModuleLink& link, Output& out, const fs::path& file);
void command_config_write(ModuleLink& link, Output& out, const fs::path& file, bool verify);
void command_read(ModuleLink& link, Output& out, Memory memory, const fs::path& file);
void command_write(ModuleLink& link, Output& out, const WriteOptions& options);
void command_regs(ModuleLink& link, Output& out, const std::vector<std::string>& addresses);
void command_set(ModuleLink& link, Output& out, const std::string& assignment);
void command_cpu(ModuleLink& link, Output& out, bool start);
void command_restart(ModuleLink& link, Output& out);
void command_counters_reset(ModuleLink& link, Output& out);
void command_update(ModuleLink& link, Output& out, const CarriedImage& firmware, int wait_seconds);
void command_backup(ModuleLink& link, Output& out, const fs::path& folder);
void command_restore(ModuleLink& link, Output& out, const fs::path& folder,
                     const std::string& ram_bank, bool verify);
void command_info(Output& out, const std::vector<std::string>& files);

// compare: the first side is the module's memory (first_file empty) or an image file; the
// second an image file, or the memory's lane files (second_file empty). With `backup`, every
// memory of that backup folder against the module (the RAM only with `ram`). Returns 0 when
// every pair is equal, 3 when one differs.
struct CompareOptions {
    Memory memory = Memory::rom;
    std::string first_file;
    std::string second_file;
    std::array<std::string, 4> lane_files;  // as WriteOptions::lane_files
    std::string backup;
    bool ram = false;
    bool all = false;  // list every differing word, not only the first ones
};
int command_compare(ModuleLink* link, Output& out, const CompareOptions& options);

// watch: the registers in the order they are read in each sample; times in microseconds, 0
// for "as fast as the module answers" and "until Ctrl+C".
struct WatchOptions {
    std::vector<std::uint16_t> registers;
    bool controller_words = false;  // also the EA controller's six words, read first
    std::chrono::microseconds interval{0};
    std::chrono::microseconds duration{0};
    std::string csv;   // one row per change (per reading with every_sample), flushed as it goes
    std::string svg;   // the timing diagram, written when the trace ends
    bool every_sample = false;
};
// The trace's clock (monotonic) and its wait between samples: the system's, or a simulated
// module's.
struct WatchTime {
    std::function<std::chrono::microseconds()> clock;
    std::function<void(std::chrono::milliseconds)> pause;
};
// Ends 0 at the end of the duration or on Ctrl+C; a module that vanishes ends it with exit 2
// after the summary and the diagram of what was recorded.
void command_watch(ModuleLink& link, Output& out, const WatchOptions& options, const WatchTime& time);

// The image a write sends: its whole file (exactly the memory's size), or its lane files put
// into an erased image as the window loads them.
std::vector<std::uint8_t> image_for_write(const WriteOptions& options);
// The memories of a backup folder, each file checked against the manifest (size, sum, CRC-32)
// before it is returned; the RAM only when asked for. Fails with exit 4 naming the file.
struct BackupContents {
    std::string firmware_version;  // of the module the backup was made of, as its manifest says
    std::vector<std::pair<Memory, std::vector<std::uint8_t>>> images;
};
BackupContents read_backup(const fs::path& folder, bool with_ram);

struct PollOptions {
    std::string port;
    int baud = 57600;
    int address = 1;
    int count = 1;
};
void command_poll(Output& out, const PollOptions& options,
                  const std::function<void(std::chrono::milliseconds)>& pause);

// The text forms shared by the commands and their tests.
std::string hex32(std::uint32_t value);   // 0x08035800

// The memories on the held module: read whole (the RAM read starts the CNC again only when it
// was running), written whole (the RAM into `ram_bank`), and a read-back compared with what
// was written (exit 3 naming the first differing address and the count of differing bytes).
std::vector<std::uint8_t> read_memory(ModuleLink& link, Memory m);
void write_memory(ModuleLink& link, Memory m, const std::vector<std::uint8_t>& bytes,
                  std::uint32_t ram_bank);
void verify_memory(ModuleLink& link, Memory m, const std::vector<std::uint8_t>& written);
// "main" or "reserve" to the selector of cmd_ram_write_end.
std::uint32_t bank_selector(const std::string& bank);
