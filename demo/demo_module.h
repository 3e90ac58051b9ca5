// The demo's module on the Qt event loop: the simulated module and bus of DemoCore, with
// simulated time running in step with the clock so that inputs move, counters count and the
// DAC channels swing while the window watches.
#pragma once

#include <cstdint>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "demo/demo_core.h"

class DemoModule : public QObject {
    Q_OBJECT
public:
    // carried_version: the version the module's application reports after an update with the
    // carried image, so that the update visibly completes. Until then it reports an older one.
    explicit DemoModule(std::uint32_t carried_version, QObject* parent = nullptr);

    Hid& hid() { return core_.hid(); }
    SimModule& module() { return core_.module(); }

    // Starts the simulated clock (it advances by the time really passed, every 100 ms).
    void start();

private:
    DemoCore core_;
    QTimer clock_;
    QElapsedTimer elapsed_;
};
