// Image files of the memory pages. Images are little-endian 16-bit words: byte 2k is the low
// byte of word k, byte 2k+1 its high byte; whole-image files keep that order. Each function
// returns the text for the error box, naming the file and the reason; empty on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "module/memories.h"  // Lane

// Loading reads regular files only and never waits (a FIFO without a writer is refused at once).
// Loads a whole-image file: its first bytes, up to the image size, replace the image's first
// bytes; the rest of the image stays.
std::string load_whole_image(const std::string& name, std::vector<std::uint8_t>& image);
// Loads a byte-lane file: file byte k becomes the low or high byte of word first_word + k.
// The other byte of each word stays; so do the lane bytes past the end of a short file.
std::string load_lane(const std::string& name, std::vector<std::uint8_t>& image,
                      std::size_t first_word, std::size_t lane_size, Lane lane);
// Writes `bytes` as the whole content of the file `name`. The bytes go to a new file beside
// the target, which then takes the target's place in one rename: an existing file is either
// left as it was or replaced by the complete new content, never by a part of it. On any
// failure the temporary file is removed. A symbolic link is followed to the end of its chain,
// which must be a regular file or a free name in an existing folder; anything else at the name
// (a FIFO, a device, a socket, a folder, a link loop) is refused and left as it is.
std::string save_file_replacing(const std::string& name, const std::vector<std::uint8_t>& bytes);
