// Writes why the device link or the serial port failed to the log category "lirvan.device"
// (off by default; QT_LOGGING_RULES="lirvan.*=true" turns it on). The window shows the user
// what it always showed; the log is for support.
#pragma once

#include <QLoggingCategory>

#include "device/Hid.h"

Q_DECLARE_LOGGING_CATEGORY(lirvan_device)

class FailureLog {
public:
    explicit FailureLog(const Hid& hid) : hid_(hid) {}
    // Logs each layer's last failed call if it failed again since the previous report.
    void report();

private:
    const Hid& hid_;
    unsigned long hid_seen_ = 0;
    unsigned long serial_seen_ = 0;
};
