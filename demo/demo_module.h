// The demo's module: the simulated module on a simulated HID bus, beside a foreign device as a
// real bus has, with simulated time running in step with the clock so that inputs move,
// counters count and the DAC channels swing while the window watches.
#pragma once

#include <cstdint>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "sim/sim_bus.h"
#include "sim/sim_module.h"

class DemoModule : public QObject {
    Q_OBJECT
public:
    // carried_version: the version the module's application reports after an update with the
    // carried image, so that the update visibly completes. Until then it reports an older one.
    explicit DemoModule(std::uint32_t carried_version, QObject* parent = nullptr);

    Hid& hid() { return bus_; }
    SimModule& module() { return module_; }

    // Starts the simulated clock (it advances by the time really passed, every 100 ms).
    void start();

private:
    void advance();

    SimModule module_;
    ForeignDevice keyboard_{0x046D, 0xC31C};  // another HID device, listed first
    SimBus bus_;
    QTimer clock_;
    QElapsedTimer elapsed_;
    std::int64_t advanced_ms_ = 0;
    double hand_counts_[4] = {};  // fractions of counts not yet handed to the module
};
