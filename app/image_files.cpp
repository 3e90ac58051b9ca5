// Image files of the memory pages: loading a whole image or one byte lane of the CNC's 8-bit
// ROM chips from a file, and saving an image so that an existing file is never left half
// written.
#include "app/image_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#if defined(__unix__)
#include <unistd.h>
#endif

#include "app/texts.h"

namespace fs = std::filesystem;

namespace {

std::string file_error_text(const char* action, const std::string& name, int error)
{
    const std::string reason = error != 0 ? std::strerror(error) : file_error_unknown;
    return std::string(file_error_prefix) + action + file_error_file + name + "\":\n" + reason;
}

// Reads at most `limit` bytes from the start of a file into `bytes`; a shorter file gives
// fewer bytes. The text for the error box when the file cannot be opened or read.
std::string read_file_prefix(const std::string& name, std::size_t limit, std::vector<std::uint8_t>& bytes)
{
    std::error_code ec;
    if (fs::is_directory(name, ec)) {
        return file_error_text(file_action_open, name, EISDIR);
    }
    errno = 0;
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        return file_error_text(file_action_open, name, errno);
    }
    bytes.assign(limit, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    if (in.bad() || (in.fail() && !in.eof())) {
        return file_error_text(file_action_read, name, errno);
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return {};
}

}  // namespace

std::string save_file_replacing(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::error_code ec;
    fs::path target(name);
    // Saving through a symbolic link replaces the file it points to, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const auto existing = fs::status(target, ec);
    if (fs::is_directory(existing)) return file_error_text(file_action_write, name, EISDIR);

    std::FILE* file = nullptr;
    std::string temp;
    int error = 0;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        temp = target.string() + ".part" + std::to_string(attempt);
        // Windows' C library ignores "x"; a file found here is never reused there either.
        if (fs::exists(temp, ec)) continue;
        errno = 0;
        file = std::fopen(temp.c_str(), "wbx");  // x: never reuse a file that exists
        error = errno;
        if (file == nullptr && error != EEXIST) break;
    }
    if (file == nullptr) return file_error_text(file_action_create, name, error);

    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = ok && std::fflush(file) == 0;
#if defined(__unix__)
    ok = ok && ::fsync(::fileno(file)) == 0;
#endif
    error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && fs::exists(existing)) {
        // The replacement keeps the permissions of the file it replaces.
        fs::permissions(temp, existing.permissions(), ec);
    }
    if (ok) {
        // Replaces an existing file on every platform (Windows' rename() refuses to).
        std::error_code rename_error;
        fs::rename(temp, target, rename_error);
        if (rename_error) {
            ok = false;
            error = rename_error.default_error_condition().value();
        }
    }
    if (ok) return {};
    fs::remove(temp, ec);
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
