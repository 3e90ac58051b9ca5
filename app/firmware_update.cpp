// Firmware update in two phases: the button asks the module's application to hand over to its
// loader; the first status tick that finds the loader streams the carried image to it.
#include <cstddef>
#include <span>

#include "app/Unit1.h"
#include "app/formats.h"
#include "app/window_action_scope.h"
#include "app/texts.h"
#include "module/actions.h"

void TMainForm::Button3Click()
{
    if (!carries_update()) return;
    // With the loader already on the bus the next tick streams; nothing to ask.
    if (loader_identity.found) {
        up_flag = true;
        return;
    }
    // Otherwise the request stands only once the application has taken the hand-over: a
    // request that nobody took would fire at whatever loader turns up later.
    WindowActionScope module(view_, hid_, HidHandle);
    if (module.open(app_identity) && hand_over_to_loader(module.handle())) up_flag = true;
}

void TMainForm::stream_update()
{
    view_.repaint();  // the status texts of this tick show during the transfer

    const std::size_t length = update_image_.data ? update_image_.size : 0;
    // An empty image has nothing to give the loader; announcing it would leave the loader
    // waiting for a firmware that never comes.
    if (length == 0) return;

    ActionResult streamed;
    {
        WindowActionScope module(view_, hid_, HidHandle, WindowActionScope::hourglass | WindowActionScope::progress_bar);
        // The request is spent: a loader that went away meanwhile is told as a failed update,
        // which the engineer can start again.
        if (!module.open(loader_identity)) {
            module.release();
            view_.show_message(module_caption, write_failed_text);
            return;
        }
        view_.set_progress(0);
        streamed = stream_update_image(module.handle(), std::span(update_image_.data, length),
                                       [this](std::size_t sent, std::size_t total) {
                                           view_.set_progress(progress_percent(sent, total));
                                       });
    }
    if (streamed) return;
    // Set before the box: the ticks that run while it is open must already leave the loader be.
    loader_awaits_image = streamed.awaits_data;
    view_.show_message(module_caption, streamed.awaits_data ? update_cut_short_text : write_failed_text);
}
