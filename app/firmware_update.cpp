// Firmware update in two phases: the button asks the module's application to hand over to its
// loader; the first status tick that finds the loader streams the carried image to it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "app/Unit1.h"
#include "app/formats.h"

void TMainForm::Button3Click()
{
    up_flag = true;
    // With the loader already on the bus the next tick streams; nothing to ask.
    if (loader_identity.found) return;
    HidHandle = open_device(hid_, app_identity);
    if (!HidHandle.valid()) return;  // the request waits for a tick that finds the loader
    send_command(HidHandle, cmd_update);
    close_device(HidHandle);
}

namespace {

// Leaves the progress bar at 0, the handle closed and the cursor at its default on every way
// out of the streaming routine, an exception included.
class StreamGuard {
public:
    StreamGuard(DeviceHandle& handle, View& view) : handle_(handle), view_(view) {}
    StreamGuard(const StreamGuard&) = delete;
    StreamGuard& operator=(const StreamGuard&) = delete;
    ~StreamGuard()
    {
        if (handle_.valid()) {
            close_device(handle_);
            view_.set_progress(0);
        }
        view_.set_cursor(CursorShape::normal);
    }

private:
    DeviceHandle& handle_;
    View& view_;
};

}  // namespace

void TMainForm::stream_update()
{
    view_.repaint();  // the status texts of this tick show during the transfer

    const std::uint8_t* image = update_image_.data;
    const std::size_t length = image ? update_image_.size : 0;
    // An empty image has nothing to give the loader; announcing it would leave the loader
    // waiting for a firmware that never comes.
    if (length == 0) return;

    view_.set_cursor(CursorShape::hourglass);
    StreamGuard guard(HidHandle, view_);
    HidHandle = open_device(hid_, loader_identity);
    if (!HidHandle.valid()) return;

    view_.set_progress(0);
    const auto length32 = static_cast<std::uint32_t>(length);
    if (!send_command(HidHandle, cmd_update, length32, length32 / 65536, 0)) return;

    // 512-byte pieces; the loop ends after the first shorter piece, which is empty when the
    // length is a multiple of 512 (then nothing is sent for it).
    std::size_t sent = 0;
    std::size_t piece = 0;
    do {
        piece = std::min(length - sent, update_piece_size);
        if (!send_data(HidHandle, image + sent, piece)) break;
        sent += piece;
        view_.set_progress(progress_percent(sent, length));
    } while (piece == update_piece_size);
}
