// The main window's logic wired to the simulated module on the simulated bus, with a fake view:
// what every window test drives and inspects.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/Unit1.h"
#include "app/control_groups.h"
#include "app/fake_view.h"
#include "scratch_folder.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

using Bytes = std::vector<std::uint8_t>;

inline Bytes read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& p, const Bytes& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that differ from their neighbours and from the buffers' start-up fill.
inline Bytes pattern(std::size_t n, std::uint32_t seed)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
}

// A command as the module received it, reduced to what the order tests compare.
struct Sent {
    std::uint8_t code;
    std::uint32_t word_a = 0;
    std::uint32_t word_b = 0;
    bool to_loader = false;
    bool operator==(const Sent&) const = default;
};
using Frames = std::vector<Sent>;

inline std::ostream& operator<<(std::ostream& os, const Sent& s)
{
    return os << "{" << int{s.code} << ", 0" << std::oct << s.word_a << std::dec << ", " << s.word_b
              << (s.to_loader ? ", loader}" : "}");
}

// Whether a message with the module's caption and this text came up.
inline bool module_message_shown(const FakeView& view, const char* text)
{
    for (const auto& m : view.messages)
        if (m.caption == module_caption && m.text == text) return true;
    return false;
}

struct Rig {
    // The window as it starts: created, carrying this image, no tick yet.
    explicit Rig(std::vector<std::uint8_t> image = std::vector<std::uint8_t>(1000, 0x5A),
                 std::uint32_t image_version = 0x00043600)
        : image_bytes(std::move(image)),
          form(view, bus, CarriedImage{image_bytes.data(), image_bytes.size(), image_version})
    {
        module_index = bus.add_interface(module);
        form.FormCreate();
    }
    // The window as a page's button finds it: the status monitor has found the application;
    // no image carried.
    struct ApplicationFound {};
    explicit Rig(ApplicationFound) : form(view, bus, CarriedImage{})
    {
        module_index = bus.add_interface(module);
        form.app_identity.found = true;
    }

    // Commands the module received since the last call.
    std::vector<Sent> take_commands()
    {
        std::vector<Sent> out;
        for (const auto& c : module.commands()) out.push_back({c.code, c.word_a, c.word_b, c.to_loader});
        module.clear_commands();
        return out;
    }
    // The commands the module received, without the identify handshakes of the searches.
    std::vector<SimCommand> sent() const
    {
        std::vector<SimCommand> out;
        for (const auto& c : module.commands())
            if (c.code != cmd_identify) out.push_back(c);
        return out;
    }
    Frames frames() const
    {
        Frames out;
        for (const auto& c : sent()) out.push_back({c.code, c.word_a, c.word_b, c.to_loader});
        return out;
    }
    std::vector<std::uint8_t> sent_codes() const
    {
        std::vector<std::uint8_t> out;
        for (const auto& c : sent()) out.push_back(c.code);
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
    bool message_shown(const char* text) const { return module_message_shown(view, text); }

    std::vector<std::uint8_t> image_bytes;
    SimModule module;  // outlives the bus that serves it
    SimBus bus;
    FakeView view;
    TMainForm form;
    std::size_t module_index = 0;
};

// The tests of the configuration, image and output pages: the window as a button finds it,
// and a scratch folder for image files.
class PagesTest : public ::testing::Test, public Rig {
protected:
    ScratchFolder scratch{"lirvan-pages-"};
    std::filesystem::path dir = scratch.path();

    PagesTest() : Rig(ApplicationFound{}) {}

    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// Command shorthands for the expected sequences.
inline Sent identify(bool to_loader = false) { return {cmd_identify, 0, 0, to_loader}; }
inline Sent status(bool to_loader = false) { return {cmd_get_status, 0, 0, to_loader}; }
inline Sent bus_read(std::uint16_t address) { return {cmd_bus_read, address}; }
inline Sent app_cmd(std::uint8_t code) { return {code}; }
inline Sent loader_cmd(std::uint8_t code) { return {code, 0, 0, true}; }

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
