// The status probe of one monitor tick: which form of the module answers, its versions and
// CNC state, and the registers of the page on view, learned in one pass on one held handle.
// The caller shows what the probe learned; every field comes with its validity.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "device/device.h"
#include "module/actions.h"
#include "module/module_hold.h"

// What the page on view asks of a tick once the application's status has arrived.
enum class TickPoll {
    none,                     // no registers
    registers,                // the registers
    registers_while_stopped,  // the registers, only while the CNC is stopped
    dac,                      // the external DAC mode on (when it is off), then the registers
    controller,               // the controller's input and output words, then the registers
};

struct TickRequest {
    TickPoll poll = TickPoll::none;
    std::span<const std::uint16_t> registers;
};

enum class ModuleForm { none, application, loader };

struct TickReport {
    ModuleForm form = ModuleForm::none;

    // Application: its status reply (firmware version, CNC running, external DAC on).
    bool status_valid = false;
    std::uint32_t firmware_version = 0;
    std::uint8_t running = 0;
    std::uint8_t ext_dac = 0;

    // Loader: its own version and the version of the firmware it holds.
    bool loader_version_valid = false;
    std::uint32_t loader_version = 0;
    bool loader_firmware_valid = false;
    std::uint32_t loader_firmware_version = 0;

    // The page's polls, one reading per requested register when they were read at all.
    std::vector<RegisterReading> registers;
    bool inputs_valid = false;  // controller: four input words
    std::array<std::uint16_t, 4> inputs{};
    bool outputs_valid = false;  // controller: two output words
    std::array<std::uint16_t, 2> outputs{};
};

// Searches for the application, then (when it is absent) for the loader, on `hold`, and asks
// what the form found can tell. Sets app.found and loader.found as the searches found them.
// With the application present but no status reply, nothing is polled: the polls depend on
// the CNC state and the DAC mode. Any page but the DAC page gives the external DAC mode back
// when the module reports it on. The handle stays held; the caller releases it.
TickReport probe_module(ModuleHold& hold, DeviceIdentity& app, DeviceIdentity& loader,
                        const TickRequest& request);
