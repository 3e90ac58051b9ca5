#include "app/line_breaks.h"

std::string normalize_line_breaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += '\n';
            // A two-character break ("\r\n" or "\n\r") counts once.
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') &&
                text[i + 1] != c)
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}
