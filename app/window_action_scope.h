// The scope of one action of the window on the module, the one way the window holds it: the
// module's hold (a ModuleHold in TMainForm's HidHandle) and the wait the window shows meanwhile
// (the hourglass, the progress bar). On every way out of the action (early returns and exceptions included) the module is closed, the
// HidHandle is the invalid handle again, the arrow cursor is back and, where asked, the
// progress bar is back at 0 (after a module was held).
#pragma once

#include "app/view.h"
#include "module/module_hold.h"

class WindowActionScope {
public:
    enum Shows : unsigned {
        arrow = 0,         // the cursor is only brought back to the arrow at the end
        hourglass = 1,     // the hourglass shows from the start of the action to its end
        progress_bar = 2,  // the progress bar goes back to 0 at the end
    };

    WindowActionScope(View& view, Hid& hid, DeviceHandle& slot, unsigned shows = arrow)
        : view_(view), hold_(hid, slot), shows_(shows)
    {
        if (shows_ & hourglass) view_.set_cursor(CursorShape::hourglass);
    }
    ~WindowActionScope() { release(); }
    WindowActionScope(const WindowActionScope&) = delete;
    WindowActionScope& operator=(const WindowActionScope&) = delete;

    bool open(DeviceIdentity& identity) { return hold_.open(identity); }
    DeviceHandle handle() const { return hold_.handle(); }
    ModuleHold& hold() { return hold_; }
    // Closes the module now; the cursor and the bar wait for the end of the action.
    void close() { hold_.close(); }
    // Ends the action now: the module closed, the cursor and (where asked) the bar back.
    void release()
    {
        if (released_) return;
        released_ = true;
        hold_.close();
        if ((shows_ & progress_bar) && hold_.held_any()) view_.set_progress(0);
        view_.set_cursor(CursorShape::normal);
    }

private:
    View& view_;
    ModuleHold hold_;
    unsigned shows_;
    bool released_ = false;
};
