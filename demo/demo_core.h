// The demo's module without a clock of its own: the simulated module on a simulated HID bus,
// beside a foreign device as a real bus has, moved on by the time its owner hands it. The Qt
// demo drives it from a QTimer, the Windows demo from a timer of its message loop.
#pragma once

#include <cstdint>

#include "sim/sim_bus.h"
#include "sim/sim_module.h"

class DemoCore {
public:
    // carried_version: the version the module's application reports after an update with the
    // carried image, so that the update visibly completes. Until then it reports an older one.
    explicit DemoCore(std::uint32_t carried_version);
    DemoCore(const DemoCore&) = delete;
    DemoCore& operator=(const DemoCore&) = delete;

    Hid& hid() { return bus_; }
    SimModule& module() { return module_; }

    // Moves simulated time on to `now_ms` (milliseconds since the clock started): inputs move,
    // counters count and the DAC channels swing as on a live CNC.
    void advance_to(std::int64_t now_ms);
    // Starts the clock over at 0.
    void restart() { advanced_ms_ = 0; }

private:
    SimModule module_;
    ForeignDevice keyboard_{0x046D, 0xC31C};  // another HID device, listed first
    SimBus bus_;
    std::int64_t advanced_ms_ = 0;
    double hand_counts_[4] = {};  // fractions of counts not yet handed to the module
};
