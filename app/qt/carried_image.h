// The firmware image that the executable carries for the module: the read-only resource
// "Update" built into it at build time, with its version word in the resource "UpdateVersion".
#pragma once

#include <cstdint>

#include "app/Unit1.h"

// The carried image and its version word. The bytes stay in the executable's read-only
// resource data for the whole run; an executable that carries none gives no data and size 0.
CarriedImage carried_update_image();

// The version word of the carried image (major in bits 16-19, the two minor digits in bits
// 12-15 and 8-11: 4.36 is 0x00043600); 0 when the executable carries none.
std::uint32_t carried_update_version();
