// Files on Linux: POSIX descriptors.
#include "app/platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

}  // namespace

std::string file_error_reason(const std::error_code& error) { return error.message(); }

PlatformFile::~PlatformFile() { close(); }

std::error_code PlatformFile::open_for_reading(const std::string& name)
{
    close();
    regular_ = false;
    // Look first: a device is never opened (opening some has effects of its own, such as a
    // serial line's control signals), a socket would refuse with a reason that says less.
    struct stat st{};
    if (::stat(name.c_str(), &st) != 0) return last_error();
    if (!S_ISREG(st.st_mode)) return {};
    // O_NONBLOCK: should a FIFO have taken the name since, its open does not wait for a writer.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return last_error();
    handle_ = fd;
    if (::fstat(fd, &st) != 0) {
        const std::error_code error = last_error();
        close();
        return error;
    }
    regular_ = S_ISREG(st.st_mode);
    if (!regular_) close();
    return {};
}

std::error_code PlatformFile::create_new(const std::string& name)
{
    close();
    // O_EXCL: never an existing file, nor the target of a link.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return last_error();
    handle_ = fd;
    regular_ = true;
    return {};
}

std::error_code PlatformFile::read(std::span<std::uint8_t> out, std::size_t& got)
{
    got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(static_cast<int>(handle_), out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return last_error();
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code PlatformFile::write_all(std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return last_error();
        if (n == 0) return std::make_error_code(std::errc::io_error);
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code PlatformFile::sync()
{
    return ::fsync(static_cast<int>(handle_)) == 0 ? std::error_code{} : last_error();
}

std::error_code PlatformFile::close()
{
    if (handle_ < 0) return {};
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    return ::close(fd) == 0 ? std::error_code{} : last_error();
}
