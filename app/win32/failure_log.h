// Writes why the device link or the serial port failed with OutputDebugStringW, where a debug
// viewer of a support engineer shows it; nothing is kept on the PC. The window shows the user
// what it always showed; these lines are for support.
#pragma once

#include <functional>
#include <string>

#include "device/Hid.h"

class FailureLog {
public:
    using Sink = std::function<void(const std::wstring& line)>;
    // The sink takes each line; the system's debug output by default.
    explicit FailureLog(const Hid& hid, Sink sink = {});
    // Writes each layer's last failed call if it failed again since the previous report.
    void report();

private:
    void write(const char* layer, const SystemFailure& failure, unsigned long& seen);

    const Hid& hid_;
    Sink sink_;
    unsigned long hid_seen_ = 0;
    unsigned long serial_seen_ = 0;
};
