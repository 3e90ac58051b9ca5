#include "cli/checksums.h"

#include "define/hex_text.h"

#include <array>

std::uint32_t byte_sum(const std::uint8_t* bytes, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
    return sum;
}

std::uint32_t crc32_of(const std::uint8_t* bytes, std::size_t length)
{
    // CRC-32 as zip and PNG have it (reflected polynomial 0xEDB88320, inverted in and out),
    // a byte at a time from a table; a few hundred KiB at most pass through it.
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string crc32_text(std::uint32_t crc) { return hex_text(crc, 8, HexCase::lower); }
