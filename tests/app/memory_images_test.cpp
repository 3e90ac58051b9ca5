// The four memory image pages against the simulated module: whole-image and byte-lane loads,
// read-back into the tool and a file, and writes to flash and to the RAM banks.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include <csignal>

#include "app/formats.h"
#include "app/image_files.h"
#include "rig.h"

// While set, rename() fails with this error: the last step of a save, which the library's
// std::filesystem::rename comes to, made to fail on demand.
static std::atomic<int> failing_rename{0};
extern "C" int rename(const char* from, const char* to) noexcept
{
    if (const int error = failing_rename.load()) {
        errno = error;
        return -1;
    }
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

using std::filesystem::exists;

class ImagePages : public PagesTest {
protected:
    void choose_open(const std::string& path) { view.open_answers.push_back(path); }
    void choose_save(const std::string& path) { view.save_answers.push_back(path); }
    // Picks the file `name` of the scratch folder in the open dialog of a load button.
    void open_with(const std::string& name, void (TMainForm::*load)())
    {
        choose_open(file(name));
        (form.*load)();
    }
    // Makes the file `name` with these bytes and loads it with a load button.
    void load(const std::string& name, const Bytes& bytes, void (TMainForm::*button)())
    {
        write_file(file(name), bytes);
        open_with(name, button);
    }
    Bytes bank(std::uint32_t selector)
    {
        return Bytes(module.ram_bank(selector), module.ram_bank(selector) + ram_size);
    }
    Bytes flash(std::uint32_t address, std::size_t n)
    {
        const std::uint8_t* p = module.flash_at(address);
        return Bytes(p, p + n);
    }
    void put_flash(std::uint32_t address, const Bytes& b)
    {
        std::memcpy(module.flash_at(address), b.data(), b.size());
    }
};

// Interleaves two lanes into whole-image bytes: low[0], high[0], low[1], high[1], ...
Bytes interleave(const Bytes& low, const Bytes& high)
{
    Bytes out;
    for (std::size_t k = 0; k < low.size(); ++k) {
        out.push_back(low[k]);
        out.push_back(high[k]);
    }
    return out;
}

// --- loads ---

TEST_F(ImagePages, WholeFilesShorterLongerAndEmpty)
{
    const Bytes start = pattern(rom_size, 1);
    form.MAT_array = start;

    const Bytes short_file = pattern(100, 2);
    load("short.bin", short_file, &TMainForm::BitBtn1Click);
    EXPECT_TRUE(std::equal(short_file.begin(), short_file.end(), form.MAT_array.begin()));
    EXPECT_TRUE(std::equal(start.begin() + 100, start.end(), form.MAT_array.begin() + 100));

    const Bytes long_file = pattern(20000, 3);
    load("long.bin", long_file, &TMainForm::BitBtn1Click);
    EXPECT_EQ(form.MAT_array, Bytes(long_file.begin(), long_file.begin() + rom_size));

    view.lists[Control::ListBox1].clear();
    load("empty.bin", {}, &TMainForm::BitBtn1Click);
    EXPECT_EQ(form.MAT_array, Bytes(long_file.begin(), long_file.begin() + rom_size));
    EXPECT_EQ(view.list(Control::ListBox1), hex_rows(form.MAT_array, 16, 0)) << "preview refreshed";
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(ImagePages, KvpAndRamWholeLoadsRefreshTheirOwnPreview)
{
    const Bytes kvp = pattern(kvp_size, 4), ram = pattern(ram_size, 5);
    load("kvp.bin", kvp, &TMainForm::BitBtn12Click);
    load("ram.bin", ram, &TMainForm::BitBtn13Click);
    EXPECT_EQ(form.KVP_array, kvp);
    EXPECT_EQ(form.RAM_array, ram);
    EXPECT_EQ(view.list(Control::ListBox3), hex_rows(kvp, 16, 0));
    EXPECT_EQ(view.list(Control::ListBox5), hex_rows(ram, 16, 0));
    EXPECT_EQ(view.list(Control::ListBox3).size(), 8u);
}

// One lane file fills its own bytes and leaves the other lane's alone; a pair in either order
// is the whole image.
TEST_F(ImagePages, RomLanesFillTheirOwnBytesAndAPairInEitherOrderIsTheWholeImage)
{
    const Bytes start = pattern(rom_size, 8), d83 = pattern(8192, 6), d82 = pattern(8192, 7);
    Bytes start_high(8192);
    for (std::size_t k = 0; k < start_high.size(); ++k) start_high[k] = start[2 * k + 1];
    form.MAT_array = start;
    load("d83.bin", d83, &TMainForm::BitBtn2Click);
    EXPECT_EQ(form.MAT_array, interleave(d83, start_high));
    load("d82.bin", d82, &TMainForm::BitBtn3Click);
    const Bytes whole = interleave(d83, d82);
    EXPECT_EQ(form.MAT_array, whole);

    form.MAT_array.assign(rom_size, 0x00);
    open_with("d82.bin", &TMainForm::BitBtn3Click);
    open_with("d83.bin", &TMainForm::BitBtn2Click);
    EXPECT_EQ(form.MAT_array, whole);
    EXPECT_EQ(view.list(Control::ListBox1), hex_rows(whole, 16, 0));
}

TEST_F(ImagePages, ShortLaneFileLeavesTheRestOfItsLaneUnchanged)
{
    const Bytes start = pattern(rom_size, 10);
    form.MAT_array = start;
    const Bytes d82 = pattern(300, 11);
    load("d82.bin", d82, &TMainForm::BitBtn3Click);
    Bytes expected = start;
    for (std::size_t k = 0; k < d82.size(); ++k) expected[2 * k + 1] = d82[k];
    EXPECT_EQ(form.MAT_array, expected);
}

TEST_F(ImagePages, AmtHalvesAndTheirPreviews)
{
    // A 4096-byte whole file fills the "70000:" half only.
    const Bytes half = pattern(4096, 12);
    load("amt70.bin", half, &TMainForm::BitBtn7Click);
    EXPECT_TRUE(std::equal(half.begin(), half.end(), form.AMT_array.begin()));
    EXPECT_TRUE(std::all_of(form.AMT_array.begin() + 4096, form.AMT_array.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(view.list(Control::ListBox2), hex_rows(form.AMT_array, 8, 0));
    EXPECT_EQ(view.list(Control::ListBox4), hex_rows(form.AMT_array, 8, 2048));

    // The four lanes: D76/D77 make the lower half, D74/D75 the upper half.
    const Bytes d76 = pattern(2048, 13), d77 = pattern(2048, 14), d74 = pattern(2048, 15),
                d75 = pattern(2048, 16);
    for (auto [name, bytes] : {std::pair{"d76", &d76}, {"d77", &d77}, {"d74", &d74}, {"d75", &d75}})
        write_file(file(name), *bytes);

    view.lists.clear();
    const Bytes before = form.AMT_array;
    open_with("d74", &TMainForm::BitBtn9Click);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 4096, form.AMT_array.begin()))
        << "D74 touches words 2048..4095 only";
    EXPECT_EQ(view.lists.count(Control::ListBox2), 0u) << "only the upper preview is refreshed";
    EXPECT_EQ(view.list(Control::ListBox4), hex_rows(form.AMT_array, 8, 2048));

    open_with("d75", &TMainForm::BitBtn11Click);
    open_with("d77", &TMainForm::BitBtn10Click);
    EXPECT_EQ(view.list(Control::ListBox2), hex_rows(form.AMT_array, 8, 0));
    open_with("d76", &TMainForm::BitBtn8Click);
    Bytes whole = interleave(d76, d77);
    const Bytes upper = interleave(d74, d75);
    whole.insert(whole.end(), upper.begin(), upper.end());
    EXPECT_EQ(form.AMT_array, whole);
}

TEST_F(ImagePages, CancelledDialogAndUnreadableFileLeaveTheImage)
{
    const Bytes start = form.MAT_array;
    view.open_answers.push_back(std::nullopt);
    form.BitBtn1Click();
    open_with("missing.bin", &TMainForm::BitBtn2Click);
    choose_open(dir.string());  // a folder is not an image
    form.BitBtn12Click();
    EXPECT_EQ(form.MAT_array, start);
    ASSERT_EQ(view.errors.size(), 2u);
    EXPECT_NE(view.errors[0].find(file("missing.bin")), std::string::npos);
    EXPECT_NE(view.errors[0].find(std::strerror(ENOENT)), std::string::npos);
    EXPECT_NE(view.errors[1].find("это не обычный файл"), std::string::npos);
    EXPECT_EQ(bus.reports(), 0u);
}

TEST_F(ImagePages, EachDialogProposesItsLastName)
{
    load("a.bin", {1}, &TMainForm::BitBtn1Click);
    form.BitBtn13Click();  // cancelled, but it was offered the last name
    ASSERT_EQ(view.open_proposals.size(), 2u);
    EXPECT_EQ(view.open_proposals[1], file("a.bin"));

    choose_save(file("rom.bin"));
    form.BitBtn4Click();
    form.BitBtn14Click();
    ASSERT_EQ(view.save_proposals.size(), 2u);
    EXPECT_EQ(view.save_proposals[1], file("rom.bin"));
}

// Loads take regular files only, and a FIFO without a writer does not hold the window.
TEST_F(ImagePages, LoadsOnlyRegularFilesAndNeverWaitForAWriter)
{
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("fifo", file("to-fifo"));
    // Should a load wait for a writer, one comes after two seconds: the test fails, not hangs.
    std::jthread writer([fifo = file("fifo")](std::stop_token stop) {
        for (int tick = 0; !stop.stop_requested(); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (tick > 200) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
    });
    const Bytes rom = form.MAT_array, amt = form.AMT_array;
    const std::vector<std::string> names{file("fifo"), file("to-fifo"), "/dev/null", dir.string()};
    const auto start = std::chrono::steady_clock::now();
    for (const auto& name : names) {
        choose_open(name);
        form.BitBtn1Click();
    }
    choose_open(file("fifo"));
    form.BitBtn9Click();  // a lane load, too
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(form.MAT_array, rom);
    EXPECT_EQ(form.AMT_array, amt);
    ASSERT_EQ(view.errors.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(view.errors[i], "Не удалось открыть файл \"" + names[i] + "\":\nэто не обычный файл");
    EXPECT_EQ(view.errors.back(), view.errors.front());
}

// --- read-back ---

TEST_F(ImagePages, ReadBackReplacesTheImageAndSavesExactlyTheImageSize)
{
    const Bytes rom = pattern(rom_size, 20), amt = pattern(amt_size, 21), kvp = pattern(kvp_size, 22);
    put_flash(flash_rom_address, rom);
    put_flash(flash_amt_address, amt);
    put_flash(flash_kvp_address, kvp);
    load("small.bin", Bytes(100, 0), &TMainForm::BitBtn1Click);  // whatever was loaded before

    choose_save(file("rom.bin"));
    form.BitBtn4Click();
    choose_save(file("amt.bin"));
    form.BitBtn5Click();
    choose_save(file("kvp.bin"));
    form.BitBtn6Click();

    EXPECT_EQ(read_file(file("rom.bin")), rom);
    EXPECT_EQ(read_file(file("amt.bin")), amt);
    EXPECT_EQ(read_file(file("kvp.bin")), kvp);
    EXPECT_EQ(form.MAT_array, rom);
    EXPECT_EQ(form.AMT_array, amt);
    EXPECT_EQ(form.KVP_array, kvp);
    EXPECT_EQ(view.list(Control::ListBox1), hex_rows(rom, 16, 0));
    EXPECT_EQ(view.list(Control::ListBox4), hex_rows(amt, 8, 2048));
    EXPECT_EQ(view.list(Control::ListBox3), hex_rows(kvp, 16, 0));
    EXPECT_TRUE(view.questions.empty()) << "new files need no question";
    EXPECT_TRUE(view.messages.empty());
    EXPECT_NE(std::find(view.cursor_history.begin(), view.cursor_history.end(),
                        CursorShape::hourglass), view.cursor_history.end());
    EXPECT_EQ(frames(), (Frames{{cmd_read_flash, flash_rom_address, 16384},
                                {cmd_read_flash, flash_amt_address, 8192},
                                {cmd_read_flash, flash_kvp_address, 16384}}));
    expect_closed();
    // Nothing but the loaded file and the three saved files is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4);
}

TEST_F(ImagePages, HourglassStaysUntilThePreviewAndTheFileAreDone)
{
    const Bytes rom = pattern(rom_size, 37);
    put_flash(flash_rom_address, rom);
    bool file_written = false;
    bool preview_shown = false;
    view.on_cursor = [&](CursorShape shape) {
        if (shape != CursorShape::normal) return;
        file_written = read_file(file("rom.bin")) == rom;
        preview_shown = view.list(Control::ListBox1) == hex_rows(rom, 16, 0);
    };
    choose_save(file("rom.bin"));
    form.BitBtn4Click();
    EXPECT_TRUE(file_written) << "the file is written before the arrow returns";
    EXPECT_TRUE(preview_shown);
    EXPECT_EQ(view.cursor_history, (std::vector<CursorShape>{CursorShape::hourglass, CursorShape::normal}));
}

TEST_F(ImagePages, OverwriteQuestionNoLeavesFileAndImageAndSendsNothing)
{
    const Bytes old_file = pattern(500, 23);
    write_file(file("old.bin"), old_file);
    const Bytes image = form.KVP_array;
    choose_save(file("old.bin"));
    view.yes_no_answers = {false};
    form.BitBtn6Click();
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].caption, "Внимание!");
    EXPECT_EQ(view.questions[0].text, "Файл с таким именем существует\n\rПродолжить?");
    EXPECT_EQ(read_file(file("old.bin")), old_file);
    EXPECT_EQ(form.KVP_array, image);
    EXPECT_EQ(bus.reports(), 0u);

    // Yes replaces it with the module's image.
    put_flash(flash_kvp_address, pattern(kvp_size, 24));
    choose_save(file("old.bin"));
    form.BitBtn6Click();
    EXPECT_EQ(read_file(file("old.bin")), pattern(kvp_size, 24));
}

TEST_F(ImagePages, FailedTransferLeavesTheTargetFileAndTheImage)
{
    const Bytes old_file = pattern(700, 25);
    write_file(file("keep.bin"), old_file);
    put_flash(flash_rom_address, pattern(rom_size, 26));
    const Bytes image = pattern(rom_size, 27);
    form.MAT_array = image;
    choose_save(file("keep.bin"));
    bus.fail_report(100);  // halfway through the reply
    form.BitBtn4Click();
    EXPECT_EQ(read_file(file("keep.bin")), old_file);
    EXPECT_EQ(form.MAT_array, image);
    EXPECT_TRUE(message_shown(read_failed_text));
    EXPECT_EQ(view.cursor_at_boxes, std::vector<CursorShape>{CursorShape::normal});
    expect_closed();

    // No file at all is made for a new name either.
    choose_save(file("new.bin"));
    bus.fail_report(3);
    form.BitBtn5Click();
    EXPECT_FALSE(exists(file("new.bin")));
}

TEST_F(ImagePages, FailedSaveLeavesTheExistingFileWhole)
{
    const Bytes old_file = pattern(700, 28);
    write_file(file("keep.bin"), old_file);
    put_flash(flash_rom_address, pattern(rom_size, 29));

    // Files may not grow past 4 KiB: the 16 KiB image cannot be written out.
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    choose_save(file("keep.bin"));
    form.BitBtn4Click();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(read_file(file("keep.bin")), old_file);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_NE(view.errors[0].find(file("keep.bin")), std::string::npos);
    EXPECT_NE(view.errors[0].find(std::strerror(EFBIG)), std::string::npos);
    EXPECT_EQ(view.cursor_at_boxes, std::vector<CursorShape>{CursorShape::normal}) << "error box under the arrow";
    EXPECT_EQ(form.MAT_array, pattern(rom_size, 29)) << "the image itself was read completely";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary left";
    expect_closed();

    // Written out whole, but the last step, the rename over the old file, fails.
    failing_rename = EXDEV;
    choose_save(file("keep.bin"));
    form.BitBtn4Click();
    failing_rename = 0;
    EXPECT_EQ(read_file(file("keep.bin")), old_file);
    ASSERT_EQ(view.errors.size(), 2u);
    EXPECT_EQ(view.errors[1], "Не удалось записать файл \"" + file("keep.bin") + "\":\n" + std::strerror(EXDEV));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary left";
}

// A chain of links is followed as far as the system follows one (40 links), and no further.
TEST(ImageFileLinks, AChainOfFortyLinksIsSavedThroughAndOneMoreIsRefused)
{
    namespace fs = std::filesystem;
    const ScratchFolder scratch{"lirvan-links-"};
    const auto link = [&](int n) { return (scratch.path() / ("link" + std::to_string(n))).string(); };
    write_file(scratch.path() / "end.bin", {1});
    fs::create_symlink("end.bin", link(1));
    for (int n = 2; n <= 41; ++n) fs::create_symlink("link" + std::to_string(n - 1), link(n));
    EXPECT_EQ(save_file_replacing(link(40), {7, 7}), "");
    EXPECT_EQ(save_file_replacing(link(41), {9}),
              "Не удалось записать файл \"" + link(41) + "\":\n" + std::strerror(ELOOP));
    EXPECT_EQ(read_file(scratch.path() / "end.bin"), (Bytes{7, 7}));
    EXPECT_TRUE(fs::is_symlink(link(40)));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), {}), 42) << "nothing else made";
}

