#include "cli/files.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <system_error>

#include "app/image_files.h"
#include "app/platform/file.h"
#include "cli/exit_codes.h"
#include "cli/platform.h"
#include "define/utf8_path.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& path, const std::string& what, std::error_code error)
{
    throw CliFailure(exit_file_problem, path_utf8(path) + ": " + what + ": " + file_error_reason(error));
}

[[noreturn]] void fail(const fs::path& path, const std::string& what)
{
    throw CliFailure(exit_file_problem, path_utf8(path) + ": " + what);
}

// A name no other writer in the folder uses: the process id and a random number.
std::string unique_suffix()
{
    static std::mt19937_64 random{std::random_device{}()};
    return std::to_string(process_id()) + "-" + std::to_string(random() % 1000000000u);
}

// Writes all bytes to a new file and flushes them to the disk; the file must not exist.
void write_new_file(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    PlatformFile file;
    if (const std::error_code ec = file.create_new(path_utf8(path))) fail(path, "cannot create", ec);
    std::error_code ec = file.write_all(bytes);
    if (!ec) ec = file.sync();
    const std::error_code closed = file.close();
    if (!ec) ec = closed;
    if (ec) {
        std::error_code ignored;
        fs::remove(path, ignored);
        fail(path, "cannot write", ec);
    }
}

}  // namespace

std::vector<std::uint8_t> read_whole_file(const fs::path& path, std::size_t limit)
{
    PlatformFile file;
    if (const std::error_code ec = file.open_for_reading(path_utf8(path))) fail(path, "cannot open", ec);
    if (!file.regular()) {
        std::error_code ignored;
        fail(path, fs::is_directory(path, ignored) ? "is a folder, not a file" : "is not a regular file");
    }
    // Read in slices up to one byte past the limit: a file that grows meanwhile is caught too.
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t slice = 64 * 1024;
    for (;;) {
        const std::size_t done = bytes.size();
        bytes.resize(done + slice);
        std::size_t got = 0;
        if (const std::error_code ec = file.read(std::span(bytes).subspan(done), got))
            fail(path, "cannot read", ec);
        bytes.resize(done + got);
        if (bytes.size() > limit) {
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(path, ec);
            fail(path, "too large (" + std::to_string(ec ? bytes.size() : size) + " bytes)");
        }
        if (got < slice) break;  // the end of the file
    }
    return bytes;
}

void write_file_atomic(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    // The window's save: a temporary file beside the target, flushed, renamed over it.
    std::string error = save_file_replacing(path_utf8(path), bytes);
    if (error.empty()) return;
    std::replace(error.begin(), error.end(), '\n', ' ');  // one line on stderr
    throw CliFailure(exit_file_problem, error);
}

StagedFolder::StagedFolder(fs::path final_path) : final_(std::move(final_path))
{
    if (final_.filename().empty()) final_ = final_.parent_path();  // "dir/" names "dir"
    std::error_code ec;
    if (fs::exists(fs::symlink_status(final_, ec)))
        fail(final_, "exists already; a backup goes into a new folder");
    std::string name = ".";
    name += path_utf8(final_.filename());
    name += ".partial-";
    name += unique_suffix();
    staging_ = final_.parent_path() / name;
    if (!fs::create_directory(staging_, ec))
        fail(staging_, "cannot create", ec ? ec : std::make_error_code(std::errc::file_exists));
}

StagedFolder::~StagedFolder()
{
    if (committed_) return;
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
}

void StagedFolder::write(const std::string& file_name, const std::vector<std::uint8_t>& bytes)
{
    write_new_file(staging_ / file_name, bytes);
}

void StagedFolder::commit()
{
    sync_folder(staging_);
    // rename() would replace an empty folder of the final name created meanwhile; check again.
    std::error_code ec;
    if (fs::exists(fs::symlink_status(final_, ec)))
        fail(final_, "appeared while the backup was made; the backup is not stored");
    fs::rename(staging_, final_, ec);
    if (ec) fail(final_, "cannot create", ec);
    committed_ = true;
    sync_folder(final_.parent_path());
}
