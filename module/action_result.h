// What a module action reports: done, or what failed and at which exchange of its sequence.
#pragma once

#include <string>

enum class ActionFailure {
    none,
    not_found,    // no module interface of the wanted form answered the search
    refused,      // a command frame or a data report was not taken
    short_reply,  // a reply did not arrive whole
    bad_input,    // the caller's data cannot be sent (an empty update image); nothing was sent
    mismatch,     // flash read back after a write differs from what was written
};

struct ActionResult {
    ActionFailure failure = ActionFailure::none;
    // The failing exchange, counted from 1 in the action's sequence (each command frame, each
    // data transfer and each reply is one exchange); 0 when nothing failed or nothing was found.
    int exchange = 0;
    // For logs: what failed, in a line; may also note a side step that failed after a complete
    // action (a CNC start after a read, say).
    std::string text;
    // A step after the complete action was refused (the CNC start after a RAM read): the
    // action's own data is good, but the module was not left as asked.
    bool follow_up_refused = false;
    // A transfer could not be completed and the module may still take every report as its
    // data (a firmware image cut short: the loader waits for the rest). Nothing may be sent
    // to the module until it has restarted.
    bool awaits_data = false;

    bool ok() const { return failure == ActionFailure::none; }
    explicit operator bool() const { return ok(); }
};
