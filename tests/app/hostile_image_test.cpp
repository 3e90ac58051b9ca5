// Writes of images whose every 64-byte block begins like a command frame (55 06 hand-over,
// 55 0D restart, 55 0C stop, 55 09 chunk begin ...), with each report of the action failing in
// turn, lost on the way or taken by the module and reported failed. The module must never take
// a command from image bytes, never change form, never store anything but what was sent, and
// must be in step for the next tick; the engineer sees either nothing (written and verified) or
// a failure message.
#include <algorithm>
#include <string>

#include "hostile_image.h"
#include "rig.h"

namespace {

enum class Target { config, rom, amt, kvp, ram, update };

struct HostileCase {
    const char* name;
    Target target;
    bool delivered;  // the failing report reaches the module before the call fails
};

std::ostream& operator<<(std::ostream& os, const HostileCase& c) { return os << c.name; }

// What one target writes and where the module keeps it.
struct Write {
    std::uint32_t address = 0;  // flash; 0 for RAM and the firmware
    Bytes image;                // as it must arrive
};

class HostileImages : public ::testing::TestWithParam<HostileCase> {
protected:
    std::unique_ptr<Rig> rig;
    Write w;

    void prepare()
    {
        const Target t = GetParam().target;
        if (t == Target::update) {
            rig = std::make_unique<Rig>(hostile_image(4096));
            rig->module.set_form(SimModule::Form::loader);
            rig->form.up_flag = true;
            w.image = rig->image_bytes;
            return;
        }
        rig = std::make_unique<Rig>(Rig::ApplicationFound{});
        TMainForm& f = rig->form;
        switch (t) {
        case Target::config: {
            f.params_array = {command_marker, cmd_update, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0, 0};
            ConfigBlock block = f.params_array;
            renew_config_checksum(block);
            w = {flash_config_address, config_page(block)};
            break;
        }
        case Target::rom: w = {flash_rom_address, f.MAT_array = hostile_image(rom_size)}; break;
        case Target::amt: w = {flash_amt_address, f.AMT_array = hostile_image(amt_size)}; break;
        case Target::kvp: w = {flash_kvp_address, f.KVP_array = hostile_image(kvp_size)}; break;
        case Target::ram: w = {0, f.RAM_array = hostile_image(ram_size)}; break;
        case Target::update: break;
        }
    }

    void run()
    {
        TMainForm& f = rig->form;
        switch (GetParam().target) {
        case Target::config: f.Button2Click(); break;
        case Target::rom: f.Button5Click(); break;
        case Target::amt: f.Button7Click(); break;
        case Target::kvp: f.Button9Click(); break;
        case Target::ram: f.Button4Click(); break;
        case Target::update: f.Timer1Timer(); break;
        }
    }

    Bytes flash()
    {
        const std::uint8_t* at = rig->module.flash_at(flash_rom_address);
        return Bytes(at, at + (flash_end_address - flash_rom_address));
    }
    Bytes bank(std::uint32_t selector)
    {
        const std::uint8_t* at = rig->module.ram_bank(selector);
        return Bytes(at, at + ram_size);
    }
    bool written() const
    {
        SimModule& m = rig->module;
        if (GetParam().target == Target::update)
            return m.updates_completed() >= 1 && m.last_update_image() == w.image;
        if (GetParam().target == Target::ram) return std::equal(w.image.begin(), w.image.end(), m.ram_bank(ram_bank_main));
        return std::equal(w.image.begin(), w.image.end(), m.flash_at(w.address));
    }

