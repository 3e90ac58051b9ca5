// Hexadecimal text of numbers and bytes, for every place that shows or logs them: addresses
// and bytes of a failed read-back, the image previews, the support log, checksums.
#pragma once

#include <cstdint>
#include <string>

enum class HexCase { upper, lower };

// Appends the low `digits` hexadecimal digits of value, most significant first.
inline void append_hex(std::string& out, std::uint32_t value, int digits, HexCase letters = HexCase::upper)
{
    const char* const table = letters == HexCase::upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += table[(value >> shift) & 15];
}

inline std::string hex_text(std::uint32_t value, int digits, HexCase letters = HexCase::upper)
{
    std::string out;
    append_hex(out, value, digits, letters);
    return out;
}
