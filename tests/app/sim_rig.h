// The main window's logic wired to the simulated module on the simulated bus, with a fake view:
// what the window tests drive and inspect.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/fake_view.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

// A command as the module received it, reduced to what the order tests compare.
struct Sent {
    std::uint8_t code;
    std::uint32_t word_a;
    bool to_loader;
    bool operator==(const Sent&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Sent& s)
{
    return os << "{" << int{s.code} << ", 0" << std::oct << s.word_a << std::dec
              << (s.to_loader ? ", loader}" : "}");
}

struct SimRig {
    explicit SimRig(std::vector<std::uint8_t> image = std::vector<std::uint8_t>(1000, 0x5A),
                    std::uint32_t image_version = 0x00043600)
        : image_bytes(std::move(image)),
          form(view, bus, CarriedImage{image_bytes.data(), image_bytes.size(), image_version})
    {
        module_index = bus.add_interface(module);
        form.FormCreate();
    }

    // Commands the module received since the last call.
    std::vector<Sent> take_commands()
    {
        std::vector<Sent> out;
        for (const auto& c : module.commands()) out.push_back({c.code, c.word_a, c.to_loader});
        module.clear_commands();
        return out;
    }

    // One status tick on the given page, returning the commands it sent.
    std::vector<Sent> tick_on(int page)
    {
        view.page = page;
        module.clear_commands();
        form.Timer1Timer();
        return take_commands();
    }

    // The status panel: connection, firmware version, loader version.
    std::array<std::string, 3> panel() const
    {
        return {view.get(Control::StaticText7), view.get(Control::StaticText8), view.get(Control::StaticText9)};
    }
    // Each control shows its text.
    void expect_texts(const std::vector<std::pair<Control, std::string>>& expected) const
    {
        for (const auto& [control, text] : expected) EXPECT_EQ(view.get(control), text) << control_name(control);
    }
    // The module closed again, the window's handle invalid and the cursor back to the arrow.
    void expect_closed() const
    {
        EXPECT_FALSE(form.HidHandle.valid());
        EXPECT_EQ(bus.open_handles(), 0u);
        EXPECT_EQ(view.cursor, CursorShape::normal);
    }
    template <typename Group>
    bool group_is(const Group& group, bool enabled) const
    {
        for (const Control c : group)
            if (view.enabled(c) != enabled) return false;
        return true;
    }

    std::vector<std::uint8_t> image_bytes;
    SimModule module;
    SimBus bus;
    FakeView view;
    TMainForm form;
    std::size_t module_index = 0;
};

// Command shorthands for the expected sequences.
inline Sent identify(bool to_loader = false) { return {cmd_identify, 0, to_loader}; }
inline Sent status(bool to_loader = false) { return {cmd_get_status, 0, to_loader}; }
inline Sent bus_read(std::uint16_t address) { return {cmd_bus_read, address, false}; }
inline Sent app_cmd(std::uint8_t code) { return {code, 0, false}; }

// Joins expected command sequences.
inline std::vector<Sent> operator+(std::vector<Sent> a, const std::vector<Sent>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A tick in application mode: the search, the status, then the given polls.
inline std::vector<Sent> app_tick(const std::vector<Sent>& polls = {})
{
    return std::vector<Sent>{identify(), status()} + polls;
}
using Panel = std::array<std::string, 3>;
