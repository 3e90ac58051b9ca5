// lirvan-cli against the simulated module: backup and restore, verified writes, a module that
// vanishes mid-read, the JSON results, the support log and the usage errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "cli/checksums.h"
#include "cli/traffic_tap.h"
#include "cli_rig.h"
#include "comport/pty_peer.h"
#include "define/byte_order.h"
#include "device/device.h"
#include "device/forwarding_hid.h"
#include "hostile_image.h"

using nlohmann::json;

namespace {

// The Hids below sit between the command line and the bus and change the reports they need to.
using PassOnHid = ForwardingHid;

// A Hid between the command line and the bus that changes one data byte of the chunk written
// to `address`, after the bus took the frame: the module gets a chunk whose sum is wrong.
class ChunkCorrupter : public PassOnHid {
public:
    ChunkCorrupter(Hid& inner, std::uint32_t address) : PassOnHid(inner), address_(address) {}
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        std::vector<std::uint8_t> copy(buf, buf + length);
        if (armed_) {
            copy[6] ^= 0x01;
            armed_ = false;
            ++corrupted;
        } else if (copy[1] == command_marker && copy[2] == cmd_block_begin && get_le32(&copy[7]) == address_) {
            armed_ = true;
        }
        return inner_.set_feature(h, copy.data(), copy.size());
    }
    int corrupted = 0;

private:
    std::uint32_t address_;
    bool armed_ = false;
};

// Records every report as it passed the seam, for comparison with the support log.
class Recorder : public PassOnHid {
public:
    explicit Recorder(Hid& inner) : PassOnHid(inner) {}
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t l) override
    {
        reports.emplace_back("out", std::vector<std::uint8_t>(buf, buf + l));
        return inner_.set_feature(h, buf, l);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t l) override
    {
        const bool ok = inner_.get_feature(h, buf, l);
        reports.emplace_back("in", std::vector<std::uint8_t>(buf, buf + l));
        return ok;
    }
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> reports;
};

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string s;
    char two[3];
    for (const auto b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        s += two;
    }
    return s;
}

std::vector<json> json_lines(const std::string& text)
{
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
}

}  // namespace

TEST(CliBackup, RoundTripRestoresEveryMemoryAndTheManifestDescribesTheFiles)
{
    CliRig rig;
    const auto rom = pattern(rom_size, 7, 1), amt = pattern(amt_size, 3, 2), kvp = pattern(kvp_size, 5, 3),
               ram = pattern(ram_size, 11, 4);
    const std::vector<std::uint8_t> config = {5, 2, 3, 1, 2, 7, 9, 3, 32, 0, 0, 0};  // reserved byte 6 kept
    std::memcpy(rig.module.flash_at(flash_rom_address), rom.data(), rom.size());
    std::memcpy(rig.module.flash_at(flash_amt_address), amt.data(), amt.size());
    std::memcpy(rig.module.flash_at(flash_kvp_address), kvp.data(), kvp.size());
    std::memcpy(rig.module.flash_at(flash_config_address), config.data(), config.size());
    std::memcpy(rig.module.ram(), ram.data(), ram.size());

    ASSERT_EQ(rig.run({"backup", rig.path("b")}), 0) << rig.err.str();
    EXPECT_TRUE(rig.module.cpu_running()) << "a running CNC runs again after the RAM read";
    EXPECT_EQ(rig.entries(), std::vector<std::string>{"b"}) << "no temporary folder left";
    const json manifest = json::parse(rig.file("b/manifest.json"));
    EXPECT_EQ(manifest["module"]["firmware_version"], "4.36");
    ASSERT_EQ(manifest["files"].size(), 5u);
    for (const auto& f : manifest["files"]) {
        const auto bytes = rig.file("b/" + f["name"].get<std::string>());
        EXPECT_EQ(f["size"], bytes.size());
        EXPECT_EQ(f["sum"], byte_sum(bytes));
        EXPECT_EQ(f["crc32"], crc32_text(crc32_of(bytes)));
    }
    EXPECT_EQ(rig.file("b/rom.bin"), rom);
    EXPECT_EQ(rig.file("b/ram.bin"), ram);

    // Another module content, then the restore puts everything back.
    for (std::uint32_t a = flash_rom_address; a < flash_end_address; ++a) *rig.module.flash_at(a) = 0xFF;
    std::memset(rig.module.ram(), 0, ram_size);
    ASSERT_EQ(rig.run({"restore", rig.path("b"), "--ram", "main"}), 0) << rig.err.str();
    EXPECT_EQ(rig.flash(flash_rom_address, rom_size), rom);
    EXPECT_EQ(rig.flash(flash_amt_address, amt_size), amt);
    EXPECT_EQ(rig.flash(flash_kvp_address, kvp_size), kvp);
    EXPECT_EQ(rig.flash(flash_config_address, params_size), config);
    EXPECT_EQ(std::vector<std::uint8_t>(rig.module.ram_bank(ram_bank_main), rig.module.ram_bank(ram_bank_main) + ram_size), ram);
    EXPECT_EQ(std::vector<std::uint8_t>(rig.module.ram(), rig.module.ram() + ram_size), ram);
    EXPECT_EQ(rig.module.chunks_rejected(), 0u);
}

