// Image files on every platform: a saved image loads back byte for byte, a save replaces an
// existing file whole and leaves nothing beside it, a folder is refused both ways, and a
// missing file is named with the system's reason.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/image_files.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

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
              "Не удалось открыть файл \"" + missing + "\":\n" + std::strerror(ENOENT));
    EXPECT_EQ(whole, before);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir), {}), 2) << "nothing beside the image";
}

}  // namespace