// A read-back is saved onto a regular file, through links to one, or as a new file in an
// existing folder; nothing else at the name is replaced, and nothing goes to a device.
TEST_F(ImagePages, SavesOnlyOntoRegularFilesAndFreeNames)
{
    namespace fs = std::filesystem;
    const Bytes rom = pattern(rom_size, 41);
    put_flash(flash_rom_address, rom);
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    // A full device of the test's own: the one in /dev stays untouched should the save fail.
    ASSERT_EQ(mknod(file("full").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    fs::create_symlink(file("full"), file("to-full"));
    fs::create_symlink("missing/x.bin", file("dangling"));
    fs::create_symlink("loop-b", file("loop-a"));
    fs::create_symlink("loop-a", file("loop-b"));
    fs::create_directories(dir / "folder");
    fs::create_directories(dir / "new");
    write_file(file("real.bin"), pattern(300, 40));
    fs::create_symlink("real.bin", file("to-real"));
    fs::create_symlink("new/made.bin", file("to-new"));
    const std::string not_regular = "\":\nэто не обычный файл";
    const std::vector<std::pair<std::string, std::string>> refused{
        {"fifo", not_regular}, {"full", not_regular}, {"to-full", not_regular}, {"folder", not_regular},
        {"dangling", std::strerror(ENOENT)}, {"loop-a", std::strerror(ELOOP)}};
    for (const auto& name : {"fifo", "full", "to-full", "folder", "dangling", "loop-a", "to-real", "to-new"}) {
        choose_save(file(name));
        form.BitBtn4Click();
    }
    ASSERT_EQ(view.errors.size(), refused.size());
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_NE(view.errors[i].find("\"" + file(refused[i].first) + "\""), std::string::npos) << i;
        EXPECT_NE(view.errors[i].find(refused[i].second), std::string::npos) << view.errors[i];
    }
    EXPECT_TRUE(fs::is_fifo(file("fifo")));
    EXPECT_TRUE(fs::is_character_file(file("full")));
    for (const auto& link : {"to-full", "dangling", "loop-a", "to-real", "to-new"})
        EXPECT_TRUE(fs::is_symlink(file(link))) << link;
    EXPECT_EQ(read_file(file("real.bin")), rom);
    EXPECT_EQ(read_file(file("new/made.bin")), rom);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir), {}), 12) << "nothing else made";
}