TEST(CliBackup, RefusesAnExistingFolderAndAFileThatNoLongerMatchesItsManifest)
{
    CliRig rig;
    fs::create_directory(rig.dir / "old");
    EXPECT_EQ(rig.run({"backup", rig.path("old")}), 4);
    EXPECT_EQ(rig.bus.reports(), 0u) << "nothing is read for a folder that cannot be stored";

    ASSERT_EQ(rig.run({"backup", rig.path("b")}), 0);
    auto kvp = rig.file("b/kvp.bin");
    kvp[100] ^= 0x10;
    rig.write_file("b/kvp.bin", kvp);
    rig.module.clear_commands();
    EXPECT_EQ(rig.run({"restore", rig.path("b")}), 4);
    EXPECT_NE(rig.err.str().find("kvp.bin"), std::string::npos) << rig.err.str();
    EXPECT_TRUE(rig.module.commands().empty()) << "a restore checks every file before it writes";

    // Taken from another firmware: restored all the same, with a warning first.
    kvp[100] ^= 0x10;
    rig.write_file("b/kvp.bin", kvp);
    json manifest = json::parse(rig.file("b/manifest.json"));
    manifest["module"]["firmware_version"] = "4.35";
    const auto store = [&rig](const json& j) {
        const std::string text = j.dump();
        rig.write_file("b/manifest.json", std::vector<std::uint8_t>(text.begin(), text.end()));
    };
    store(manifest);
    EXPECT_EQ(rig.run({"restore", rig.path("b")}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str().rfind("warning: backup of firmware 4.35, module runs 4.36\n", 0), 0u) << rig.out.str();

    // A manifest that lists no KVP image: refused, naming it, before the module is touched.
    auto& files = manifest["files"];
    files.erase(std::remove_if(files.begin(), files.end(), [](const json& f) { return f["memory"] == "kvp"; }),
                files.end());
    store(manifest);
    rig.module.clear_commands();
    EXPECT_EQ(rig.run({"restore", rig.path("b")}), 4);
    EXPECT_NE(rig.err.str().find("manifest.json: lists no kvp image; nothing was written to the module"),
              std::string::npos) << rig.err.str();
    EXPECT_TRUE(rig.module.commands().empty());

    rig.write_file("b/manifest.json", {'{'});
    EXPECT_EQ(rig.run({"restore", rig.path("b")}), 4);
    EXPECT_EQ(rig.run({"restore", rig.path("none")}), 64) << "a folder that does not exist is a usage error";
}

TEST(CliWrite, RejectedChunkFailsTheVerifyNamingItsFirstAddressAndCount)
{
    CliRig rig;
    const auto image = pattern(rom_size, 7, 1);
    rig.write_file("rom.bin", image);
    ChunkCorrupter corrupter(rig.bus, flash_rom_address + 2 * block_chunk_size);
    rig.hid = &corrupter;

    EXPECT_EQ(rig.run({"write", "rom", rig.path("rom.bin")}), 3);
    EXPECT_EQ(corrupter.corrupted, 1);
    EXPECT_EQ(rig.module.chunks_rejected(), 1u);
    EXPECT_NE(rig.err.str().find("verifying rom: 2048 of 16384 bytes differ, the first at 0x08036800 "
                                 "(written 3B, read FF)"), std::string::npos)
        << rig.err.str();

    // Without the read-back the same write passes unnoticed: that is what the verify is for.
    EXPECT_EQ(rig.run({"write", "rom", rig.path("rom.bin"), "--no-verify"}), 0);
    EXPECT_EQ(corrupter.corrupted, 2);
    rig.hid = &rig.bus;
    EXPECT_EQ(rig.run({"write", "rom", rig.path("rom.bin")}), 0) << "an undisturbed write verifies";
    EXPECT_EQ(rig.flash(flash_rom_address, rom_size), image);
}

TEST(CliWrite, LaneFilesMakeTheImageAsTheWindowLoadsThem)
{
    CliRig rig;
    const auto d83 = pattern(rom_size / 2, 3, 0), d82 = pattern(rom_size / 2, 5, 9);
    rig.write_file("d83", d83);
    rig.write_file("d82", d82);
    ASSERT_EQ(rig.run({"write", "rom", "--low", rig.path("d83"), "--high", rig.path("d82")}), 0) << rig.err.str();
    const auto rom = rig.flash(flash_rom_address, rom_size);
    EXPECT_EQ(rom[0], d83[0]);
    EXPECT_EQ(rom[1], d82[0]);
    EXPECT_EQ(rom[2 * 4000], d83[4000]);
    EXPECT_EQ(rom[2 * 8191 + 1], d82[8191]);

    const auto d76 = pattern(2048, 3, 1), d77 = pattern(2048, 3, 2), d74 = pattern(2048, 3, 3), d75 = pattern(2048, 3, 4);
    for (auto [name, bytes] : {std::pair{"d76", d76}, {"d77", d77}, {"d74", d74}, {"d75", d75}}) rig.write_file(name, bytes);
    ASSERT_EQ(rig.run({"write", "amt", "--low", rig.path("d76"), "--high", rig.path("d77"), "--low-74",
                       rig.path("d74"), "--high-74", rig.path("d75")}), 0) << rig.err.str();
    const auto amt = rig.flash(flash_amt_address, amt_size);
    EXPECT_EQ(amt[2 * 10], d76[10]);
    EXPECT_EQ(amt[2 * 10 + 1], d77[10]);
    EXPECT_EQ(amt[amt_half_size + 2 * 10], d74[10]);
    EXPECT_EQ(amt[amt_half_size + 2 * 10 + 1], d75[10]);

    rig.write_file("short", std::vector<std::uint8_t>(100, 1));
    EXPECT_EQ(rig.run({"write", "kvp", rig.path("short")}), 4) << "a whole image must be whole";
    EXPECT_EQ(rig.run({"write", "rom", rig.path("missing")}), 4);
}

TEST(CliRead, VanishedModuleFailsTheTransferAndLeavesNoFile)
{
    CliRig rig;
    rig.bus.vanish_after(rig.module_index, 100);  // in the middle of the 257 reply reports
    EXPECT_EQ(rig.run({"read", "rom", rig.path("rom.bin")}), 2);
    EXPECT_NE(rig.err.str().find("reading rom"), std::string::npos) << rig.err.str();
    EXPECT_NE(rig.err.str().find("report 101, reply to cmd_read_flash, not received"), std::string::npos)
        << rig.err.str();
    EXPECT_TRUE(rig.entries().empty()) << "neither the file nor a temporary one";

    rig.bus.restore_interface(rig.module_index);
    rig.bus.vanish_after(rig.module_index, 500);  // during the KVP read of a backup
    EXPECT_EQ(rig.run({"backup", rig.path("b")}), 2);
    EXPECT_TRUE(rig.entries().empty()) << "a failed backup leaves no folder";

    rig.bus.remove_interface(rig.module_index);
    EXPECT_EQ(rig.run({"read", "ram", rig.path("ram.bin")}), 1);
    EXPECT_EQ(rig.run({"status"}), 1);
}

// A window of the tool (another program) holds the module.
TEST(CliBusy, WaitsForAModuleHeldElsewhereThenFailsWithExit2)
{
    CliRig rig;
    rig.bus.set_held_elsewhere(rig.module_index, true);
    EXPECT_EQ(rig.run({"--busy-wait", "1.5", "read", "kvp", rig.path("k.bin")}), 2);
    EXPECT_NE(rig.err.str().find("another program holds the module"), std::string::npos) << rig.err.str();
    EXPECT_NE(rig.err.str().find("waited 1.5 s"), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.waited, std::chrono::milliseconds(1500));
    EXPECT_EQ(rig.bus.reports_to(rig.module_index), 0u);
    EXPECT_FALSE(fs::exists(rig.path("k.bin")));

    rig.waited = {};
    EXPECT_EQ(rig.run({"--busy-wait", "0", "status"}), 2);
    EXPECT_EQ(rig.waited, std::chrono::milliseconds(0));

    // Let go after a second of the default wait: the command carries on and succeeds, every
    // report under its own claim.
    rig.waited = {};
    rig.on_pause = [&rig] {
        if (rig.waited >= std::chrono::milliseconds(1000)) rig.bus.set_held_elsewhere(rig.module_index, false);
    };
    EXPECT_EQ(rig.run({"read", "kvp", rig.path("k.bin")}), 0) << rig.err.str();
    EXPECT_EQ(rig.waited, std::chrono::milliseconds(1000));
    EXPECT_EQ(rig.file("k.bin"), rig.flash(flash_kvp_address, kvp_size));
    EXPECT_EQ(rig.bus.unclaimed_reports(), 0u);
}

TEST(CliOutput, JsonResultsParseAndFailuresCarryTheirExitCode)
{
    CliRig rig;
    rig.module.set_cpu_running(false);
    ASSERT_EQ(rig.run({"--json", "status"}), 0);
    auto lines = json_lines(rig.out.str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["form"], "application");
    EXPECT_EQ(lines[0]["firmware_version"], "4.36");
    EXPECT_EQ(lines[0]["cnc"], "stopped");

    rig.module.set_bus_register(bus_inputs_1, 0x8001);
    ASSERT_EQ(rig.run({"regs", "170461", "--json"}), 0);
    lines = json_lines(rig.out.str());
    EXPECT_EQ(lines[0]["registers"][0]["value"], "100001");
    EXPECT_EQ(lines[0]["registers"][0]["bits"], "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 ");

    ASSERT_EQ(rig.run({"--json", "set", "170462=177777"}), 0);
    EXPECT_EQ(rig.module.bus_register(bus_outputs_1), 0xFFFF);

    ASSERT_EQ(rig.run({"--json", "config", "show"}), 0);
    lines = json_lines(rig.out.str());
    EXPECT_EQ(lines[0]["settings"][0]["item"], "4- версия 4");
    EXPECT_EQ(lines[0]["settings"][5]["item"], "4- 0,4 мкс");
    EXPECT_EQ(lines[0]["checksum_ok"], true);

    rig.bus.remove_interface(rig.module_index);
    EXPECT_EQ(rig.run({"--json", "read", "kvp", rig.path("k.bin")}), 1);
    lines = json_lines(rig.out.str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["ok"], false);
    EXPECT_EQ(lines[0]["exit_code"], 1);
    EXPECT_EQ(lines[0]["command"], "read");
}

TEST(CliLog, HoldsEveryReportExactlyAsItPassedTheSeam)
{
    CliRig rig;
    Recorder recorder(rig.bus);
    rig.hid = &recorder;
    rig.write_file("cfg", {3, 2, 2, 1, 3, 9, 0, 4, 0, 0, 0, 0});
    ASSERT_EQ(rig.run({"--log", rig.path("log"), "config", "write", rig.path("cfg")}), 0) << rig.err.str();

    std::ifstream log(rig.dir / "log");
    std::vector<json> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(json::parse(line));
    ASSERT_EQ(lines.size(), recorder.reports.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["direction"], recorder.reports[i].first) << "line " << i;
        EXPECT_EQ(lines[i]["bytes"], hex(recorder.reports[i].second)) << "line " << i;
        EXPECT_EQ(lines[i]["result"], "ok");
    }
    // identify, status, then the summed page: begin, 32 data reports, end; then the read-back.
    EXPECT_EQ(lines[0]["command"], "cmd_identify");
    EXPECT_EQ(lines[2]["command"], "cmd_get_status");
    std::vector<std::uint8_t> page(flash_page_size, 0xFF);  // the block, then erased bytes
    const std::uint8_t block[] = {3, 2, 2, 1, 3, 9, 0, 4, 24, 0, 0, 0};   // checksum renewed: 24
    std::memcpy(page.data(), block, sizeof block);
    const auto begin = CommandFrame{cmd_block_begin, chunk_sum(page.data(), page.size()),
                                    flash_config_address, 2048}.to_report();
    EXPECT_EQ(lines[4]["bytes"], hex({begin.begin(), begin.end()}));
    EXPECT_EQ(lines[4]["words"][1], flash_config_address);
    EXPECT_EQ(lines[5]["kind"], "data");
    EXPECT_EQ(lines[5]["command"], "cmd_block_begin");
    EXPECT_EQ(lines[37]["command"], "cmd_block_end");
    EXPECT_EQ(lines[38]["command"], "cmd_read_flash");
    EXPECT_EQ(lines[39]["direction"], "in");
    EXPECT_EQ(lines.size(), 40u);

    // Appended, not replaced: a second command adds its lines.
    ASSERT_EQ(rig.run({"--log", rig.path("log"), "cpu", "stop"}), 0);
    std::ifstream again(rig.dir / "log");
    std::size_t count = 0;
    for (std::string line; std::getline(again, line);) ++count;
    EXPECT_EQ(count, 40u + 5u);  // identify, status, cmd_cpu_stop
}

