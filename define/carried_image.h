// The firmware image a program carries for the module's loader, and its version word (the
// layout of the module's firmware version: 0x00043600 reads 4.36). No data: it carries none.
#pragma once

#include <cstddef>
#include <cstdint>

struct CarriedImage {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::uint32_t version_word = 0;
};