TEST_F(ImagePages, RamReadBackStartsTheCncOnlyIfItWasRunning)
{
    const Bytes ram = pattern(ram_size, 30);
    std::memcpy(module.ram(), ram.data(), ram.size());

    form.proc_en = 0;
    module.set_cpu_running(false);
    choose_save(file("ram1.bin"));
    form.BitBtn14Click();
    EXPECT_EQ(frames(), (Frames{{cmd_cpu_stop, 0, 0}, {cmd_ram_read, 0, 16384}}));
    EXPECT_FALSE(module.cpu_running());
    EXPECT_EQ(read_file(file("ram1.bin")), ram);
    EXPECT_EQ(form.RAM_array, ram);
    EXPECT_EQ(view.list(Control::ListBox5), hex_rows(ram, 16, 0));

    module.clear_commands();
    form.proc_en = 1;
    module.set_cpu_running(true);
    choose_save(file("ram2.bin"));
    form.BitBtn14Click();
    EXPECT_EQ(sent_codes(), (std::vector<std::uint8_t>{cmd_cpu_stop, cmd_ram_read, cmd_cpu_start}));
    EXPECT_TRUE(module.cpu_running());
    EXPECT_EQ(read_file(file("ram2.bin")), ram);
    expect_closed();
}

TEST_F(ImagePages, ReadBackWithoutTheApplicationTouchesNothing)
{
    form.app_identity.found = false;
    choose_save(file("x.bin"));
    form.BitBtn4Click();
    form.BitBtn14Click();
    EXPECT_TRUE(view.save_proposals.empty());
    EXPECT_FALSE(exists(file("x.bin")));
    EXPECT_EQ(bus.reports(), 0u);
}