TEST(CliUsage, BadCommandLinesExit64AndEveryCommandHasHelp)
{
    CliRig rig;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"bogus"},
        {"read", "flash", "x"},
        {"read", "rom"},
        {"write", "ram", "f"},                      // no bank
        {"write", "rom", "f", "--bank", "main"},    // bank for flash
        {"write", "rom", "--low", "a"},             // half a lane pair
        {"write", "kvp", "--low", "a", "--high", "b"},
        {"regs", "170468"},                         // 8 is no octal digit
        {"set", "170462"},
        {"set", "170462=1777777"},
        {"cpu", "halt"},
        {"config"},
        {"update", "--wait", "-1"},
        {"poll", "--baud", "9600"},                 // no port
        {"restore", "d", "--ram", "spare"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(rig.run(args), 64) << testing::PrintToString(args);
        EXPECT_FALSE(rig.err.str().empty());
    }
    EXPECT_EQ(rig.bus.reports(), 0u) << "a usage error touches no module";

    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"--help"}, {"status", "--help"}, {"config", "show", "--help"},
          {"config", "read", "--help"}, {"config", "write", "--help"}, {"read", "--help"},
          {"write", "--help"}, {"regs", "--help"}, {"set", "--help"}, {"cpu", "--help"},
          {"restart", "--help"}, {"counters", "reset", "--help"}, {"update", "--help"},
          {"poll", "--help"}, {"backup", "--help"}, {"restore", "--help"}, {"info", "--help"}}) {
        EXPECT_EQ(rig.run(help), 0) << testing::PrintToString(help);
        EXPECT_NE(rig.out.str().find("Usage"), std::string::npos) << testing::PrintToString(help);
    }
}

