#include "demo/demo_core.h"

#include <cmath>

#include "define/define.h"
#include "define/version_words.h"


DemoCore::DemoCore(std::uint32_t carried_version)
{
    // The module comes with the firmware one step older than the carried image (4.35 when
    // 4.36 is carried), so "Обновить" has something to do.
    module_.set_firmware_version(previous_firmware_version(carried_version));
    module_.set_firmware_version_after_update(carried_version);
    module_.set_cpu_running(true);

    bus_.add_interface(keyboard_);
    bus_.add_interface(module_);
}

void DemoCore::advance_to(std::int64_t now)
{
    // Follow the wall clock, also across a long blocking transfer of the window.
    const std::int64_t step = now - advanced_ms_;
    if (step <= 0) return;
    module_.advance_ms(static_cast<std::uint32_t>(step));
    advanced_ms_ = now;

    if (module_.cpu_running()) {
        // The running CNC drives its axes: the DAC channels swing between -5 V and +5 V, each
        // at its own pace. Stopped, they hold what was last written to them.
        const double seconds = static_cast<double>(now) / 1000.0;
        const double periods[4] = {8.0, 11.0, 13.0, 17.0};
        for (int i = 0; i < 4; ++i) {
            const double volts = 5.0 * std::sin(2.0 * 3.14159265358979 * seconds / periods[i]);
            const auto magnitude = static_cast<std::uint16_t>(std::lround(std::fabs(volts) / dac_volts_per_step_positive));
            const std::uint16_t value = volts < 0 ? static_cast<std::uint16_t>(0x8000 | magnitude) : magnitude;
            module_.set_bus_register(static_cast<std::uint16_t>(bus_dac_kp1 + i), value);
        }
    } else {
        // With the CNC stopped the operator moves the axes by hand: the measuring channels
        // still count (the module counts by itself only while the CNC runs).
        const double rates[4] = {40.0, -15.0, 120.0, 5.0};  // counts per second
        for (int i = 0; i < 4; ++i) {
            hand_counts_[i] += rates[i] * static_cast<double>(step) / 1000.0;
            const double whole = std::trunc(hand_counts_[i]);
            if (whole != 0.0) {
                module_.add_counts(i + 1, static_cast<std::int16_t>(whole));
                hand_counts_[i] -= whole;
            }
        }
    }
}
