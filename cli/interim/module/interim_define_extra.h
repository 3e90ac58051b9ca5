// Constants the module-actions layer takes from define/ once that lands; interim only.
#pragma once
#include <cstddef>
#include <cstdint>
constexpr std::size_t params_summed_bytes = 8;
constexpr std::size_t params_checksum_offset = 8;
constexpr std::uint8_t erased_flash_byte = 0xFF;
