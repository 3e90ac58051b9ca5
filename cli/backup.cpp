// backup, restore and info: the module's memories as a folder of image files with a manifest
// that lets a restore trust them, and the checks of loose image files.
//
// manifest.json:
//   {"format": "lirvan-backup 1", "tool": "lirvan-cli", "tool_version": "4.36",
//    "date": "2026-12-08T13:24:00Z", "module": {"firmware_version": "4.36", ...},
//    "files": [{"name": "config.bin", "memory": "config", "size": 12, "sum": 11,
//               "crc32": "..."}, ...]}
#include <algorithm>
#include <ctime>

#include "cli/checksums.h"
#include "cli/commands.h"
#include "cli/memories.h"
#include "cli/exit_codes.h"
#include "cli/files.h"
#include "define/utf8_path.h"
#include "cli/platform.h"
#include "define/version.h"
#include "define/version_words.h"
#include "module/actions.h"


namespace {

constexpr const char* manifest_name = "manifest.json";
constexpr const char* manifest_format = "lirvan-backup 1";

std::string utc_now()
{
    const std::time_t now = std::time(nullptr);
    const std::tm utc = utc_time(now);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Json file_entry(Memory m, const std::vector<std::uint8_t>& bytes)
{
    const MemoryInfo& info = memory_info(m);
    Json j;
    j["name"] = info.file_name;
    j["memory"] = info.name;
    j["size"] = bytes.size();
    j["sum"] = byte_sum(bytes);
    j["crc32"] = crc32_text(crc32_of(bytes));
    return j;
}

[[noreturn]] void bad_backup(const fs::path& path, const std::string& why)
{
    throw CliFailure(exit_file_problem, path_utf8(path) + ": " + why + "; nothing was written to the module");
}

// Reads a memory's file of a backup folder and checks it against its manifest entry.
std::vector<std::uint8_t> checked_file(const fs::path& folder, const Json& entry, Memory m)
{
    const MemoryInfo& info = memory_info(m);
    const fs::path path = folder / info.file_name;
    std::vector<std::uint8_t> bytes = read_whole_file(path);
    if (bytes.size() != info.size)
        bad_backup(path, std::to_string(bytes.size()) + " bytes, the " + info.name + " is " +
                             std::to_string(info.size));
    if (entry.value("size", std::size_t{0}) != bytes.size() ||
        entry.value("sum", std::uint32_t{0}) != byte_sum(bytes) ||
        entry.value("crc32", std::string()) != crc32_text(crc32_of(bytes)))
        bad_backup(path, "differs from manifest.json (size, sum or CRC-32)");
    return bytes;
}

}  // namespace

void command_backup(ModuleLink& link, Output& out, const fs::path& folder)
{
    StagedFolder staged(folder);  // fails first when the folder exists: nothing is read
    const TickReport& s = link.hold_application();
    Json manifest;
    manifest["format"] = manifest_format;
    manifest["tool"] = "lirvan-cli";
    manifest["tool_version"] = tool_version_text;
    manifest["date"] = utc_now();
    manifest["module"] = {{"firmware_version", firmware_version_text(s.firmware_version)},
                          {"firmware_word", hex32(s.firmware_version)},
                          {"cnc", s.running ? "running" : "stopped"}};
    Json files = Json::array();
    std::string text;
    for (const MemoryInfo& info : all_memories()) {
        const Memory m = info.memory;
        const std::vector<std::uint8_t> bytes = read_memory(link, m);
        staged.write(info.file_name, bytes);
        Json entry = file_entry(m, bytes);
        if (m == Memory::config) {
            ConfigBlock block{};
            std::copy(bytes.begin(), bytes.end(), block.begin());
            entry["checksum_ok"] = config_block_checksum_ok(block);
        }
        files.push_back(entry);
        text += std::string(info.file_name) + ": " + std::to_string(bytes.size()) + " bytes, sum " +
                std::to_string(byte_sum(bytes)) + ", CRC-32 " + crc32_text(crc32_of(bytes)) + "\n";
    }
    link.release();
    manifest["files"] = files;
    const std::string manifest_text = manifest.dump(2) + "\n";
    staged.write(manifest_name, std::vector<std::uint8_t>(manifest_text.begin(), manifest_text.end()));
    staged.commit();

    Json j = result_object("backup");
    j["folder"] = path_utf8(folder);
    j["firmware_version"] = firmware_version_text(s.firmware_version);
    j["files"] = files;
    out.result(j, "backup of firmware " + firmware_version_text(s.firmware_version) + " in " +
                      path_utf8(folder) + "\n" + text);
}

BackupContents read_backup(const fs::path& folder, bool with_ram)
{
    const fs::path manifest_path = folder / manifest_name;
    const std::vector<std::uint8_t> raw = read_whole_file(manifest_path);
    Json manifest;
    try {
        manifest = Json::parse(raw.begin(), raw.end());
    } catch (const Json::exception& e) {
        bad_backup(manifest_path, std::string("not a readable manifest (") + e.what() + ")");
    }
    if (!manifest.is_object() || manifest.value("format", std::string()) != manifest_format ||
        !manifest.contains("files") || !manifest["files"].is_array())
        bad_backup(manifest_path, std::string("not a manifest of format ") + manifest_format);

    BackupContents backup;
    if (manifest.contains("module") && manifest["module"].is_object())
        backup.firmware_version = manifest["module"].value("firmware_version", std::string());
    for (const MemoryInfo& info : all_memories()) {
        const Memory m = info.memory;
        if (m == Memory::ram && !with_ram) continue;
        const auto& files = manifest["files"];
        const auto entry = std::find_if(files.begin(), files.end(), [&](const Json& f) {
            return f.is_object() && f.value("memory", std::string()) == memory_info(m).name;
        });
        if (entry == files.end())
            bad_backup(manifest_path, std::string("lists no ") + memory_info(m).name + " image");
        backup.images.emplace_back(m, checked_file(folder, *entry, m));
    }
    return backup;
}

void command_restore(ModuleLink& link, Output& out, const fs::path& folder,
                     const std::string& ram_bank, bool verify)
{
    // Everything is read and checked before the module is touched. The RAM only when asked
    // for: storing it restarts the module.
    const BackupContents backup = read_backup(folder, !ram_bank.empty());
    const TickReport& s = link.hold_application();
    const std::string& saved_version = backup.firmware_version;
    Json j = result_object("restore");
    j["folder"] = path_utf8(folder);
    if (!saved_version.empty() && saved_version != firmware_version_text(s.firmware_version)) {
        j["warning"] = "backup of firmware " + saved_version + ", module runs " + firmware_version_text(s.firmware_version);
    }
    std::string text;
    Json done = Json::array();
    for (const auto& [m, bytes] : backup.images) {
        write_memory(link, m, bytes, bank_selector(ram_bank));
        const bool checked = verify && m != Memory::ram;
        if (checked) verify_memory(link, m, bytes);
        done.push_back({{"memory", memory_info(m).name}, {"verified", checked}});
        text += std::string(memory_info(m).name) + (checked ? ": written, verified\n" : ": written\n");
    }
    j["written"] = done;
    if (j.contains("warning")) text = "warning: " + j["warning"].get<std::string>() + "\n" + text;
    out.result(j, text);
}

void command_info(Output& out, const std::vector<std::string>& files)
{
    // Every file is looked at; a file that cannot be read fails the command after the others.
    std::optional<CliFailure> first_failure;
    for (const std::string& file : files) {
        std::vector<std::uint8_t> bytes;
        try {
            bytes = read_whole_file(utf8_path(file));
        } catch (const CliFailure& e) {
            if (!first_failure) first_failure = e;
            continue;
        }
        const FileFit fit = file_fit(bytes.size());
        Json j = result_object("info");
        j["file"] = file;
        j["size"] = bytes.size();
        j["sum"] = byte_sum(bytes);
        j["crc32"] = crc32_text(crc32_of(bytes));
        j["fits"] = fit.exact;
        std::string text = file + ": " + std::to_string(bytes.size()) + " bytes, sum " +
                           std::to_string(byte_sum(bytes)) + ", CRC-32 " +
                           crc32_text(crc32_of(bytes)) + "\n  fits: ";
        if (fit.exact.empty()) {
            j["note"] = fit.note;
            text += fit.note;
        } else {
            for (std::size_t i = 0; i < fit.exact.size(); ++i) text += (i ? ", " : "") + fit.exact[i];
        }
        if (bytes.size() == params_size) {
            ConfigBlock block{};
            std::copy(bytes.begin(), bytes.end(), block.begin());
            j["config_checksum_ok"] = config_block_checksum_ok(block);
            text += std::string("\n  as a configuration block: checksum ") +
                    (config_block_checksum_ok(block) ? "correct" : "wrong");
        }
        out.result(j, text);
    }
    if (first_failure) throw *first_failure;
}
