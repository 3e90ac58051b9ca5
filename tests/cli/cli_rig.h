// lirvan-cli driven in-process against the simulated module on a simulated bus: the command's
// exit code, what it printed, and a scratch folder for its files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/platform.h"
#include "sim/sim_bus.h"
#include "scratch_folder.h"
#include "sim/sim_module.h"

namespace fs = std::filesystem;

struct CliRig {
    SimModule module;
    ForeignDevice keyboard{0x046D, 0xC31C};
    SimBus bus;
    std::size_t module_index = 0;
    Hid* hid = &bus;  // what the command line talks to; a test may put a decorator here
    std::chrono::milliseconds waited{0};  // all that the command line waited so far
    std::function<void()> on_pause;       // runs after each wait, for what happens meanwhile
    std::function<std::chrono::microseconds()> clock;  // a trace's clock; unset: the system's
    std::ostringstream out, err;
    ScratchFolder scratch{"lirvan-cli-test-"};
    fs::path dir = scratch.path();
    std::vector<std::uint8_t> firmware = std::vector<std::uint8_t>(1500, 0x5A);
    std::uint32_t firmware_version = 0x00043600;

    CliRig()
    {
        bus.add_interface(keyboard);
        module_index = bus.add_interface(module);
    }

    int run(const std::vector<std::string>& args)
    {
        out.str({});
        err.str({});
        CliEnv env(out, err);
        env.hid = hid;
        env.pause = [this](std::chrono::milliseconds ms) {
            module.advance_ms(static_cast<std::uint32_t>(ms.count()));
            waited += ms;
            if (on_pause) on_pause();
        };
        env.clock = clock;
        env.firmware = CarriedImage{firmware.data(), firmware.size(), firmware_version};
        return run_cli(args, env);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    void write_file(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream f(dir / name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<std::uint8_t> file(const std::string& name) const
    {
        std::ifstream f(dir / name, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
    }

    std::vector<std::uint8_t> flash(std::uint32_t address, std::size_t size)
    {
        const std::uint8_t* p = module.flash_at(address);
        return std::vector<std::uint8_t>(p, p + size);
    }

    // Names in the scratch folder, hidden ones (temporary files) included.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Bytes i*step+offset, none of them 0xFF (erased flash), so every byte of a write shows.
inline std::vector<std::uint8_t> pattern(std::size_t size, unsigned step, unsigned offset)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * step + offset) % 251);
    return bytes;
}
