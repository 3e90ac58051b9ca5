#include "app/win32/failure_log.h"

#include <windows.h>

#include "comport/comport.h"
#include "define/wide_text.h"
#include "define/windows_error.h"

FailureLog::FailureLog(const Hid& hid, Sink sink) : hid_(hid), sink_(std::move(sink))
{
    if (!sink_) sink_ = [](const std::wstring& line) { ::OutputDebugStringW(line.c_str()); };
}

void FailureLog::report()
{
    write("HID", hid_.last_failure(), hid_seen_);
    write("serial port", com_last_failure(), serial_seen_);
}

// "lirvan: HID: HidD_GetFeature failed: <the system's text> (31)"; a call that sets no error
// code only as failed.
void FailureLog::write(const char* layer, const SystemFailure& failure, unsigned long& seen)
{
    if (failure.count == seen || failure.call == nullptr) return;
    seen = failure.count;
    std::string line = std::string("lirvan: ") + layer + ": " + failure.call + " failed";
    if (failure.error != 0)
        line += ": " + windows_error_text(static_cast<DWORD>(failure.error)) + " (" + std::to_string(failure.error) + ")";
    sink_(widen(line + "\n"));
}
