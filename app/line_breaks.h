// Message texts come with lines separated by "\r", "\n", "\r\n" or "\n\r", as their callers
// give them; a message box wants "\n" alone.
#pragma once

#include <string>

std::string normalize_line_breaks(const std::string& text);
