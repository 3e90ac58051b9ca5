// The exchanges of one action on a held handle, counted, with the first failure kept for the
// action's result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device.h"
#include "module/action_result.h"

class ExchangeSequence {
public:
    explicit ExchangeSequence(DeviceHandle h) : handle_(h) {}

    bool found() const { return handle_.valid(); }

    bool command(const char* what, std::uint8_t code, std::uint32_t a = 0, std::uint32_t b = 0,
                 std::uint32_t c = 0)
    {
        return note(send_command(handle_, code, a, b, c), ActionFailure::refused, what);
    }
    bool data(const char* what, const std::uint8_t* bytes, std::size_t length)
    {
        return note(send_data(handle_, bytes, length), ActionFailure::refused, what);
    }
    // As data(); `accepted` tells how many data reports went through.
    bool data(const char* what, const std::uint8_t* bytes, std::size_t length, std::size_t& accepted,
              const TransferProgress& progress = {})
    {
        return note(send_data(handle_, bytes, length, accepted, progress), ActionFailure::refused, what);
    }
    bool reply(const char* what, std::uint8_t* bytes, std::size_t length,
               const TransferProgress& progress = {})
    {
        return note(receive_data(handle_, bytes, length, progress), ActionFailure::short_reply, what);
    }
    bool block(const char* what, const std::uint8_t* bytes, std::size_t length, std::uint32_t address,
               const TransferProgress& progress = {})
    {
        return note(write_block(handle_, bytes, length, address, progress), ActionFailure::refused, what);
    }

    // Not found when the handle is invalid, else the first failure, else success.
    ActionResult result() const
    {
        if (!found()) return {ActionFailure::not_found, 0, "module not found"};
        return first_;
    }
    // Adds a note on what the failure left behind to the failure's text.
    void explain(const std::string& note)
    {
        if (!first_.ok()) first_.text += "; " + note;
    }

private:
    bool note(bool ok, ActionFailure kind, const char* what)
    {
        ++count_;
        if (!ok && first_.ok()) {
            first_.failure = kind;
            first_.exchange = count_;
            first_.text = std::string(what) +
                          (kind == ActionFailure::short_reply ? ": reply short or missing"
                                                              : ": refused") +
                          " (exchange " + std::to_string(count_) + ")";
        }
        return ok;
    }

    DeviceHandle handle_;
    int count_ = 0;
    ActionResult first_;
};
