#include "cli/module_link.h"

#include "cli/exit_codes.h"

namespace {

// Whole seconds, and tenths when there are any: "5", "0.3".
std::string seconds_text(std::chrono::milliseconds t)
{
    const auto tenths = t.count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "");
}

}  // namespace

ModuleLink::ModuleLink(Hid& bus, std::ostream* log, std::ostream& err, bool err_is_terminal,
                       std::function<void(std::chrono::milliseconds)> pause)
    : tap_(bus, log), progress_(err, err_is_terminal), hold_(tap_), pause_(std::move(pause))
{
}

const TickReport& ModuleLink::probe()
{
    constexpr std::chrono::milliseconds step{100};
    std::chrono::milliseconds waited{0};
    for (;;) {
        status_ = probe_module(hold_, app_, loader_, TickRequest{});
        // A refusal during the search (a foreign interface, say) says nothing of what follows.
        tap_.forget_refusal();
        if (status_.form != ModuleForm::none || !(app_.busy || loader_.busy)) return status_;
        if (waited >= busy_wait_)
            throw CliFailure(exit_transfer_failed,
                             "another program holds the module (a window of the service tool or "
                             "another lirvan-cli); waited " + seconds_text(waited) +
                                 " s for it (--busy-wait)");
        pause_(step);
        waited += step;
    }
}

const TickReport& ModuleLink::hold_application()
{
    probe();
    switch (status_.form) {
    case ModuleForm::none:
        throw CliFailure(exit_not_found, "module not found: no ЛИРВАН НЦ-31 (03EB:6202, identity "
                                         "3B03) answers on this machine");
    case ModuleForm::loader:
        throw CliFailure(exit_not_found, "module not found: only its loader answers (an update "
                                         "did not finish?); run `lirvan-cli update`");
    case ModuleForm::application:
        if (!status_.status_valid)
            throw CliFailure(exit_transfer_failed, "status: the module's reply to cmd_get_status "
                                                   "did not arrive");
        break;
    }
    return status_;
}

bool ModuleLink::wait_for(ModuleForm form, std::chrono::milliseconds limit)
{
    constexpr std::chrono::milliseconds step{250};
    std::chrono::milliseconds waited{0};
    for (;;) {
        probe();
        if (status_.form == form) return true;
        release();
        if (waited >= limit) return false;
        pause_(step);
        waited += step;
    }
}

void ModuleLink::check(const ActionResult& r, const std::string& what) const
{
    const std::string refusal = tap_.last_refusal().empty() ? "" : "; " + tap_.last_refusal();
    switch (r.failure) {
    case ActionFailure::none: return;
    case ActionFailure::not_found: throw CliFailure(exit_not_found, what + ": module not found");
    case ActionFailure::bad_input: throw CliFailure(exit_file_problem, what + ": " + r.text);
    case ActionFailure::mismatch: throw CliFailure(exit_verify_mismatch, what + ": " + r.text);
    case ActionFailure::refused:
    case ActionFailure::short_reply: break;
    }
    throw CliFailure(exit_transfer_failed, what + ": " + r.text + refusal);
}

TransferProgress ModuleLink::begin_transfer(const std::string& label)
{
    tap_.forget_refusal();
    progress_.begin(label);
    return [this](std::size_t done, std::size_t total) { progress_.show(done, total); };
}

void ModuleLink::end_transfer() { progress_.end(); }
