#include "cli/checksums.h"

#include <zlib.h>

#include <cstdio>

std::uint32_t byte_sum(const std::uint8_t* bytes, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
    return sum;
}

std::uint32_t crc32_of(const std::uint8_t* bytes, std::size_t length)
{
    // zlib takes the length as uInt; the images are a few KiB, but feed it in slices anyway.
    uLong crc = crc32(0L, Z_NULL, 0);
    while (length > 0) {
        const uInt n = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
        crc = crc32(crc, bytes, n);
        bytes += n;
        length -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string crc32_text(std::uint32_t crc)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}
