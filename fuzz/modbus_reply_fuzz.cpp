// The Modbus register read through the real serial layer: a pseudo-terminal stands in for the
// line, the input supplies the request's parameters and the reply, and the outcome is checked
// against the frame rules worked out with a bit-by-bit CRC. The reply always has the length
// the request asks for (a shorter one costs the read's full second of waiting; the unit tests
// cover it), so the read returns as soon as the peer has answered.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "fuzz/fuzz_support.h"

namespace {

std::uint16_t bitwise_crc16(const std::uint8_t* data, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t k = 0; k < length; ++k) {
        crc ^= data[k];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// The line: the master end of a pseudo-terminal whose slave end the serial layer opened.
int line()
{
    static const int master = [] {
        const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || !com_open(::ptsname(fd), 57600)) {
            std::fprintf(stderr, "no pseudo-terminal for the serial layer\n");
            std::abort();
        }
        return fd;
    }();
    return master;
}

// What the serial layer has written to the line: the expected number of bytes (waiting a
// little for each) and whatever else is there already.
std::vector<std::uint8_t> drain(int fd, std::size_t expected)
{
    std::vector<std::uint8_t> out;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, out.size() < expected ? 500 : 0) == 1 && (p.revents & POLLIN)) {
        std::uint8_t buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int master = line();
    FuzzInput in(data, size);
    const std::uint8_t address = in.byte();
    const std::uint16_t first = in.value<std::uint16_t>();
    const std::uint8_t mode = in.byte();
    // Mostly the counts function 3 allows; now and then one it does not.
    const std::uint16_t count = (mode & 0xC0) == 0xC0 ? in.byte() : 1 + in.byte() % 125;
    const bool allowed = count >= 1 && count <= 125;

    std::vector<std::uint8_t> reply = in.bytes(2u * count + 5);
    reply.resize(2u * count + 5, 0);
    // Most replies get a correct CRC, so that acceptance is exercised as much as refusal.
    if (mode & 1) {
        const std::uint16_t crc = bitwise_crc16(reply.data(), reply.size() - 2);
        reply[reply.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
        reply[reply.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    // The request the line must carry: address, 3, first and count high byte first, CRC low
    // byte first; none for a count the function does not allow.
    std::vector<std::uint8_t> request;
    if (allowed) {
        request = {address, 3, static_cast<std::uint8_t>(first >> 8), static_cast<std::uint8_t>(first),
                   0, static_cast<std::uint8_t>(count)};
        const std::uint16_t crc = bitwise_crc16(request.data(), request.size());
        request.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        request.push_back(static_cast<std::uint8_t>(crc >> 8));
    }

    // The peer answers once the request is on the line, as a slave does: the serial layer
    // empties its receive queue before each request, so an answer sent earlier would be lost.
    std::vector<std::uint8_t> seen;
    std::thread peer([&] {
        seen = drain(master, request.size());
        if (allowed && !seen.empty())
            FUZZ_CHECK(::write(master, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size()));
    });
    std::array<std::uint8_t, 260> destination;
    destination.fill(0xA5);
    const bool accepted = modbus_read_holding(address, first, count, destination.data());
    peer.join();
    FUZZ_CHECK(seen == request);

    const std::size_t n = 2u * count;
    const std::uint16_t crc = bitwise_crc16(reply.data(), n + 3);
    const bool expected = allowed && reply[n + 3] == (crc & 0xFF) && reply[n + 4] == (crc >> 8);
    FUZZ_CHECK(accepted == expected);
    for (std::size_t i = 0; i < destination.size(); ++i)
        FUZZ_CHECK(destination[i] == (expected && i < n ? reply[3 + i] : 0xA5));

    // The table-driven CRC over the whole input.
    FUZZ_CHECK(modbus_crc16(data, static_cast<std::uint16_t>(std::min<std::size_t>(size, 0xFFFF))) ==
               bitwise_crc16(data, std::min<std::size_t>(size, 0xFFFF)));
    return 0;
}
