// The command line's platform calls on Linux.
#include "cli/platform.h"

#include <fcntl.h>
#include <unistd.h>

std::tm utc_time(std::time_t t)
{
    std::tm utc{};
    gmtime_r(&t, &utc);
    return utc;
}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

void sync_folder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