TEST(CliUpdate, StreamsTheCarriedImageAndWaitsForTheNewVersion)
{
    CliRig rig;
    rig.module.set_firmware_version(0x00043500);
    rig.module.set_firmware_version_after_update(0x00043600);
    ASSERT_EQ(rig.run({"--json", "update", "--wait", "2"}), 0) << rig.err.str();
    const json j = json::parse(rig.out.str());
    EXPECT_EQ(j["previous_version"], "4.35");
    EXPECT_EQ(j["firmware_version"], "4.36");
    EXPECT_EQ(rig.module.last_update_image(), rig.firmware);

    // The module comes back with another version than the image's: the update did not take.
    rig.module.set_firmware_version_after_update(0x00043500);
    EXPECT_EQ(rig.run({"update", "--wait", "2"}), 3);

    rig.firmware.clear();
    EXPECT_EQ(rig.run({"update"}), 4);
    EXPECT_NE(rig.err.str().find("carries no firmware image"), std::string::npos);
}

TEST(CliPoll, ReadsTheModulesCountersAndVersionOverTheSerialLine)
{
    CliRig rig;
    PtyPair pty;
    ModbusSlavePeer slave(pty, 7);
    slave.set_register(3, 5);
    slave.set_register(4, 1);
    slave.set_register(5, 2);
    slave.set_register(9, 0x0215);
    ASSERT_EQ(rig.run({"--json", "poll", "--port", pty.path(), "--addr", "7", "--count", "2"}), 0)
        << rig.err.str();
    const auto lines = json_lines(rig.out.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["firmware_version"], "2.15");
    EXPECT_EQ(lines[1]["packets"], 65541);
    EXPECT_EQ(lines[1]["errors"], 2);

    EXPECT_EQ(rig.run({"poll", "--port", pty.path(), "--addr", "8"}), 1) << "another slave: no answer";
    EXPECT_NE(rig.out.str().find("не подключен"), std::string::npos);
    EXPECT_EQ(rig.run({"poll", "--port", rig.path("no-such-port")}), 4);
}

