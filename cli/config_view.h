// The configuration block in the window's words: its seven settings, each with its row letter,
// its caption and the item text of the stored code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "define/define.h"

struct ConfigSetting {
    std::size_t offset;              // byte of the block
    const char* letter;              // row letter of the page
    const char* caption;             // caption of the row
    std::string item;                // item text of the stored code; empty when none has it
    std::uint8_t code;               // the stored byte
};

// The seven settings of a block, in the page's order. A code without an item (a software
// version of 1, a filter of 12) keeps its number and gets no item text: the command line shows
// what is stored, where the window would show its fallback item.
std::vector<ConfigSetting> config_settings(const std::array<std::uint8_t, params_size>& block);
