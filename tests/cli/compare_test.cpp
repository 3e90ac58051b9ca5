// lirvan-cli compare against the simulated module: a module whose images differ from a file
// in two words, the AMT ROM's halves, lane files, backup folders and the usage rules.
#include <cstring>

#include <nlohmann/json.hpp>

#include "app/value_formats.h"

#include "cli_rig.h"

using json = nlohmann::json;

namespace {

// Two words changed: one in its low byte, one in its high byte.
std::vector<std::uint8_t> two_words_changed(std::vector<std::uint8_t> image, std::size_t w1, std::size_t w2)
{
    image[2 * w1] ^= 0x01;
    image[2 * w2 + 1] ^= 0x80;
    return image;
}

}  // namespace

TEST(CliCompare, ModuleWithTwoChangedWordsExitsThreeNamingBothInOctal)
{
    CliRig rig;
    const auto rom = pattern(rom_size, 7, 1);
    std::memcpy(rig.module.flash_at(flash_rom_address), rom.data(), rom.size());
    rig.write_file("rom.bin", rom);
    EXPECT_EQ(rig.run({"compare", "rom", rig.path("rom.bin")}), 0) << rig.err.str();
    EXPECT_NE(rig.out.str().find("are equal (8192 words)"), std::string::npos) << rig.out.str();

    // The module changed in words 15 and 8191 (octal 17 and 17777).
    const auto changed = two_words_changed(rom, 15, 8191);
    std::memcpy(rig.module.flash_at(flash_rom_address), changed.data(), changed.size());
    const std::string file = rig.path("rom.bin");
    EXPECT_EQ(rig.run({"compare", "rom", file}), 3);
    const std::string out = rig.out.str();
    EXPECT_NE(out.find("differ in 2 of 8192 words"), std::string::npos) << out;
    const auto word = [](const std::vector<std::uint8_t>& b, std::size_t w) {
        return word_to_oct6_text(static_cast<std::uint16_t>(b[2 * w] | b[2 * w + 1] << 8));
    };
    EXPECT_NE(out.find("word 000017  byte 0x001E  module " + word(changed, 15) + "  " + file + " " + word(rom, 15)),
              std::string::npos) << out;
    EXPECT_NE(out.find("word 017777  byte 0x3FFE  module " + word(changed, 8191)), std::string::npos) << out;
    EXPECT_TRUE(rig.err.str().empty()) << "a difference is the result, not a failure";

    ASSERT_EQ(rig.run({"--json", "compare", "rom", file}), 3);
    const json j = json::parse(rig.out.str());
    EXPECT_EQ(j["differing_words"], 2);
    EXPECT_EQ(j["equal"], false);
    EXPECT_EQ(j["differences"][1]["word"], "017777");
    EXPECT_EQ(j["differences"][1]["byte"], 16382);
    EXPECT_EQ(j["differences"][1]["values"][1], word(rom, 8191));
}

TEST(CliCompare, AmtHalvesLaneFilesAndTwoFilesListingTheFirstTenDifferencesUnlessAll)
{
    CliRig rig;
    const auto amt = pattern(amt_size, 3, 2);
    // Word 2 of the 74000: half (image word 2050) differs in the module.
    const auto changed = two_words_changed(amt, 2050, 2050);
    std::memcpy(rig.module.flash_at(flash_amt_address), changed.data(), changed.size());
    std::vector<std::uint8_t> lanes[4];
    for (std::size_t w = 0; w < amt_size / 2; ++w) lanes[(w >= 2048) * 2].push_back(amt[2 * w]);
    for (std::size_t w = 0; w < amt_size / 2; ++w) lanes[(w >= 2048) * 2 + 1].push_back(amt[2 * w + 1]);
    const char* names[] = {"d76", "d77", "d74", "d75"};
    for (int i = 0; i < 4; ++i) rig.write_file(names[i], lanes[i]);
    EXPECT_EQ(rig.run({"compare", "amt", "--low", rig.path("d76"), "--high", rig.path("d77"), "--low-74",
                       rig.path("d74"), "--high-74", rig.path("d75")}), 3) << rig.err.str();
    EXPECT_NE(rig.out.str().find("differ in 1 of 4096 words\n  74000: word 000002  byte 0x1004"), std::string::npos)
        << rig.out.str();

    // Two files, no module asked: the other half.
    rig.write_file("a", amt);
    rig.write_file("b", two_words_changed(amt, 7, 7));
    const std::size_t reports = rig.bus.reports();
    EXPECT_EQ(rig.run({"compare", rig.path("a"), rig.path("b"), "--as", "amt"}), 3);
    EXPECT_NE(rig.out.str().find("  70000: word 000007  byte 0x000E"), std::string::npos) << rig.out.str();
    EXPECT_EQ(rig.bus.reports(), reports) << "two files need no module";
    rig.write_file("c", std::vector<std::uint8_t>(100));
    EXPECT_EQ(rig.run({"compare", rig.path("a"), rig.path("c"), "--as", "amt"}), 4) << "not an AMT image";

    // Every word differs: the first ten listed, unless --all.
    rig.write_file("a", std::vector<std::uint8_t>(kvp_size, 0));
    rig.write_file("b", std::vector<std::uint8_t>(kvp_size, 1));
    EXPECT_EQ(rig.run({"compare", rig.path("a"), rig.path("b"), "--as", "kvp"}), 3);
    EXPECT_NE(rig.out.str().find("  word 000011 "), std::string::npos);
    EXPECT_EQ(rig.out.str().find("  word 000012 "), std::string::npos) << "the eleventh is not listed";
    EXPECT_NE(rig.out.str().find("... and 8182 more"), std::string::npos);
    EXPECT_EQ(rig.run({"compare", rig.path("a"), rig.path("b"), "--as", "kvp", "--all"}), 3);
    EXPECT_NE(rig.out.str().find("  word 017777 "), std::string::npos);
}

