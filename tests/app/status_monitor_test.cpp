// Status ticks against the simulated module: the three modes, the polls of every page in their
// exact order and what each control shows, the CNC state, counters, volts, the external DAC
// mode by page, and a module that fails or vanishes in the middle of a tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

#include "app/texts.h"
#include "app/rig.h"

namespace {

using V = std::vector<Sent>;

const V ke_bfos_reads{bus_read(0170461), bus_read(0170463), bus_read(0170465),
                      bus_read(0170467), bus_read(0170462), bus_read(0170464)};
const V dac_reads{bus_read(0170500), bus_read(0170501), bus_read(0170502), bus_read(0170503)};
const Panel no_module{"не подключен", "н/д", "н/д"};

class Monitor : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_NUMERIC, "C"); }
    // A module with the CNC stopped and inputs pinned, so every text is predictable.
    void stopped_cnc() { rig.module.set_cpu_running(false); }
    // Registers of the module's bus, by address and value.
    void registers(std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> values)
    {
        for (const auto& [address, value] : values) module.set_bus_register(address, value);
    }
    Rig rig;
    FakeView& view = rig.view;
    SimModule& module = rig.module;
};

// --- modes ---

TEST_F(Monitor, NoModuleDisablesEverythingAndSendsNothing)
{
    rig.bus.remove_interface(rig.module_index);
    ForeignDevice mouse(0x046D, 0xC077);
    rig.bus.add_interface(mouse);
    view.set_text(Control::StaticText7, "подключен");
    view.set_text(Control::StaticText8, "4.36");

    rig.form.Timer1Timer();

    EXPECT_EQ(rig.panel(), no_module);
    EXPECT_TRUE(rig.group_is(device_action_buttons, false));
    EXPECT_TRUE(rig.group_is(output_check_boxes, false));
    EXPECT_TRUE(rig.group_is(dac_value_edits, false));
    EXPECT_TRUE(module.commands().empty());
    EXPECT_EQ(mouse.sets(), 0u);
    EXPECT_FALSE(rig.form.app_identity.found);
    EXPECT_FALSE(rig.form.loader_identity.found);
}

TEST_F(Monitor, AModuleThatMayNotBeOpenedIsNamedAndExplainedOnce)
{
    // A refusing interface whose ids the listing does not tell says nothing of the module:
    // without the udev rule every node refuses.
    ForeignDevice keyboard(0x046D, 0xC31C);
    const std::size_t keyboard_index = rig.bus.add_interface(keyboard, report_length, false);
    rig.bus.set_open_refused(keyboard_index, true);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel()[0], "подключен");

    rig.bus.set_open_refused(rig.module_index, true);
    rig.form.Timer1Timer();
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel(), (Panel{"нет доступа", "н/д", "н/д"}));
    EXPECT_TRUE(rig.group_is(device_action_buttons, false));
    ASSERT_EQ(view.messages.size(), 1u) << "once per run";
    EXPECT_EQ(view.messages[0].caption, "ЛИРВАН НЦ-31");
    EXPECT_NE(view.messages[0].text.find("sudo cmake --install build"), std::string::npos);
    EXPECT_NE(view.messages[0].text.find("переподключите"), std::string::npos);

    // The rule installed and the module replugged: it answers again.
    rig.bus.set_open_refused(rig.module_index, false);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel()[0], "подключен");
    rig.bus.remove_interface(rig.module_index);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel(), no_module);
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(Monitor, AModuleHeldByAnotherProgramIsShownBusyAndGetsNoReport)
{
    rig.form.Timer1Timer();
    ASSERT_EQ(rig.panel()[0], "подключен");
    const std::size_t reports_before = rig.bus.reports_to(rig.module_index);
    module.clear_commands();

    rig.bus.set_held_elsewhere(rig.module_index, true);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel(), (Panel{"занят другой программой", "н/д", "н/д"}));
    EXPECT_TRUE(rig.group_is(device_action_buttons, false));
    EXPECT_TRUE(rig.group_is(output_check_boxes, false));
    EXPECT_TRUE(rig.group_is(dac_value_edits, false));
    EXPECT_EQ(rig.bus.reports_to(rig.module_index), reports_before) << "not even cmd_identify";
    EXPECT_TRUE(view.messages.empty());

    // Let go: the next tick carries on as before, every report under this program's claim.
    rig.bus.set_held_elsewhere(rig.module_index, false);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.panel()[0], "подключен");
    EXPECT_TRUE(rig.group_is(device_action_buttons, true));
    EXPECT_EQ(rig.bus.unclaimed_reports(), 0u);
}

