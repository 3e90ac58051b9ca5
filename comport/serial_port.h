// The one open serial port and the two transfers the register read transaction makes on it.
// Internal to comport (and its tests): the window uses only comport.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The open serial port: a file descriptor on Linux, the port's HANDLE on Windows; -1 (the
// invalid handle value of both) while no port is open (the state at start and after
// com_close). One for the whole process: the window's thread is its only user.
extern std::intptr_t com_handle;

// Time after which a read ends with whatever has arrived, counted from the start of the read.
constexpr int com_read_timeout_ms = 1000;

// Time within which a write must have handed all of its bytes to the driver. A line held back
// by hardware flow control (CTS low) or a peer that stopped taking bytes fails the write
// instead of holding the window.
constexpr int com_write_timeout_ms = 1000;

// Writes all of the bytes within com_write_timeout_ms. False when no port is open, the port
// fails or the time ran out; what was left unsent is then discarded, so that it cannot go out
// later in front of another request.
bool com_write(const std::uint8_t* data, std::size_t length);
// Discards both queues: bytes received and not yet read (line noise, a reply that came after
// its poll gave up) and bytes written and not yet sent.
void com_purge();
// Reads until `length` bytes have arrived or com_read_timeout_ms have passed since the call.
// Result: the number of bytes received (less than length after a time-out), or -1 when no
// port is open or the port reports an error.
long com_read(std::uint8_t* data, std::size_t length);

// The port listing of com_port_list over a given sysfs tty class folder (tests use a made-up
// one; the system's is /sys/class/tty).
void com_port_list_in(const char* tty_class_dir, std::vector<std::string>& list);
