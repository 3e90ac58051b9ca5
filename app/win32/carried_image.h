// The firmware image that the tool carries for the module: the raw-data resource "Update" of
// the executable, with the version given to the build.
#pragma once

#include <cstdint>

#include "app/Unit1.h"

// The carried image and its version word. The bytes stay in the executable's mapped resource
// data for the whole run; an executable without the resource gives size 0 (no image).
CarriedImage carried_update_image();
