#include "app/qt/failure_log.h"

#include <cstring>

#include "comport/comport.h"

Q_LOGGING_CATEGORY(lirvan_device, "lirvan.device", QtWarningMsg)

namespace {

void log_failure(const char* layer, const SystemFailure& failure, unsigned long& seen)
{
    if (failure.count == seen || failure.call == nullptr) return;
    seen = failure.count;
    if (failure.error != 0)
        qCInfo(lirvan_device, "%s: %s failed: %s", layer, failure.call, std::strerror(failure.error));
    else
        qCInfo(lirvan_device, "%s: %s failed", layer, failure.call);
}

}  // namespace

void FailureLog::report()
{
    if (!lirvan_device().isInfoEnabled()) return;
    log_failure("HID", hid_.last_failure(), hid_seen_);
    log_failure("serial port", com_last_failure(), serial_seen_);
}
