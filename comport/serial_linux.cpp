// Serial ports on Linux: listing from sysfs without opening any port, the port itself
// through termios, with the read and write time-outs kept by poll against a deadline so that
// they hold on every tty, pseudo-terminals included.
//
// Line settings applied by com_open:
// - 8 data bits, no parity, one stop bit, the caller's baud rate (a rate the system has no
//   constant for is refused);
// - the line discipline in raw mode: no canonical input, echo, signals, CR/NL translation,
//   output processing or software (XON/XOFF) flow control. Modbus frames are binary and carry
//   0x11, 0x13, 0x0D and 0x0A as data; a serial port on the other platform never processes
//   them either;
// - CREAD and CLOCAL set, so the port receives and a missing carrier neither blocks nor hangs
//   up the line;
// - everything else (hardware flow control, HUPCL, break and error handling) as the driver
//   has it.
// Exclusive use: flock() keeps out every program that locks the same way (another copy of this
// tool) whoever runs it, and TIOCEXCL keeps out any other unprivileged open().
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "comport/comport.h"
#include "comport/serial_port.h"

std::intptr_t com_handle = -1;

namespace {

SystemFailure failure;

// Records the failed call with errno; returns false for the caller to pass on.
bool fail(const char* call, int error = errno)
{
    record_failure(failure, call, error);
    return false;
}

struct BaudConstant {
    int rate;
    speed_t constant;
};

constexpr BaudConstant baud_constants[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool baud_constant(int rate, speed_t& constant)
{
    for (const auto& b : baud_constants) {
        if (b.rate == rate) {
            constant = b.constant;
            return true;
        }
    }
    return false;
}

// The descriptor held in com_handle.
int port_fd() { return static_cast<int>(com_handle); }

std::string device_path(const std::string& name)
{
    return name.find('/') == std::string::npos ? "/dev/" + name : name;
}

// Closes a descriptor of ours, giving the tty's exclusive mode back first: on a pseudo-terminal
// the slave's state outlives its last close while the master stays open. Output still queued
// is dropped: close() would otherwise wait up to the driver's closing time (30 s by default)
// for a line that hardware flow control holds back.
void release_port(int fd)
{
    ::tcflush(fd, TCOFLUSH);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool apply_line_settings(int fd, int baud)
{
    speed_t speed{};
    if (!baud_constant(baud, speed)) return fail("baud rate", EINVAL);

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return fail("tcgetattr");
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    // Reads never wait inside the driver: com_read waits in poll() against its own deadline.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return fail("cfsetspeed");
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return fail("tcsetattr");

    // tcsetattr succeeds when any part of the request was taken; make sure all of it was.
    termios now{};
    if (::tcgetattr(fd, &now) != 0) return fail("tcgetattr");
    if ((now.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8 && (now.c_lflag & ICANON) == 0 &&
           ::cfgetispeed(&now) == speed && ::cfgetospeed(&now) == speed)
        return true;
    return fail("tcsetattr partly", 0);
}

timespec monotonic_now()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

long long nanoseconds_between(const timespec& from, const timespec& to)
{
    return (static_cast<long long>(to.tv_sec) - from.tv_sec) * 1'000'000'000LL +
           (to.tv_nsec - from.tv_nsec);
}

}  // namespace

SystemFailure com_last_failure() { return failure; }

void com_port_list(std::vector<std::string>& list) { com_port_list_in("/sys/class/tty", list); }

void com_port_list_in(const char* tty_class_dir, std::vector<std::string>& list)
{
    list.clear();
    // A tty that sysfs links to a device belongs to real hardware (USB adapters, UARTs);
    // virtual consoles and pseudo-terminals have no such link. The 8250 driver registers its
    // ttyS ports at every legacy address whether a UART answers there or not; its "type"
    // attribute stays 0 (unknown) where none did. Nothing is opened, so listing is quick and
    // leaves ports held by other programs alone.
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(tty_class_dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        if (!fs::exists(dir / "device", ec)) continue;
        std::ifstream type_file(dir / "type");
        int type = -1;
        if (type_file >> type && type == 0) continue;
        list.push_back(dir.filename().string());
    }
    std::sort(list.begin(), list.end());
}

bool com_open(const std::string& name, int baud)
{
    // At most one port is open: a port still open is closed rather than left behind unowned.
    if (com_handle >= 0) com_close();
    if (name.empty()) return false;

    // Non-blocking, so that opening a modem line with no carrier does not wait for one.
    const int fd = ::open(device_path(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail("open");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        fail("flock/TIOCEXCL");
        ::close(fd);
        return false;
    }
    if (!apply_line_settings(fd, baud) || (::tcflush(fd, TCIOFLUSH) != 0 && !fail("tcflush"))) {
        release_port(fd);
        return false;
    }
    // RTS low, DTR high. A pseudo-terminal has no modem lines and refuses both; that is fine.
    int rts = TIOCM_RTS;
    int dtr = TIOCM_DTR;
    ::ioctl(fd, TIOCMBIC, &rts);
    ::ioctl(fd, TIOCMBIS, &dtr);

    com_handle = fd;
    return true;
}

void com_close()
{
    if (com_handle >= 0) release_port(port_fd());
    com_handle = -1;
}

void com_purge()
{
    if (com_handle >= 0) ::tcflush(port_fd(), TCIOFLUSH);
}

bool com_write(const std::uint8_t* data, std::size_t length)
{
    if (com_handle < 0) return false;
    const timespec start = monotonic_now();
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::write(port_fd(), data + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return fail("write");
        // The output queue is full (or the line is stopped): wait for room until the deadline.
        const long long left =
            com_write_timeout_ms * 1'000'000LL - nanoseconds_between(start, monotonic_now());
        if (left <= 0) {
            ::tcflush(port_fd(), TCOFLUSH);
            return fail("write: timed out", ETIMEDOUT);
        }
        const timespec wait{static_cast<time_t>(left / 1'000'000'000LL),
                            static_cast<long>(left % 1'000'000'000LL)};
        pollfd p{port_fd(), POLLOUT, 0};
        if (::ppoll(&p, 1, &wait, nullptr) < 0 && errno != EINTR) return fail("ppoll");
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return fail("poll: port hung up", EIO);
    }
    return true;
}

long com_read(std::uint8_t* data, std::size_t length)
{
    if (com_handle < 0) return -1;
    const timespec start = monotonic_now();
    std::size_t got = 0;
    bool hung_up = false;
    while (got < length) {
        // With VMIN = VTIME = 0 an empty queue reads as 0 bytes (or EAGAIN): wait for more.
        const ssize_t n = ::read(port_fd(), data + got, length - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            fail("read");
            return -1;
        }
        // A hung-up tty (a USB adapter pulled out) reads as end of file and polls as always
        // ready: once what was queued is read, the read has failed. Waiting for the time-out
        // would spin for the whole second on every poll.
        if (hung_up) {
            fail("read: port hung up", EIO);
            return -1;
        }

        const long long left =
            com_read_timeout_ms * 1'000'000LL - nanoseconds_between(start, monotonic_now());
        if (left <= 0) break;
        const timespec wait{static_cast<time_t>(left / 1'000'000'000LL),
                            static_cast<long>(left % 1'000'000'000LL)};
        pollfd p{port_fd(), POLLIN, 0};
        const int ready = ::ppoll(&p, 1, &wait, nullptr);
        if (ready < 0 && errno != EINTR) {
            fail("ppoll");
            return -1;
        }
        // A device that went away (or the far end of a pseudo-terminal that closed) hangs up;
        // bytes it may still report as readable are taken before the read fails.
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            if ((p.revents & POLLIN) == 0) {
                fail("ppoll: port hung up", EIO);
                return -1;
            }
            hung_up = true;
        }
    }
    return static_cast<long>(got);
}
