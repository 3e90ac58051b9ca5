#include "app/qt/demo_module.h"

namespace {

// The version one minor step below (4.36 -> 4.35, 4.30 -> 4.29); x.00 stays as it is.
std::uint32_t previous_version(std::uint32_t word)
{
    const std::uint32_t major = (word >> 16) & 15;
    std::uint32_t minor = ((word >> 12) & 15) * 10 + ((word >> 8) & 15);
    if (minor > 0) --minor;
    return (major << 16) | ((minor / 10) << 12) | ((minor % 10) << 8);
}

}  // namespace

DemoModule::DemoModule(std::uint32_t carried_version, QObject* parent) : QObject(parent)
{
    // The module comes with the firmware one step older than the carried image (4.35 when
    // 4.36 is carried), so "Обновить" has something to do.
    module_.set_firmware_version(previous_version(carried_version));
    module_.set_firmware_version_after_update(carried_version);
    module_.set_cpu_running(true);

    bus_.add_interface(keyboard_);
    bus_.add_interface(module_);

    clock_.setInterval(100);
    connect(&clock_, &QTimer::timeout, this, &DemoModule::advance);
}

void DemoModule::start()
{
    elapsed_.start();
    advanced_ms_ = 0;
    clock_.start();
}

void DemoModule::advance()
{
    // Follow the wall clock, also across a long blocking transfer of the window.
    const std::int64_t now = elapsed_.elapsed();
    const std::int64_t step = now - advanced_ms_;
    if (step <= 0) return;
    module_.advance_ms(static_cast<std::uint32_t>(step));
    advanced_ms_ = now;
}
