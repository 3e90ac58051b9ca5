// The command line's platform calls on Linux.
#include "cli/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>

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

namespace {

volatile std::sig_atomic_t interrupt_raised = 0;
struct sigaction previous_int, previous_term;

void on_interrupt(int) { interrupt_raised = 1; }

}  // namespace

InterruptWatch::InterruptWatch()
{
    interrupt_raised = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a report call waiting on the device returns at once
    sigaction(SIGINT, &action, &previous_int);
    sigaction(SIGTERM, &action, &previous_term);
}

InterruptWatch::~InterruptWatch()
{
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
}

bool InterruptWatch::interrupted() const { return interrupt_raised != 0; }