TEST_F(Monitor, ApplicationModeShowsItsFirmwareVersion)
{
    module.set_firmware_version(0x00043600);
    EXPECT_EQ(rig.tick_on(page_config), app_tick());
    EXPECT_EQ(rig.panel(), (Panel{"подключен", "4.36", "н/д"}));
    EXPECT_EQ(rig.form.app_identity.firmware_version, 0x00043600u);
    EXPECT_TRUE(rig.group_is(device_action_buttons, true));
    rig.expect_closed();
}

TEST_F(Monitor, LoaderModeShowsBothVersionsThenTheApplicationTakesOver)
{
    module.set_form(SimModule::Form::loader);
    module.set_loader_version(0x00010203);
    module.set_firmware_version(0x00043600);
    // The application's search meets the loader and turns it down; the loader's search finds it.
    EXPECT_EQ(rig.tick_on(page_ke_bfos),
              (V{identify(true), identify(true), status(true), loader_cmd(cmd_get_loader_info)}));
    EXPECT_EQ(rig.panel(), (Panel{"загрузчик", "4.36", "1.2.3."}));
    EXPECT_TRUE(rig.form.loader_identity.found);
    EXPECT_FALSE(rig.form.app_identity.found);
    EXPECT_TRUE(rig.group_is(device_action_buttons, true));
    rig.expect_closed();

    module.set_form(SimModule::Form::application);
    module.set_firmware_version(0x00043700);
    rig.tick_on(page_config);
    EXPECT_EQ(rig.panel(), (Panel{"подключен", "4.37", "н/д"}));
    EXPECT_FALSE(rig.form.loader_identity.found);
}

// --- polls by page ---

TEST_F(Monitor, PagesWithoutRegistersPollNothing)
{
    stopped_cnc();
    for (int page : {page_config, page_rom, page_amt, page_kvp, page_ram, page_network})
        EXPECT_EQ(rig.tick_on(page), app_tick()) << "page " << page;
}

TEST_F(Monitor, KeBfosPageReadsInputsThenOutputs)
{
    registers({{bus_inputs_1, 0x8001}, {bus_inputs_2, 0x0001}, {bus_inputs_3, 0xFFFF},
               {bus_inputs_4, 0x0000}, {bus_outputs_1, 0x00F0}, {bus_outputs_2, 0x0008}});

    EXPECT_EQ(rig.tick_on(page_ke_bfos), app_tick(ke_bfos_reads));
    rig.expect_texts({
        {Control::StaticText29, "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 "}, {Control::StaticText35, "100001"},
        {Control::StaticText36, "000001"},
        {Control::StaticText31, "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 "}, {Control::StaticText37, "177777"},
        {Control::StaticText32, "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "}, {Control::StaticText38, "000000"},
        {Control::StaticText33, "0 0 0 0 0 0 0 0 1 1 1 1 0 0 0 0 "}, {Control::StaticText39, "000360"},
        {Control::StaticText40, "000010"},
    });
    // The "Контроллер ЭА" page is not on view and is not refreshed.
    EXPECT_EQ(view.get(Control::StaticText67), "");
}

