// The window's turns during long transfers: once an action has held the link for the interval,
// the view gets a turn between two reports, and in a turn neither a tick nor any handler runs,
// so the wire carries exactly what it carries without turns; the input of a transfer that gave
// turns is thrown away once at its end.
#include <gtest/gtest.h>

#include <chrono>

#include "app/rig.h"

namespace {

using namespace std::chrono_literals;

struct LongAction {
    const char* name;
    void (*run)(Rig&);
};

class LongActions : public ::testing::TestWithParam<LongAction> {};

// Every turn tries a tick of each timer, clicks, a pick and a page change.
TEST_P(LongActions, TurnsComeBetweenTheReportsAndRunNoTickOrHandler)
{
    Rig quiet(pattern(248488, 3)), rig(pattern(248488, 3));
    for (Rig* r : {&quiet, &rig}) {
        r->tick_on(page_config);  // the application found, as a button finds it
        EXPECT_EQ(r->view.keep_alives, 0) << "a tick is a moment";
        r->module.clear_commands();
    }
    quiet.form.set_keep_alive_interval(24h);
    GetParam().run(quiet);
    rig.form.set_keep_alive_interval(0ms);
    std::size_t reports_in_turns = 0;
    bool busy_in_every_turn = true;
    rig.view.on_keep_alive = [&] {
        busy_in_every_turn = busy_in_every_turn && rig.form.keeping_alive();
        const std::size_t before = rig.bus.reports();
        for (Control c : {Control::Timer1, Control::Timer2, Control::Button1, Control::Button10}) rig.form.click(c);
        for (Control c : {Control::ComboBox1, Control::PageControl1}) rig.form.change(c);
        reports_in_turns += rig.bus.reports() - before;
    };
    GetParam().run(rig);
    rig.view.on_keep_alive = nullptr;

    EXPECT_EQ(rig.take_commands(), quiet.take_commands());
    EXPECT_EQ(rig.bus.reports(), quiet.bus.reports());
    EXPECT_EQ(reports_in_turns, 0u);
    EXPECT_GE(static_cast<std::size_t>(rig.view.keep_alives), quiet.bus.reports() / 2);
    EXPECT_TRUE(busy_in_every_turn);
    EXPECT_EQ(rig.form.params_array, quiet.form.params_array);
    // What the user did meanwhile is thrown away once, when the handler ends; a handler that
    // gave no turn throws nothing away.
    EXPECT_EQ(quiet.view.input_drops, 0);
    EXPECT_EQ(rig.view.input_drops, 1);
    rig.expect_closed();
    rig.form.set_keep_alive_interval(24h);
    rig.form.click(Control::Timer1);  // over: a tick runs again, and throws nothing away
    EXPECT_FALSE(rig.take_commands().empty());
    EXPECT_EQ(rig.view.input_drops, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Window, LongActions,
    ::testing::Values(LongAction{"FirmwareStream",
                                 [](Rig& r) {
                                     r.module.set_form(SimModule::Form::loader);
                                     r.form.up_flag = true;
                                     r.form.click(Control::Timer1);
                                 }},
                      LongAction{"RomWrite", [](Rig& r) { r.form.click(Control::Button5); }},
                      LongAction{"RamWrite", [](Rig& r) { r.form.click(Control::Button4); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