// --- writes ---

TEST_F(ImagePages, FlashWritesPutEachImageInItsAreaInFullChunks)
{
    form.MAT_array = pattern(rom_size, 31);
    form.AMT_array = pattern(amt_size, 32);
    form.KVP_array = pattern(kvp_size, 33);
    form.Button5Click();
    form.Button7Click();
    form.Button9Click();
    EXPECT_EQ(flash(flash_rom_address, rom_size), form.MAT_array);
    EXPECT_EQ(flash(flash_amt_address, amt_size), form.AMT_array);
    EXPECT_EQ(flash(flash_kvp_address, kvp_size), form.KVP_array);
    EXPECT_EQ(module.chunks_committed(), 20u);
    EXPECT_EQ(module.chunks_rejected(), 0u);
    ASSERT_EQ(view.questions.size(), 3u);
    EXPECT_EQ(view.questions[0].text, "Записать в ППЗУ ЛИРВАН НЦ-31?");
    EXPECT_TRUE(view.messages.empty()) << "success stays silent";
    expect_closed();
}

TEST_F(ImagePages, AChunkTheModuleDroppedIsFoundByTheReadBack)
{
    form.MAT_array = pattern(rom_size, 34);
    form.AMT_array = pattern(amt_size, 35);
    form.KVP_array = pattern(kvp_size, 36);
    for (auto click : {&TMainForm::Button5Click, &TMainForm::Button7Click, &TMainForm::Button9Click}) {
        view.messages.clear();
        // After the search's identify frame, the first data report of the fourth chunk (the
        // AMT image's last) arrives disturbed.
        bus.disturb_set_report(1 + 34 * 3 + 2);
        (form.*click)();
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_TRUE(message_shown("Записанные данные не совпали с прочитанными из ЛИРВАН НЦ-31."));
        EXPECT_EQ(view.cursor_at_boxes.back(), CursorShape::normal);
        expect_closed();
    }
    EXPECT_EQ(module.chunks_rejected(), 3u);
    EXPECT_EQ(sent_codes().back(), cmd_read_flash);
    EXPECT_EQ(flash(flash_amt_address, amt_size - block_chunk_size),
              Bytes(form.AMT_array.begin(), form.AMT_array.end() - block_chunk_size))
        << "the chunks before the dropped one are in place";
}

