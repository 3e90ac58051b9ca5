// The window's logic wired to the simulated module on the simulated bus, with a fake view and
// a scratch folder for image files: what the tests of the configuration, image and output
// pages share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/fake_view.h"
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

// A command frame as the module received it: code, word_a, word_b.
struct Frame {
    std::uint8_t code;
    std::uint32_t word_a, word_b;
    bool operator==(const Frame&) const = default;
};
using Frames = std::vector<Frame>;

inline std::ostream& operator<<(std::ostream& os, const Frame& f)
{
    return os << "{" << int{f.code} << ", 0x" << std::hex << f.word_a << ", " << std::dec << f.word_b << "}";
}

// Whether a message with the module's caption and this text came up.
inline bool module_message_shown(const FakeView& view, const char* text)
{
    for (const auto& m : view.messages)
        if (m.caption == module_caption && m.text == text) return true;
    return false;
}

class PagesTest : public ::testing::Test {
protected:
    SimModule module;  // outlives the bus that serves it
    SimBus bus;
    FakeView view;
    TMainForm form{view, bus, CarriedImage{}};
    std::filesystem::path dir;

    PagesTest()
    {
        bus.add_interface(module);
        form.app_identity.found = true;  // as the status monitor leaves it with the module present
        dir = std::filesystem::temp_directory_path() /
              ("lirvan-pages-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(dir);
    }
    ~PagesTest() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string file(const std::string& name) const { return (dir / name).string(); }

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
        for (const auto& c : sent()) out.push_back({c.code, c.word_a, c.word_b});
        return out;
    }
    std::vector<std::uint8_t> sent_codes() const
    {
        std::vector<std::uint8_t> out;
        for (const auto& c : sent()) out.push_back(c.code);
        return out;
    }

    // Every device action leaves the module closed and the window's handle invalid.
    void expect_closed() const
    {
        EXPECT_EQ(bus.open_handles(), 0u);
        EXPECT_FALSE(form.HidHandle.valid());
        EXPECT_EQ(view.cursor, CursorShape::normal);
    }

    bool message_shown(const char* text) const { return module_message_shown(view, text); }
};
