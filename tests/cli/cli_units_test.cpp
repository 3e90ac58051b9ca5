// The command line's pieces that stand alone: the checks of an image, what a file fits, the
// writes that never leave half a file, and the progress bar's terminal rule.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "cli/checksums.h"
#include "cli/exit_codes.h"
#include "cli/files.h"
#include "cli/memories.h"
#include "cli/progress.h"
#include "cli_rig.h"

TEST(CliChecks, Crc32AndByteSumOfKnownInputs)
{
    const std::string digits = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(digits.data());
    EXPECT_EQ(crc32_text(crc32_of(p, digits.size())), "cbf43926");
    EXPECT_EQ(crc32_of(p, 0), 0u);
    EXPECT_EQ(byte_sum(std::vector<std::uint8_t>(16384, 0xFF)), 16384u * 255u);
}

TEST(CliChecks, FileFitNamesTheMemoriesAndChipFilesOfEachSize)
{
    EXPECT_EQ(file_fit(16384).exact, (std::vector<std::string>{"rom", "kvp", "ram"}));
    EXPECT_EQ(file_fit(8192).exact.size(), 2u);  // amt, and a ROM chip's lane
    EXPECT_EQ(file_fit(12).exact, std::vector<std::string>{"config"});
    EXPECT_EQ(file_fit(2048).exact.size(), 1u);
    EXPECT_TRUE(file_fit(100).exact.empty());
    EXPECT_NE(file_fit(100).note.find("first 100 bytes"), std::string::npos);
    EXPECT_NE(file_fit(20000).note.find("larger"), std::string::npos);
}

TEST(CliFiles, InfoReportsEachFileAndFailsOnTheUnreadableOnes)
{
    CliRig rig;
    rig.write_file("cfg", {4, 1, 1, 0, 1, 4, 0, 0, 11, 0, 0, 0});
    // The unreadable ones first: the file after them is still reported, the first failure named.
    EXPECT_EQ(rig.run({"info", rig.path("none"), rig.dir.string(), rig.path("cfg")}), 4);
    EXPECT_NE(rig.out.str().find(rig.path("cfg") + ": 12 bytes, sum 22, CRC-32 "), std::string::npos) << rig.out.str();
    EXPECT_NE(rig.out.str().find("checksum correct"), std::string::npos) << rig.out.str();
    EXPECT_NE(rig.err.str().find("none: cannot open"), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.bus.reports(), 0u);
}

TEST(CliFiles, AtomicWriteReplacesWholeOrNotAtAll)
{
    CliRig rig;
    rig.write_file("f", {1, 2, 3});
    write_file_atomic(rig.dir / "f", {9, 9});
    EXPECT_EQ(rig.file("f"), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_THROW(write_file_atomic(rig.dir / "no" / "f", {1}), CliFailure);
    EXPECT_THROW(write_file_atomic(rig.dir, {1}), CliFailure);
    EXPECT_EQ(rig.entries(), std::vector<std::string>{"f"});

    {
        StagedFolder staged(rig.dir / "b");
        staged.write("x", {1});
        EXPECT_THROW(staged.write("x", {2}), CliFailure) << "a staged file is written once";
    }  // not committed: nothing stays
    EXPECT_EQ(rig.entries(), std::vector<std::string>{"f"});
    StagedFolder staged(rig.dir / "b");
    staged.write("x", {1});
    staged.commit();
    EXPECT_EQ(rig.file("b/x"), std::vector<std::uint8_t>{1});
    EXPECT_THROW(StagedFolder{rig.dir / "b"}, CliFailure);
}

TEST(CliFiles, WholeFileReadTakesEveryByteUpToTheLimitAndRefusesMore)
{
    CliRig rig;
    std::vector<std::uint8_t> bytes(200000);  // more than one read slice
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    rig.write_file("big", bytes);
    EXPECT_EQ(read_whole_file(rig.dir / "big", bytes.size()), bytes);
    try {
        read_whole_file(rig.dir / "big", bytes.size() - 1);
        ADD_FAILURE() << "a file past the limit was read";
    } catch (const CliFailure& e) {
        EXPECT_NE(std::string(e.what()).find("too large (200000 bytes)"), std::string::npos) << e.what();
    }
    rig.write_file("empty", {});
    EXPECT_TRUE(read_whole_file(rig.dir / "empty", 10).empty());
    EXPECT_THROW(read_whole_file(rig.dir, 10), CliFailure) << "a folder is no file";
}

TEST(CliProgress, DrawsOnlyOnATerminalAfterAMomentAndWipesItsLine)
{
    std::ostringstream pipe, terminal;
    ProgressBar off(pipe, false), on(terminal, true);
    off.begin("read");
    on.begin("read");
    on.show(1, 10);
    EXPECT_FALSE(on.drawn()) << "a transfer shorter than a moment shows no bar";
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    for (std::size_t done = 2; done <= 6; ++done) {
        off.show(done, 10);
        on.show(done, 10);
    }
    EXPECT_TRUE(on.drawn());
    EXPECT_NE(terminal.str().find("60%"), std::string::npos) << terminal.str();
    on.end();
    off.end();
    EXPECT_EQ(terminal.str().substr(terminal.str().size() - 4), "\r\033[K");
    EXPECT_TRUE(pipe.str().empty());
}
