// The value formats put into the window's controls.
#include "app/formats.h"

void WordToOct6(std::uint16_t word, View& view, Control control)
{
    view.set_text(control, word_to_oct6_text(word));
}

void WordToBitRow(std::uint16_t word, View& view, Control control)
{
    view.set_text(control, word_to_bit_row_text(word));
}

void ShowHexRows(View& view, Control list, const std::vector<std::uint8_t>& image,
                 int bytes_per_row, int first_word)
{
    view.list_clear(list);
    for (const auto& line : hex_rows(image, bytes_per_row, first_word)) view.list_append(list, line);
}