TEST_F(Monitor, KipBosPageAddsCounterStepsWhileTheCncIsStopped)
{
    stopped_cnc();
    registers({{bus_kip_outputs, 0x0005}, {bus_counter_kip1, 0xFFFE}, {bus_counter_kip2, 0x7FFF},
               {bus_counter_kip3, 0x8000}, {bus_counter_kip4, 0x0003}});

    EXPECT_EQ(rig.tick_on(page_kip_bos), app_tick({bus_read(0170520), bus_read(0170521), bus_read(0170522),
                                                   bus_read(0170523), bus_read(0170524)}));
    EXPECT_EQ(view.get(Control::StaticText41), "0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 1 ");
    EXPECT_EQ(view.get(Control::StaticText42), "000005");
    EXPECT_EQ(rig.form.KIP1, -2);
    EXPECT_EQ(rig.form.KIP2, 32767);
    EXPECT_EQ(rig.form.KIP3, -32768);
    EXPECT_EQ(rig.form.KIP4, 3);
    rig.expect_texts({
        {Control::StaticText43, "-2"}, {Control::StaticText44, "32767"},
        {Control::StaticText45, "-32768"}, {Control::StaticText46, "3"},
    });

    // Totals keep growing from the counts handed over at each read.
    module.add_counts(1, -2);
    module.add_counts(2, 32767);
    rig.tick_on(page_kip_bos);
    EXPECT_EQ(rig.form.KIP1, -4);
    EXPECT_EQ(rig.form.KIP2, 65534);
    EXPECT_EQ(rig.form.KIP3, -32768);
    EXPECT_EQ(view.get(Control::StaticText43), "-4");
    EXPECT_EQ(view.get(Control::StaticText44), "65534");
}

TEST_F(Monitor, KipBosPageIsNotPolledWhileTheCncRuns)
{
    module.set_cpu_running(true);
    module.add_counts(1, 7);
    view.set_text(Control::StaticText43, "12");
    rig.form.KIP1 = 12;
    EXPECT_EQ(rig.tick_on(page_kip_bos), app_tick());
    EXPECT_EQ(rig.form.KIP1, 12);
    EXPECT_EQ(view.get(Control::StaticText43), "12");
}

TEST_F(Monitor, DacPageAsksForTheExternalDacAndShowsVolts)
{
    stopped_cnc();
    registers({{bus_dac_kp1, 0x07FF}, {bus_dac_kp2, 0x0000}, {bus_dac_kp3, 0x8000},
               {bus_dac_kp4, 0x87FF}});

    EXPECT_EQ(rig.tick_on(page_kp_dac), app_tick(V{app_cmd(cmd_ext_dac_on)} + dac_reads));
    EXPECT_TRUE(module.ext_dac_on());
    rig.expect_texts({
        {Control::StaticText47, "3777"}, {Control::StaticText51, "10.000"},
        {Control::StaticText48, "0"}, {Control::StaticText52, "0.000"},
        {Control::StaticText49, "100000"}, {Control::StaticText53, "0.000"},
        {Control::StaticText50, "103777"}, {Control::StaticText54, "-9.826"},
    });

    // With the mode on, the page only reads.
    EXPECT_EQ(rig.tick_on(page_kp_dac), app_tick(dac_reads));
}

TEST_F(Monitor, OtherPagesGiveTheExternalDacBackUntilTheModuleReportsItOff)
{
    stopped_cnc();
    module.set_ext_dac_on(true);
    EXPECT_EQ(rig.tick_on(page_ke_bfos), app_tick(ke_bfos_reads + V{app_cmd(cmd_ext_dac_off)}));
    EXPECT_FALSE(module.ext_dac_on());
    EXPECT_EQ(rig.tick_on(page_config), app_tick());

    module.set_ext_dac_on(true);
    EXPECT_EQ(rig.tick_on(page_config), app_tick({app_cmd(cmd_ext_dac_off)}));
    // A module that keeps reporting the mode on is asked again at every tick.
    module.set_ext_dac_on(true);
    EXPECT_EQ(rig.tick_on(page_rom), app_tick({app_cmd(cmd_ext_dac_off)}));

    // Every page but the DAC's, whatever it polls and whether the CNC runs or not.
    for (const bool running : {false, true})
        for (int page = page_config; page <= page_network; ++page) {
            if (page == page_kp_dac) continue;
            module.set_cpu_running(running);
            module.set_ext_dac_on(true);
            const V sent = rig.tick_on(page);
            EXPECT_EQ(std::count(sent.begin(), sent.end(), app_cmd(cmd_ext_dac_off)), 1) << page << running;
            EXPECT_FALSE(module.ext_dac_on()) << "page " << page << (running ? ", running" : ", stopped");
        }
}