TEST_F(ImagePages, WriteAnsweredNoSendsNothing)
{
    view.yes_no_answers = {false, false, false, false, false};
    form.Button5Click();
    form.Button7Click();
    form.Button9Click();
    form.Button4Click();
    form.Button14Click();
    EXPECT_EQ(bus.reports(), 0u);
    EXPECT_EQ(view.questions.size(), 5u);
}

TEST_F(ImagePages, RamWritesToBothBanksWithTheExactWords)
{
    form.RAM_array = pattern(ram_size, 34);
    form.Button4Click();
    EXPECT_EQ(frames(), (Frames{{cmd_cpu_stop, 0, 0}, {cmd_ram_write_begin, 0, 16384},
                                {cmd_ram_write_end, ram_bank_main, 16384}, {cmd_restart, 0, 0}}));
    EXPECT_EQ(bank(ram_bank_main), form.RAM_array);
    EXPECT_EQ(view.questions.at(0).text, "Записать в ОЗУ и энергонезависимую память ЛИРВАН НЦ-31?");

    module.clear_commands();
    form.RAM_array = pattern(ram_size, 35);
    form.Button14Click();
    EXPECT_EQ(frames(), (Frames{{cmd_cpu_stop, 0, 0}, {cmd_ram_write_begin, 0, 16384},
                                {cmd_ram_write_end, 16384, 16384}, {cmd_restart, 0, 0}}));
    EXPECT_EQ(bank(ram_bank_reserve), form.RAM_array);
    EXPECT_EQ(bus.set_reports(), 2u * (1 + 1 + 1 + 256 + 1 + 1))
        << "identify, stop, begin, 256 data reports, end, restart; twice";
    EXPECT_TRUE(view.messages.empty());
    expect_closed();
}

TEST_F(ImagePages, RefusedRamDataIsNeverStoredInABank)
{
    const Bytes bank_before = bank(ram_bank_main);
    form.RAM_array = pattern(ram_size, 36);
    bus.fail_report(2 + 2 + 100);  // identify, stop, begin, then a data report
    form.Button4Click();
    EXPECT_EQ(bank(ram_bank_main), bank_before);
    for (const auto& c : sent()) EXPECT_NE(c.code, cmd_ram_write_end);
    EXPECT_TRUE(message_shown(write_failed_text));
    expect_closed();
}

}  // namespace
