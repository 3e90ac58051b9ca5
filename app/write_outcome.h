// What the engineer is told after a write to the module: nothing when the module took it and
// (for flash) the read-back matched; otherwise the one message that says what went wrong.
#pragma once

#include "app/texts.h"
#include "app/view.h"
#include "module/actions.h"

inline void show_write_outcome(View& view, const VerifiedWrite& result)
{
    if (!result.write)
        view.show_message(module_caption, write_failed_text);
    else if (result.verify.outcome.failure == ActionFailure::mismatch)
        view.show_message(module_caption, verify_failed_text);
    else if (!result.verify.matches())
        view.show_message(module_caption, read_failed_text);  // written, but not confirmed
}