TEST_F(Monitor, EaPageReadsTheControllerThenTheCncRegisters)
{
    module.set_ext_dac_on(true);  // the hand-back comes before the page's own polls
    module.set_ea_inputs({0x0001, 0x0002, 0x0003, 0x8000});
    module.set_ea_outputs({0x00FF, 0xFF00});
    registers({{bus_outputs_1, 0x0009}, {bus_inputs_1, 0x0040}});

    EXPECT_EQ(rig.tick_on(page_ea), app_tick({app_cmd(cmd_ext_dac_off), app_cmd(cmd_ea_read_inputs),
                                              app_cmd(cmd_ea_read_outputs), bus_read(0170462), bus_read(0170461)}));
    rig.expect_texts({
        {Control::StaticText55, "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 "}, {Control::StaticText59, "000001"},
        {Control::StaticText60, "000002"}, {Control::StaticText61, "000003"},
        {Control::StaticText58, "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "}, {Control::StaticText62, "100000"},
        {Control::StaticText63, "0 0 0 0 0 0 0 0 1 1 1 1 1 1 1 1 "}, {Control::StaticText65, "000377"},
        {Control::StaticText64, "1 1 1 1 1 1 1 1 0 0 0 0 0 0 0 0 "}, {Control::StaticText66, "177400"},
        {Control::StaticText67, "0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 1 "}, {Control::StaticText71, "000011"},
        {Control::StaticText68, "0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 "}, {Control::StaticText72, "000100"},
    });
    // The "КЭ/БФОС" page shows the same registers but is not on view.
    EXPECT_EQ(view.get(Control::StaticText35), "");
}

// --- CNC state ---

// The first reply is applied even when it matches the pair stored at start-up, (0, 0).
TEST_F(Monitor, CncStateTransitions)
{
    for (const bool running : {false, true, false}) {
        module.set_cpu_running(running);
        rig.tick_on(page_config);
        EXPECT_EQ(view.get(Control::Button8), running ? "Остановить УЧПУ" : "Запустить УЧПУ");
        EXPECT_EQ(rig.form.Tag, running ? 0 : 1);
        EXPECT_EQ(rig.form.proc_en, running ? 1u : 0u);
        EXPECT_TRUE(rig.group_is(output_check_boxes, !running));
        EXPECT_TRUE(rig.group_is(dac_value_edits, false));
    }

    rig.tick_on(page_kp_dac);  // turns the external DAC on; this tick still saw it off
    EXPECT_TRUE(rig.group_is(dac_value_edits, false));
    rig.tick_on(page_kp_dac);
    EXPECT_EQ(rig.form.ext_dac_en, 1u);
    EXPECT_TRUE(rig.group_is(dac_value_edits, true));
    EXPECT_TRUE(rig.group_is(output_check_boxes, true));

    module.set_cpu_running(true);
    rig.tick_on(page_kp_dac);
    EXPECT_EQ(view.get(Control::Button8), "Остановить УЧПУ");
    EXPECT_TRUE(rig.group_is(output_check_boxes, false));
    EXPECT_TRUE(rig.group_is(dac_value_edits, false));
}

TEST_F(Monitor, AnUnchangedStateTouchesNoControl)
{
    stopped_cnc();
    rig.tick_on(page_config);
    view.set_enabled(Control::CheckBox5, false);
    view.set_text(Control::Button8, "marker");
    rig.tick_on(page_config);
    EXPECT_FALSE(view.enabled(Control::CheckBox5));
    EXPECT_EQ(view.get(Control::Button8), "marker");
}

TEST_F(Monitor, AfterAReconnectTheSameStateIsAppliedAgain)
{
    stopped_cnc();
    rig.tick_on(page_config);
    ASSERT_TRUE(rig.group_is(output_check_boxes, true));

    rig.bus.remove_interface(rig.module_index);
    rig.tick_on(page_config);
    EXPECT_TRUE(rig.group_is(output_check_boxes, false));
    // With no CNC state reported, the stored one and the button stay as they were.
    EXPECT_EQ(view.get(Control::Button8), "Запустить УЧПУ");
    EXPECT_EQ(rig.form.Tag, 1);

    rig.bus.restore_interface(rig.module_index);
    rig.tick_on(page_config);
    EXPECT_TRUE(rig.group_is(device_action_buttons, true));
    EXPECT_TRUE(rig.group_is(output_check_boxes, true));
    EXPECT_EQ(rig.form.Tag, 1);
}

