// Firmware update in two phases: the button asks the module's application to hand over to its
// loader; the first status tick that finds the loader streams the carried image to it.
#include <cstddef>
#include <span>

#include "app/Unit1.h"
#include "app/formats.h"
#include "app/held_module.h"
#include "module/actions.h"

void TMainForm::Button3Click()
{
    up_flag = true;
    // With the loader already on the bus the next tick streams; nothing to ask.
    if (loader_identity.found) return;
    HeldModule module(view_, hid_, HidHandle);
    // Without the application the request waits for a tick that finds the loader.
    if (module.open(app_identity)) hand_over_to_loader(module.handle());
}

void TMainForm::stream_update()
{
    view_.repaint();  // the status texts of this tick show during the transfer

    const std::size_t length = update_image_.data ? update_image_.size : 0;
    // An empty image has nothing to give the loader; announcing it would leave the loader
    // waiting for a firmware that never comes.
    if (length == 0) return;

    HeldModule module(view_, hid_, HidHandle, HeldModule::hourglass | HeldModule::progress_bar);
    if (!module.open(loader_identity)) return;
    view_.set_progress(0);
    stream_update_image(module.handle(), std::span(update_image_.data, length),
                        [this](std::size_t sent, std::size_t total) {
                            view_.set_progress(progress_percent(sent, total));
                        });
}
