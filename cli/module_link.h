// The command line's hold on the module for one command: the HID backend behind the traffic
// tap (support log), the progress bar of its transfers, the two identities, the search, and the translation of a
// module action's result into the command line's failure (exit code and one line).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/progress.h"
#include "cli/traffic_tap.h"
#include "device/device.h"
#include "module/action_result.h"
#include "module/module_hold.h"
#include "module/status_probe.h"

class ModuleLink {
public:
    // `log` may be null. `bus` must outlive the link.
    ModuleLink(Hid& bus, std::ostream* log, std::ostream& err, bool err_is_terminal,
               std::function<void(std::chrono::milliseconds)> pause);

    // How long a search waits for a module that another program holds before the command
    // fails with exit 2.
    void set_busy_wait(std::chrono::milliseconds limit) { busy_wait_ = limit; }

    // Searches for the module and asks its status; the interface stays held for the command's
    // actions. Needs the application: the loader alone, or nothing, fails with exit 1.
    const TickReport& hold_application();
    // Searches as the status monitor does (application, else loader) and reports what answered;
    // the interface stays held. A module that another program holds is searched for again
    // until it is free, for the busy wait at most, and then fails with exit 2.
    const TickReport& probe();
    // Waits up to `limit` for the given form to answer (searching every 250 ms); true when it
    // did; the interface stays held.
    bool wait_for(ModuleForm form, std::chrono::milliseconds limit);
    void release() { hold_.close(); }

    DeviceHandle handle() const { return hold_.handle(); }
    const TickReport& status() const { return status_; }

    // Throws the command line's failure for a failed action: not found → 1, refused or short
    // → 2, bad input → 4. `what` names the action ("reading rom").
    // The line names the report the device refused, when one was.
    void check(const ActionResult& r, const std::string& what) const;

    // A transfer named `label` begins: the progress bar follows the returned callback, which
    // goes to the transfer's module action.
    TransferProgress begin_transfer(const std::string& label);
    void end_transfer();

private:
    TrafficTap tap_;
    ProgressBar progress_;
    ModuleHold hold_;
    DeviceIdentity app_ = make_app_identity();
    DeviceIdentity loader_ = make_loader_identity();
    TickReport status_;
    std::function<void(std::chrono::milliseconds)> pause_;
    std::chrono::milliseconds busy_wait_{5000};
};
