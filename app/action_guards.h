// Guards shared by the device actions of the window's pages: the module is held open for
// exactly one action and the hourglass shows only while a transfer runs, on every way out of
// the handler (early returns and exceptions included).
#pragma once

#include "app/view.h"
#include "device/device.h"

// Opens the module into the window's HidHandle for one action and closes it again (HidHandle
// back to the invalid handle) when the action ends.
class ModuleSession {
public:
    ModuleSession(DeviceHandle& slot, Hid& hid, DeviceIdentity& identity) : slot_(slot)
    {
        slot_ = open_device(hid, identity);
    }
    ~ModuleSession() { close(); }
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    bool opened() const { return slot_.valid(); }
    DeviceHandle handle() const { return slot_; }
    void close() { close_device(slot_); }

private:
    DeviceHandle& slot_;
};

// Shows the hourglass while it lives; the normal arrow returns when it ends.
class HourglassCursor {
public:
    explicit HourglassCursor(View& view) : view_(view) { view_.set_cursor(CursorShape::hourglass); }
    ~HourglassCursor() { view_.set_cursor(CursorShape::normal); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;

private:
    View& view_;
};
