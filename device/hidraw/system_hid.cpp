// The Linux build's HID backend: hidraw.
#include "device/system_hid.h"

#include "device/hidraw/linux_hid.h"

std::unique_ptr<Hid> make_system_hid() { return std::make_unique<LinuxHid>(); }
