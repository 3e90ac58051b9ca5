// What an image file of a given size fits, in the command line's words: the memories and chip
// files of the module's memories table that it matches exactly, or how the window would load it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "module/memories.h"

// Never empty.
struct FileFit {
    std::vector<std::string> exact;  // e.g. "rom", "kvp", "ram", "rom lane (D83 or D82)"
    std::string note;                // set when nothing matches exactly
};
FileFit file_fit(std::size_t size);