    // The module as the fault left it: in step, nothing taken from the image, nothing stored
    // but what was sent, and the outcome told truthfully.
    void expect_module_unharmed(const Bytes& flash_before, const Bytes& bank_before)
    {
        SimModule& m = rig->module;
        for (const SimCommand& c : m.commands())
            ASSERT_FALSE(from_hostile_image(c))
                << "a command was taken from image bytes: code " << int{c.code};
        for (const SimReport& r : m.placements())
            ASSERT_TRUE(r.placement != SimPlacement::end_frame || r.second == cmd_block_end)
                << "a frame of code " << int{r.second} << " was swallowed as a chunk's end";
        const Target t = GetParam().target;
        if (t == Target::update)
            EXPECT_TRUE(m.form() == SimModule::Form::loader || written());
        else
            EXPECT_EQ(m.form(), SimModule::Form::application);
        EXPECT_LE(m.restarts(), t == Target::ram ? 1u : 0u);

        // Flash: each 2 KiB page of the written range holds its old bytes or the image's;
        // nothing else changed.
        const Bytes now = flash();
        const std::size_t first = w.address ? w.address - flash_rom_address : now.size();
        const std::size_t last = first + (w.address ? w.image.size() : 0);
        for (std::size_t page = 0; page < now.size(); page += block_chunk_size) {
            const auto was = flash_before.begin() + static_cast<std::ptrdiff_t>(page);
            const auto is = now.begin() + static_cast<std::ptrdiff_t>(page);
            const bool same = std::equal(is, is + block_chunk_size, was);
            if (page < first || page >= last) {
                EXPECT_TRUE(same) << "page at 0x" << std::hex << flash_rom_address + page << " changed";
                continue;
            }
            const auto want = w.image.begin() + static_cast<std::ptrdiff_t>(page - first);
            EXPECT_TRUE(same || std::equal(is, is + block_chunk_size, want))
                << "page at 0x" << std::hex << flash_rom_address + page << " holds neither";
        }
        // A bank holds its old image or the whole new one; the reserve bank is never touched.
        const Bytes main = bank(ram_bank_main);
        EXPECT_TRUE(main == bank_before || (t == Target::ram && written()));
        EXPECT_EQ(bank(ram_bank_reserve), Bytes(ram_size, 0));

        const auto& messages = rig->view.messages;
        EXPECT_LE(messages.size(), 1u);
        if (messages.empty()) {
            // (A tick whose own exchanges failed leaves the update request standing.)
            const bool request_stands = t == Target::update && rig->form.up_flag;
            EXPECT_TRUE(written() || request_stands) << "silence means written and verified";
        } else {
            const std::string& text = messages.front().text;
            EXPECT_TRUE(text == write_failed_text || text == read_failed_text || text == verify_failed_text ||
                        text == update_cut_short_text)
                << text;
        }
        rig->expect_closed();
    }

    // The tick after the action: frames taken as frames, or nothing at all sent to a loader
    // that may wait for the rest of its image until it has been restarted.
    void expect_next_tick_clean()
    {
        SimModule& m = rig->module;
        if (rig->form.loader_awaits_image) {
            const std::size_t reports = rig->bus.reports();
            rig->form.Timer1Timer();
            EXPECT_EQ(rig->bus.reports(), reports) << "nothing goes to a loader waiting for image bytes";
            // The engineer switches the module off and on and presses "Обновить" again.
            m.power_cycle();
            rig->bus.remove_interface(rig->module_index);
            rig->form.Timer1Timer();
            rig->bus.restore_interface(rig->module_index);
            rig->form.Timer1Timer();
            // (A loader that got every byte after all comes back as the application, which
            // the click hands over to the loader again.)
            rig->form.Button3Click();
            rig->form.Timer1Timer();
            EXPECT_TRUE(written()) << "the second attempt streams the whole image";
        }
        if (rig->form.up_flag) {
            rig->form.Timer1Timer();
            EXPECT_TRUE(written()) << "a request that still stood streams in the next tick";
        }
        ASSERT_FALSE(m.mid_exchange()) << "the module still waits for data or an end frame";
        m.clear_placements();
        rig->form.Timer1Timer();
        ASSERT_FALSE(m.placements().empty());
        for (const SimReport& r : m.placements())
            EXPECT_EQ(r.placement, SimPlacement::command) << "the tick's frames are taken as frames";
        EXPECT_TRUE(rig->form.app_identity.found || rig->form.loader_identity.found);
    }
};

TEST_P(HostileImages, EveryFailedReportLeavesTheModuleInStep)
{
    std::size_t total = 0;
    {
        prepare();
        run();
        total = rig->bus.reports();
        ASSERT_TRUE(written()) << "the action without faults writes the image";
        ASSERT_TRUE(rig->view.messages.empty());
    }
    for (std::size_t n = 1; n <= total; ++n) {
        SCOPED_TRACE("report " + std::to_string(n) + " of " + std::to_string(total));
        prepare();
        const Bytes flash_before = flash();
        const Bytes bank_before = bank(ram_bank_main);
        if (GetParam().delivered)
            rig->bus.fail_report_delivered(n);
        else
            rig->bus.fail_report(n);
        run();
        expect_module_unharmed(flash_before, bank_before);
        expect_next_tick_clean();
        if (::testing::Test::HasFailure()) return;  // one broken position is enough to show
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, HostileImages,
    ::testing::Values(HostileCase{"config_lost", Target::config, false},
                      HostileCase{"config_delivered", Target::config, true},
                      HostileCase{"rom_lost", Target::rom, false},
                      HostileCase{"rom_delivered", Target::rom, true},
                      HostileCase{"amt_lost", Target::amt, false},
                      HostileCase{"amt_delivered", Target::amt, true},
                      HostileCase{"kvp_lost", Target::kvp, false},
                      HostileCase{"kvp_delivered", Target::kvp, true},
                      HostileCase{"ram_lost", Target::ram, false},
                      HostileCase{"ram_delivered", Target::ram, true},
                      HostileCase{"update_lost", Target::update, false},
                      HostileCase{"update_delivered", Target::update, true}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