TEST_F(Monitor, LoaderTicksDoNotReportACncState)
{
    module.set_cpu_running(true);
    rig.tick_on(page_config);
    module.set_form(SimModule::Form::loader);
    rig.tick_on(page_config);
    EXPECT_EQ(view.get(Control::Button8), "Остановить УЧПУ");
    EXPECT_EQ(rig.form.proc_en, 1u);
    EXPECT_TRUE(rig.group_is(output_check_boxes, false));
}

// --- failures in the middle of a tick ---

TEST_F(Monitor, ModuleVanishingMidTickShowsOnlyWhatArrived)
{
    stopped_cnc();
    rig.tick_on(page_config);
    for (const Control c : {Control::StaticText31, Control::StaticText32, Control::StaticText33,
                            Control::StaticText34, Control::StaticText37})
        view.set_text(c, "old");
    registers({{bus_inputs_1, 0x0001}, {bus_inputs_2, 0x0002}, {bus_inputs_3, 0x0003}});

    // Two reports each for the identify handshake, the status and the first two reads.
    rig.bus.vanish_after(rig.module_index, 8);
    rig.tick_on(page_ke_bfos);
    rig.expect_texts({
        {Control::StaticText35, "000001"}, {Control::StaticText36, "000002"},
        {Control::StaticText31, "old"}, {Control::StaticText37, "old"}, {Control::StaticText34, "old"},
        {Control::StaticText7, "подключен"},
    });
    rig.expect_closed();

    rig.tick_on(page_ke_bfos);
    EXPECT_EQ(view.get(Control::StaticText7), "не подключен");
    EXPECT_TRUE(rig.group_is(device_action_buttons, false));
}

TEST_F(Monitor, FailedCounterReadAddsNothing)
{
    stopped_cnc();
    rig.tick_on(page_config);
    registers({{bus_counter_kip1, 0x0004}, {bus_counter_kip2, 0x0005}});
    view.set_text(Control::StaticText44, "old");
    // identify 2, status 2, 170520 2, 170521 2; the request of 170522 fails.
    rig.bus.fail_report(9);
    EXPECT_EQ(rig.tick_on(page_kip_bos),
              app_tick({bus_read(0170520), bus_read(0170521), bus_read(0170523), bus_read(0170524)}));
    EXPECT_EQ(rig.form.KIP1, 4);
    EXPECT_EQ(rig.form.KIP2, 0);
    EXPECT_EQ(view.get(Control::StaticText43), "4");
    EXPECT_EQ(view.get(Control::StaticText44), "old");
}

TEST_F(Monitor, FailedStatusLeavesCncStateAndVersionsAndPollsNothing)
{
    module.set_cpu_running(true);
    rig.tick_on(page_config);
    ASSERT_EQ(view.get(Control::StaticText8), "4.36");

    module.set_cpu_running(false);
    module.set_firmware_version(0x00050000);
    // identify 2 reports; then the status request's reply fails.
    rig.bus.fail_report(4);
    EXPECT_EQ(rig.tick_on(page_ke_bfos), app_tick());
    rig.expect_texts({
        {Control::StaticText7, "подключен"}, {Control::StaticText8, "4.36"},
        {Control::Button8, "Остановить УЧПУ"},
    });
    EXPECT_EQ(rig.form.proc_en, 1u);
    EXPECT_EQ(rig.form.app_identity.firmware_version, 0x00043600u);
    EXPECT_EQ(view.get(Control::StaticText35), "");

    rig.tick_on(page_config);
    EXPECT_EQ(view.get(Control::StaticText8), "5.00");
    EXPECT_EQ(view.get(Control::Button8), "Запустить УЧПУ");
}

TEST_F(Monitor, FailedLoaderExchangeLeavesItsVersion)
{
    module.set_form(SimModule::Form::loader);
    rig.tick_on(page_config);
    ASSERT_EQ(view.get(Control::StaticText9), "1.2.3.");
    module.set_loader_version(0x00020000);
    module.set_firmware_version(0x00043700);
    // Two searches of two reports each, then the loader version's reply fails.
    rig.bus.fail_report(6);
    rig.tick_on(page_config);
    EXPECT_EQ(view.get(Control::StaticText7), "загрузчик");
    EXPECT_EQ(view.get(Control::StaticText9), "1.2.3.");
    EXPECT_EQ(rig.form.loader_identity.loader_version, 0x00010203u);
    EXPECT_EQ(view.get(Control::StaticText8), "4.37");
}

}  // namespace
