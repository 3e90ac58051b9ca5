// Image files of the memory pages: loading a whole image or one byte lane of the CNC's 8-bit
// ROM chips from a file, and saving an image so that an existing file is never left half
// written. Only regular files are read or replaced: a FIFO, a device, a socket or a folder at
// the chosen name is refused, and no byte is ever written to a device.
#include "app/image_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/platform/file.h"
#include "app/texts.h"
#include "define/utf8_path.h"

namespace fs = std::filesystem;

namespace {

// Links followed from the chosen name before the chain counts as a loop (the Linux limit).
constexpr int max_link_hops = 40;

std::string file_error_text(const char* action, const std::string& name, const std::string& reason)
{
    return std::string(file_error_prefix) + action + file_error_file + name + "\":\n" + reason;
}

std::string file_error_text(const char* action, const std::string& name, std::error_code error)
{
    return file_error_text(action, name, error ? file_error_reason(error) : std::string(file_error_unknown));
}

// Reads at most `limit` bytes from the start of a regular file into `bytes`; a shorter file
// gives fewer bytes. The text for the error box when the file cannot be opened or read.
std::string read_file_prefix(const std::string& name, std::size_t limit, std::vector<std::uint8_t>& bytes)
{
    PlatformFile file;
    if (const std::error_code error = file.open_for_reading(name))
        return file_error_text(file_action_open, name, error);
    if (!file.regular()) return file_error_text(file_action_open, name, file_not_regular);
    bytes.assign(limit, 0);
    std::size_t got = 0;
    if (const std::error_code error = file.read(bytes, got))
        return file_error_text(file_action_read, name, error);
    bytes.resize(got);
    return {};
}

// Where saving `name` writes: the name itself or, for a symbolic link, the end of its chain.
// That must be a regular file or a free name; its status is left in `status`. The text for the
// error box otherwise.
std::string find_save_target(const std::string& name, fs::path& target, fs::file_status& status)
{
    target = utf8_path(name);
    for (int hop = 0; hop <= max_link_hops; ++hop) {
        std::error_code error;
        status = fs::symlink_status(target, error);
        // A free name; should its folder be missing, creating the file says so.
        if (status.type() == fs::file_type::not_found) return {};
        if (error) return file_error_text(file_action_write, name, error);
        if (fs::is_regular_file(status)) return {};
        if (!fs::is_symlink(status)) return file_error_text(file_action_write, name, file_not_regular);
        const fs::path link = fs::read_symlink(target, error);
        if (error) return file_error_text(file_action_write, name, error);
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return file_error_text(file_action_write, name, std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

// Writes `bytes` to a new file beside `target` and names it in `temp`. The text for the error
// box (about `name`) on failure, with nothing left behind.
std::string write_beside(const fs::path& target, const std::string& name,
                         const std::vector<std::uint8_t>& bytes, std::string& temp)
{
    PlatformFile file;
    std::error_code error = std::make_error_code(std::errc::file_exists);
    for (int attempt = 0; attempt < 100 && error == std::errc::file_exists; ++attempt) {
        temp = path_utf8(target) + ".part" + std::to_string(attempt);
        error = file.create_new(temp);
    }
    if (error) return file_error_text(file_action_create, name, error);
    error = file.write_all(bytes);
    if (!error) error = file.sync();
    const std::error_code close_error = file.close();
    if (!error) error = close_error;
    if (!error) return {};
    std::error_code ignored;
    fs::remove(utf8_path(temp), ignored);
    return file_error_text(file_action_write, name, error);
}

}  // namespace

std::string save_file_replacing(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    fs::path target;
    fs::file_status existing;
    if (std::string refused = find_save_target(name, target, existing); !refused.empty()) return refused;

    std::string temp_name;
    if (std::string failed = write_beside(target, name, bytes, temp_name); !failed.empty()) return failed;
    const fs::path temp = utf8_path(temp_name);

    std::error_code error, ignored;
    // The replacement keeps the permissions of the file it replaces.
    if (fs::exists(existing)) fs::permissions(temp, existing.permissions(), ignored);
    // Looked at once more just before: whatever took the target's place meanwhile must be a
    // regular file too, or nothing at all.
    const fs::file_status now = fs::symlink_status(target, ignored);
    if (fs::exists(now) && !fs::is_regular_file(now)) {
        fs::remove(temp, ignored);
        return file_error_text(file_action_write, name, file_not_regular);
    }
    // Replaces an existing file on every platform (Windows' rename() refuses to).
    fs::rename(temp, target, error);
    if (!error) return {};
    fs::remove(temp, ignored);
    return file_error_text(file_action_write, name, error);
}

std::string load_whole_image(const std::string& name, std::vector<std::uint8_t>& image)
{
    std::vector<std::uint8_t> bytes;
    std::string error = read_file_prefix(name, image.size(), bytes);
    if (error.empty()) std::copy(bytes.begin(), bytes.end(), image.begin());
    return error;
}

std::string load_lane(const std::string& name, std::vector<std::uint8_t>& image,
                      std::size_t first_word, std::size_t lane_size, Lane lane)
{
    std::vector<std::uint8_t> bytes;
    std::string error = read_file_prefix(name, lane_size, bytes);
    if (!error.empty()) return error;
    const std::size_t offset = lane == Lane::low ? 0 : 1;
    for (std::size_t k = 0; k < bytes.size(); ++k) image[2 * (first_word + k) + offset] = bytes[k];
    return {};
}
