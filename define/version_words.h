// The version words of the module, read and written in one place: the firmware version the
// application and the loader report over USB, the loader's own version, and the firmware
// version register of the Modbus link.
#pragma once

#include <cstdint>
#include <string>

// Firmware version word as "major.minorpatch": bits 16-19, ".", bits 12-15, bits 8-11, each in
// decimal (0x00043600 reads "4.36"; a group of 10..15 takes two digits).
inline std::string firmware_version_text(std::uint32_t v)
{
    return std::to_string((v >> 16) & 15) + "." + std::to_string((v >> 12) & 15) + std::to_string((v >> 8) & 15);
}

// The firmware version one minor step below (4.36 -> 4.35, 4.30 -> 4.29); x.00 stays as it is.
inline std::uint32_t previous_firmware_version(std::uint32_t word)
{
    const std::uint32_t major = (word >> 16) & 15;
    std::uint32_t minor = ((word >> 12) & 15) * 10 + ((word >> 8) & 15);
    if (minor > 0) --minor;
    return (major << 16) | ((minor / 10) << 12) | ((minor % 10) << 8);
}

// Loader version word as "a.b.c.": bits 16-23, 8-15 and 0-7 in decimal.
inline std::string loader_version_text(std::uint32_t v)
{
    return std::to_string((v >> 16) & 255) + "." + std::to_string((v >> 8) & 255) + "." + std::to_string(v & 255) + ".";
}

// The Modbus firmware version register: bits 11..8 the major number, bits 7..0 the minor
// number in two BCD digits; 0x0215 reads 2.15 and 0x0A09 reads 10.9.
inline std::string network_version_text(std::uint16_t word)
{
    const unsigned major = (word >> 8) & 0x0F;
    const unsigned minor = ((word >> 4) & 0x0F) * 10 + (word & 0x0F);
    return std::to_string(major) + "." + std::to_string(minor);
}
