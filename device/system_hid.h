#pragma once
#include <memory>
#include "device/Hid.h"
// The HID backend of the platform this build is for.
std::unique_ptr<Hid> make_system_hid();
