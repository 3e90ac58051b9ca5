#include "cli/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "app/image_files.h"
#include "cli/exit_codes.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& path, const std::string& what, int error)
{
    throw CliFailure(exit_file_problem,
                     path.string() + ": " + what + ": " + std::strerror(error));
}

[[noreturn]] void fail(const fs::path& path, const std::string& what)
{
    throw CliFailure(exit_file_problem, path.string() + ": " + what);
}

// A name no other writer in the folder uses: the process id and a random number.
std::string unique_suffix()
{
    static std::mt19937_64 random{std::random_device{}()};
    return std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000000u);
}

// Writes all bytes to a new file and flushes them to the disk; the file must not exist.
void write_new_file(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) fail(path, "cannot create", errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(path.c_str());
            fail(path, "cannot write", error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        fail(path, "cannot write", error);
    }
}

void sync_folder(const fs::path& folder)
{
    // The rename itself reaches the disk with the folder's own flush; a folder that cannot be
    // opened for that (some file systems) is left to the system's write-back.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::vector<std::uint8_t> read_whole_file(const fs::path& path, std::size_t limit)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail(path, "cannot open", errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        fail(path, "cannot open", error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(path, S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file");
    }
    if (static_cast<std::uintmax_t>(st.st_size) > limit) {
        ::close(fd);
        fail(path, "too large (" + std::to_string(st.st_size) + " bytes)");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            fail(path, "cannot read", error);
        }
        if (n == 0) break;  // shrank while being read: take what is there
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

void write_file_atomic(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    // The window's save: a temporary file beside the target, flushed, renamed over it.
    std::string error = save_file_replacing(path.string(), bytes);
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
    staging_ = final_.parent_path() / ("." + final_.filename().string() + ".partial-" +
                                       unique_suffix());
    if (::mkdir(staging_.c_str(), 0755) != 0) fail(staging_, "cannot create", errno);
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
    if (::rename(staging_.c_str(), final_.c_str()) != 0) fail(final_, "cannot create", errno);
    committed_ = true;
    sync_folder(final_.parent_path());
}
