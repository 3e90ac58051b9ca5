// The firmware images this executable carries for the module, as the build put them into its
// read-only data (cmake/carried_update.cmake; a generated source on Linux, raw-data resources
// on Windows): "Update", the image the update sends, and in lirvan-cli also "DemoUpdate", the
// generated placeholder for its simulated module. The bytes stay where they lie for the whole
// run; an executable that carries none gives no data and size 0.
#pragma once

#include <cstdint>

#include "define/carried_image.h"

CarriedImage carried_update_image();
// The version word of "Update" (major in bits 16-19, the two minor digits in bits 12-15 and
// 8-11: 4.36 is 0x00043600); 0 when the executable carries none.
std::uint32_t carried_update_version();
CarriedImage carried_demo_update_image();
