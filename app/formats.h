// The value formats (app/value_formats.h) put into the window's controls.
#pragma once

#include <cstdint>
#include <vector>

#include "app/value_formats.h"
#include "app/view.h"

// The word as six octal digits, zeros included, in `control`.
void WordToOct6(std::uint16_t word, View& view, Control control);
// The word's sixteen bits from bit 15 down in `control`.
void WordToBitRow(std::uint16_t word, View& view, Control control);
// The eight preview rows of hex_rows in the list box `list`, replacing what it held.
void ShowHexRows(View& view, Control list, const std::vector<std::uint8_t>& image,
                 int bytes_per_row, int first_word);
