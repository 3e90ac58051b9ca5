// The file calls that differ between platforms: opening a file for reading without ever
// waiting, creating a new file, reading, writing and flushing to the disk. CMake builds the
// source of the platform in hand (file_<platform>.cpp); the rest of app/ knows no platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

// The reason of a failed file call as the user reads it: the system's own text, in the user's
// language on Windows (where the standard library's file calls would give an English one).
std::string file_error_reason(const std::error_code& error);

class PlatformFile {
public:
    PlatformFile() = default;
    ~PlatformFile();  // closes a file still open
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;

    // Opens the existing file `name` for reading if it is a regular file, and never waits on
    // it. Anything else (a FIFO, a device, a socket, a folder; asked again of the opened file
    // itself, so that nothing put in its place meanwhile slips through) is no error: it is
    // left closed, and regular() says false.
    std::error_code open_for_reading(const std::string& name);
    // Whether the last open_for_reading found a regular file (and so holds it open).
    bool regular() const { return regular_; }
    // Creates the new regular file `name` for writing. Fails with file_exists when anything,
    // a symbolic link included, already has the name.
    std::error_code create_new(const std::string& name);

    // Reads up to out.size() bytes into `out`; `got` is less only at the end of the file.
    std::error_code read(std::span<std::uint8_t> out, std::size_t& got);
    std::error_code write_all(std::span<const std::uint8_t> bytes);
    // Returns once everything written is on the disk.
    std::error_code sync();
    std::error_code close();

private:
    std::intptr_t handle_ = -1;  // a descriptor on Linux, a HANDLE on Windows; -1 on both: closed
    bool regular_ = false;
};