TEST(CliCompare, BackupFolderAgainstTheModuleAndItsFilesCheckedFirst)
{
    CliRig rig;
    ASSERT_EQ(rig.run({"backup", rig.path("b")}), 0) << rig.err.str();
    EXPECT_EQ(rig.run({"compare", "--backup", rig.path("b")}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str().find("ram:"), std::string::npos) << "the RAM only with --ram";
    EXPECT_NE(rig.out.str().find("kvp: module and kvp.bin are equal"), std::string::npos) << rig.out.str();

    *rig.module.flash_at(flash_kvp_address + 10) ^= 0xFF;
    *rig.module.flash_at(flash_kvp_address + 4001) ^= 0xFF;
    EXPECT_EQ(rig.run({"compare", "--backup", rig.path("b")}), 3);
    EXPECT_NE(rig.out.str().find("kvp: module and kvp.bin differ in 2 of 8192 words\n  word 000005  byte 0x000A"),
              std::string::npos) << rig.out.str();
    EXPECT_NE(rig.out.str().find("rom: module and rom.bin are equal"), std::string::npos);
    rig.module.ram()[6] ^= 1;
    EXPECT_EQ(rig.run({"compare", "--backup", rig.path("b"), "--ram"}), 3);
    EXPECT_NE(rig.out.str().find("ram: module and ram.bin differ in 1 of 8192 words\n  word 000003"),
              std::string::npos) << rig.out.str();

    auto rom = rig.file("b/rom.bin");
    rom[0] ^= 1;
    rig.write_file("b/rom.bin", rom);
    const std::size_t reports = rig.bus.reports();
    EXPECT_EQ(rig.run({"compare", "--backup", rig.path("b")}), 4);
    EXPECT_NE(rig.err.str().find("rom.bin"), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.bus.reports(), reports) << "a file that fails its manifest stops the compare before the module";
}

TEST(CliCompare, UsageErrorsExit64BeforeTheModule)
{
    CliRig rig;
    rig.write_file("f", std::vector<std::uint8_t>(rom_size));
    const std::string f = rig.path("f");
    const std::vector<std::vector<std::string>> bad = {
        {"compare"},
        {"compare", "rom"},                         // nothing to compare with
        {"compare", f, f},                          // two files need --as
        {"compare", "config", f},                   // the block is compared in a backup
        {"compare", "rom", f, f},                   // one file too many
        {"compare", "rom", f, "--low", f, "--high", f},
        {"compare", "rom", "--low", f},             // D82 missing
        {"compare", "kvp", "--low", f, "--high", f},  // the KVP has no lanes
        {"compare", "--backup", rig.dir.string(), "rom"},
        {"compare", "rom", f, "--ram"},
        {"compare", "--as", "rom"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(rig.run(args), 64) << ::testing::PrintToString(args);
        EXPECT_EQ(rig.bus.reports(), 0u) << ::testing::PrintToString(args);
    }
}
