// The window's turns during long transfers: the link hands the view a turn between two
// reports once an action has held it for the interval, and in a turn neither a tick nor any
// handler runs, so the wire carries exactly what it carries without turns.
#include <gtest/gtest.h>

#include <chrono>

#include "app/keep_alive_hid.h"
#include "app/rig.h"
#include "sim/paced_hid.h"

namespace {

using namespace std::chrono_literals;

TEST(KeepAliveLink, ATurnComesOnlyAfterAReportOnceTheIntervalHasPassedSinceTheSearch)
{
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    std::chrono::steady_clock::duration pace = 1ms;
    PacedHid paced(bus, [&] { spin_for(pace); });
    int turns = 0;
    KeepAliveHid link(paced, [&] { ++turns; }, 20ms);
    DeviceIdentity app = make_app_identity();
    DeviceHandle h = open_device(link, app);
    ASSERT_TRUE(h.valid());
    EXPECT_EQ(turns, 0) << "a search and its handshake are a moment";

    // 100 reports of at least 1 ms each: a turn once 20 ms have passed, never more often.
    std::uint8_t report[65] = {};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) link.get_feature(h.id, report, sizeof report);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(turns, 4);
    EXPECT_LE(turns, (took + 5ms) / 20ms);  // the handshake's 2 ms count towards the first

    // With no interval, every report of a search's handshake and after it gives a turn.
    close_device(h);
    pace = 0ms;
    link.set_interval(0ms);
    turns = 0;
    const std::size_t reports_before = bus.reports();
    h = open_device(link, app);
    link.set_feature(h.id, report, sizeof report);
    link.get_feature(h.id, report, sizeof report);
    EXPECT_EQ(static_cast<std::size_t>(turns), bus.reports() - reports_before);
    EXPECT_GE(turns, 4);
    close_device(h);
}

// A long action of the window on the simulated module.
struct LongAction {
    const char* name;
    void (*run)(Rig&);
};

void stream_update(Rig& rig)
{
    rig.module.set_form(SimModule::Form::loader);
    rig.form.up_flag = true;
    rig.form.Timer1Timer();
}
void write_rom(Rig& rig)
{
    rig.form.MAT_array = pattern(rom_size, 7);
    rig.form.Button5Click();
}
void write_ram(Rig& rig)
{
    rig.form.RAM_array = pattern(ram_size, 8);
    rig.form.Button4Click();
}

class LongActions : public ::testing::TestWithParam<LongAction> {};

// Every turn tries a tick of each timer, a click, a pick and a page change. The module must
// receive the same commands and the same number of reports as without turns.
TEST_P(LongActions, TurnsComeDuringTheTransferAndRunNoTickOrHandler)
{
    auto prepare = [](Rig& rig) {
        rig.tick_on(page_config);  // the application found, as a button finds it
        rig.module.clear_commands();
        rig.view.keep_alives = 0;
    };
    Rig quiet(pattern(248488, 3));
    prepare(quiet);
    quiet.form.set_keep_alive_interval(24h);
    const std::size_t quiet_before = quiet.bus.reports();
    GetParam().run(quiet);
    const auto quiet_commands = quiet.take_commands();
    const std::size_t quiet_reports = quiet.bus.reports() - quiet_before;
    ASSERT_EQ(quiet.view.keep_alives, 0);

    Rig rig(pattern(248488, 3));
    prepare(rig);
    rig.form.set_keep_alive_interval(0ms);
    const auto params = rig.form.params_array;
    bool busy_in_every_turn = true;
    std::size_t reports_in_turns = 0;
    rig.view.on_keep_alive = [&] {
        busy_in_every_turn = busy_in_every_turn && rig.form.keeping_alive();
        const std::size_t before = rig.bus.reports();
        for (Control c : {Control::Timer1, Control::Timer2, Control::Button1, Control::Button10})
            rig.form.click(c);
        rig.form.change(Control::ComboBox1);
        rig.form.change(Control::PageControl1);
        reports_in_turns += rig.bus.reports() - before;
    };
    const std::size_t before = rig.bus.reports();
    GetParam().run(rig);
    rig.view.on_keep_alive = nullptr;

    EXPECT_EQ(rig.take_commands(), quiet_commands);
    EXPECT_EQ(rig.bus.reports() - before, quiet_reports);
    EXPECT_EQ(reports_in_turns, 0u);
    // A turn after each report of the action but those of its search.
    EXPECT_GE(static_cast<std::size_t>(rig.view.keep_alives), quiet_reports - 4);
    EXPECT_TRUE(busy_in_every_turn);
    EXPECT_FALSE(rig.form.keeping_alive());
    EXPECT_EQ(rig.form.params_array, params);
    EXPECT_TRUE(rig.view.errors.empty());
    rig.expect_closed();

    // Once the action is over, a tick runs again.
    rig.module.set_form(SimModule::Form::application);
    rig.form.click(Control::Timer1);
    EXPECT_FALSE(rig.take_commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Window, LongActions,
                         ::testing::Values(LongAction{"FirmwareStream", stream_update},
                                           LongAction{"RomWrite", write_rom},
                                           LongAction{"RamWrite", write_ram}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