TEST(CliStatus, NamesTheLoaderAndRefusesModuleActionsWhileOnlyItAnswers)
{
    CliRig rig;
    rig.module.set_form(SimModule::Form::loader);
    ASSERT_EQ(rig.run({"--json", "status"}), 0);
    const json j = json::parse(rig.out.str());
    EXPECT_EQ(j["form"], "loader");
    EXPECT_EQ(j["loader_version"], "1.2.3.");
    EXPECT_EQ(j["firmware_version"], "4.36");
    EXPECT_EQ(rig.run({"read", "rom", rig.path("rom.bin")}), 1);
    EXPECT_NE(rig.err.str().find("only its loader answers"), std::string::npos) << rig.err.str();
}

TEST(CliCounters, ResetReadsTheFourCounterRegistersAndSoClearsThem)
{
    CliRig rig;
    for (int channel = 1; channel <= 4; ++channel) rig.module.add_counts(channel, static_cast<std::int16_t>(10 * channel));
    ASSERT_EQ(rig.run({"counters", "reset"}), 0) << rig.err.str();
    std::vector<std::uint32_t> read;
    for (const auto& c : rig.module.commands())
        if (c.code == cmd_bus_read) read.push_back(c.word_a);
    EXPECT_EQ(read, (std::vector<std::uint32_t>{0170521, 0170522, 0170523, 0170524}));
    for (const std::uint16_t counter : {bus_counter_kip1, bus_counter_kip2, bus_counter_kip3, bus_counter_kip4})
        EXPECT_EQ(rig.module.bus_register(counter), 0) << std::oct << counter;
}

