// Holds one open module interface for one action and closes it on every way out. The handle
// lives in a slot the holder is given (the window keeps it in its HidHandle) or in its own.
#pragma once

#include "device/device.h"

class ModuleHold {
public:
    ModuleHold(Hid& hid, DeviceHandle& slot) : hid_(hid), slot_(slot) {}
    explicit ModuleHold(Hid& hid) : hid_(hid), slot_(own_) {}
    ~ModuleHold() { close(); }
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;

    // Searches for the given form of the module (setting identity.found) and holds the first
    // interface that passes; a handle held before is closed first.
    bool open(DeviceIdentity& identity)
    {
        close();
        slot_ = open_device(hid_, identity);
        held_any_ = held_any_ || slot_.valid();
        return slot_.valid();
    }
    // Closes the held interface, if any; the slot is the invalid handle afterwards.
    void close() { close_device(slot_); }

    bool opened() const { return slot_.valid(); }
    // Whether any search of this holder found the module.
    bool held_any() const { return held_any_; }
    DeviceHandle handle() const { return slot_; }

private:
    Hid& hid_;
    DeviceHandle own_{};
    DeviceHandle& slot_;
    bool held_any_ = false;
};
