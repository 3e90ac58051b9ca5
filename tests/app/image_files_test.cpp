// Image files on every platform: a saved image loads back byte for byte, a save replaces an
// existing file whole and leaves nothing beside it, a folder is refused both ways, and a
// missing file is named with the system's reason (on Windows its own text, in the user's
// language). Names are UTF-8 text on every platform: a Cyrillic name is that name on disk.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/image_files.h"
#include "app/platform/file.h"
#include "define/utf8_path.h"
#include "rig.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(ImageFiles, SaveLoadBackAndFolders)
{
    const ScratchFolder scratch{"lirvan-files-"};
    const fs::path& dir = scratch.path();
    fs::create_directories(dir / "folder");
    const std::string image = (dir / "image.bin").string(), folder = (dir / "folder").string(),
                      missing = (dir / "missing.bin").string();

    EXPECT_EQ(save_file_replacing(image, Bytes(300, 0x11)), "");
    EXPECT_EQ(save_file_replacing(image, {1, 2, 3, 4}), "");  // a shorter one replaces it whole
    Bytes whole(6, 0xEE), lanes(8, 0xEE);
    EXPECT_EQ(load_whole_image(image, whole), "");
    EXPECT_EQ(whole, (Bytes{1, 2, 3, 4, 0xEE, 0xEE}));
    EXPECT_EQ(load_lane(image, lanes, 1, 3, Lane::high), "");
    EXPECT_EQ(lanes, (Bytes{0xEE, 0xEE, 0xEE, 1, 0xEE, 2, 0xEE, 3}));

    const Bytes before = whole;
    EXPECT_EQ(load_whole_image(folder, whole), "Не удалось открыть файл \"" + folder + "\":\nэто не обычный файл");
    EXPECT_EQ(save_file_replacing(folder, before), "Не удалось записать файл \"" + folder + "\":\nэто не обычный файл");
    EXPECT_EQ(load_lane(missing, whole, 0, 3, Lane::low),
              "Не удалось открыть файл \"" + missing + "\":\n" +
                  file_error_reason(std::make_error_code(std::errc::no_such_file_or_directory)));
    EXPECT_EQ(whole, before);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir), {}), 2) << "nothing beside the image";
}

// The window's read-back (the ROM page's "Считать") into C:\тест\пзу.bin, as on a Russian
// Windows: that file on disk holds the module's image byte for byte, loads back, and the next
// read-back to the same name finds it and asks before replacing it.
TEST_F(PagesTest, ACyrillicReadBackIsTheFileOfTheChosenNameOnDisk)
{
    const fs::path folder = dir / utf8_path("тест");
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string name = path_utf8(folder / utf8_path("пзу.bin"));
    const Bytes rom = pattern(rom_size, 31);
    std::copy(rom.begin(), rom.end(), module.flash_at(flash_rom_address));

    view.save_answers.push_back(name);
    form.BitBtn4Click();
    ASSERT_TRUE(view.messages.empty());
    std::vector<std::string> on_disk;
    for (const auto& entry : fs::directory_iterator(folder)) on_disk.push_back(path_utf8(entry.path().filename()));
    EXPECT_EQ(on_disk, std::vector<std::string>{"пзу.bin"});
    EXPECT_EQ(read_file(utf8_path(name)), rom);
    form.MAT_array.assign(rom_size, 0);
    view.open_answers.push_back(name);
    form.BitBtn1Click();
    EXPECT_EQ(form.MAT_array, rom);

    view.save_answers.push_back(name);
    view.yes_no_answers = {false};
    form.BitBtn4Click();
    EXPECT_EQ(view.questions.size(), 1u) << "the existing file is found under its name";
}

}  // namespace