TEST(CliConfig, ShowsWhatIsStoredAndWritesTheBlockWithAFreshChecksum)
{
    CliRig rig;
    const std::uint8_t erased[params_size] = {1, 1, 1, 0, 1, 12, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(rig.module.flash_at(flash_config_address), erased, params_size);
    ASSERT_EQ(rig.run({"config", "show"}), 0);
    EXPECT_NE(rig.out.str().find("Версия математического обеспечения УЧПУ: код 1 (нет в списке)"),
              std::string::npos) << rig.out.str();
    EXPECT_NE(rig.out.str().find("Не совпала контрольная сумма параметров."), std::string::npos);

    ASSERT_EQ(rig.run({"config", "read", rig.path("cfg")}), 0);
    EXPECT_EQ(rig.file("cfg"), std::vector<std::uint8_t>(erased, erased + params_size));
    ASSERT_EQ(rig.run({"config", "write", rig.path("cfg")}), 0) << rig.err.str();
    EXPECT_EQ(rig.flash(flash_config_address, params_size),
              (std::vector<std::uint8_t>{1, 1, 1, 0, 1, 12, 0, 0, 16, 0, 0, 0}));
    EXPECT_EQ(rig.run({"config", "write", rig.path("rom.bin")}), 64) << "no such file";
}

// --- a failed report in the middle of a write, through the command line -----------------

namespace {

// Between the command line and the bus: fails the k-th report counted from the first frame of
// the transfer (a chunk begin, a RAM write begin, an announced image), lost on the way or
// taken by the module first.
class FailInTransfer : public PassOnHid {
public:
    FailInTransfer(Hid& inner, std::size_t k, bool delivered) : PassOnHid(inner), k_(k), delivered_(delivered) {}
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t l) override
    {
        if (!started_ && l == report_length && buf[1] == command_marker)
            started_ = buf[2] == cmd_block_begin || buf[2] == cmd_ram_write_begin ||
                       (buf[2] == cmd_update && get_le32(buf + 3) != 0);
        return pass([&] { return inner_.set_feature(h, buf, l); });
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t l) override
    {
        return pass([&] { return inner_.get_feature(h, buf, l); });
    }

private:
    template <typename Call>
    bool pass(Call call)
    {
        if (!started_ || ++count_ != k_) return call();
        if (delivered_) call();
        return false;
    }
    std::size_t k_;
    bool delivered_;
    bool started_ = false;
    std::size_t count_ = 0;
};

struct CliHostileCase {
    const char* name;
    std::vector<std::string> args;  // the image file is "image.bin"
    std::size_t image_size;
    std::uint32_t flash_address;  // 0: RAM or firmware
    std::size_t positions;        // reports from the transfer's first frame on that may fail
};

std::ostream& operator<<(std::ostream& os, const CliHostileCase& c) { return os << c.name; }

class CliHostileWrites : public ::testing::TestWithParam<CliHostileCase> {};

TEST_P(CliHostileWrites, FailedReportExitsTwoOrThreeAndLeavesTheModuleInStep)
{
    const CliHostileCase& c = GetParam();
    const std::vector<std::uint8_t> image = hostile_image(c.image_size);
    for (const bool delivered : {false, true}) {
        for (std::size_t k = 1; k <= c.positions; k += 3) {
            SCOPED_TRACE(std::string(delivered ? "taken" : "lost") + " report " + std::to_string(k));
            CliRig rig;
            rig.firmware = image;
            rig.write_file("image.bin", image);
            std::vector<std::string> args = c.args;
            for (auto& a : args)
                if (a == "image.bin") a = rig.path(a);
            FailInTransfer faulty(rig.bus, k, delivered);
            rig.hid = &faulty;
            const int code = rig.run(args);

            for (const SimCommand& s : rig.module.commands()) ASSERT_FALSE(from_hostile_image(s));
            for (const SimReport& r : rig.module.placements())
                ASSERT_TRUE(r.placement != SimPlacement::end_frame || r.second == cmd_block_end);
            const std::vector<std::uint8_t> page =
                c.flash_address ? rig.flash(c.flash_address, image.size()) : std::vector<std::uint8_t>{};
            const bool written = c.flash_address == flash_config_address
                                     ? std::equal(image.begin(), image.begin() + 8, page.begin())
                                 : c.flash_address ? page == image
                                 : c.image_size == ram_size
                                     ? std::equal(image.begin(), image.end(), rig.module.ram_bank(ram_bank_main))
                                     : rig.module.last_update_image() == image;
            if (code == 0) {
                EXPECT_TRUE(written) << "exit 0 means written and verified";
            } else {
                EXPECT_TRUE(code == 2 || code == 3) << code << ": " << rig.err.str();
            }
            if (c.flash_address || c.image_size == ram_size) {
                EXPECT_FALSE(rig.module.mid_exchange());
                EXPECT_EQ(rig.module.form(), SimModule::Form::application);
                // The next command finds the module answering as ever.
                rig.hid = &rig.bus;
                EXPECT_EQ(rig.run({"status"}), 0) << rig.err.str();
            } else if (code != 0) {
                EXPECT_NE(rig.err.str().find("restart the module"), std::string::npos) << rig.err.str();
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Memories, CliHostileWrites,
    ::testing::Values(CliHostileCase{"config", {"config", "write", "image.bin"}, params_size, flash_config_address, 34 + 3},
                      CliHostileCase{"rom", {"write", "rom", "image.bin"}, rom_size, flash_rom_address, 8 * 34 + 3},
                      CliHostileCase{"amt", {"write", "amt", "image.bin"}, amt_size, flash_amt_address, 4 * 34 + 3},
                      CliHostileCase{"kvp", {"write", "kvp", "image.bin"}, kvp_size, flash_kvp_address, 8 * 34 + 3},
                      CliHostileCase{"ram", {"write", "ram", "image.bin", "--bank", "main"}, ram_size, 0, 1 + 256 + 2},
                      CliHostileCase{"update", {"update", "--wait", "2"}, 1500, 0, 1 + 24}),
    [](const ::testing::TestParamInfo<CliHostileCase>& info) { return std::string(info.param.name); });

}  // namespace
