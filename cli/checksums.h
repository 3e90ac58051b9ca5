// The two checks lirvan-cli prints and keeps in a backup's manifest for every image: the byte
// sum (the module's own check of a flash chunk and of the configuration block) and CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Sum of the bytes as unsigned values, in 32 bits (no replacement of 0: that is the chunk
// framing's business, not the file's).
std::uint32_t byte_sum(const std::uint8_t* bytes, std::size_t length);
// CRC-32 as zip and PNG have it (reflected 0x04C11DB7, initial and final inversion):
// "123456789" gives 0xCBF43926.
std::uint32_t crc32_of(const std::uint8_t* bytes, std::size_t length);
// Eight lower-case hex digits, as the manifest and the text output write a CRC.
std::string crc32_text(std::uint32_t crc);

inline std::uint32_t byte_sum(const std::vector<std::uint8_t>& v) { return byte_sum(v.data(), v.size()); }
inline std::uint32_t crc32_of(const std::vector<std::uint8_t>& v) { return crc32_of(v.data(), v.size()); }
