// The I/O pages and module commands against the simulated module: the output registers of
// "КЭ/БФОС" and "КИП/БОС", the DAC values of "КП(ЦАП)", CNC stop/start, module restart and the
// counter reset.
#include "rig.h"

namespace {

// (address, value) of bus writes, in order.
using W = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
constexpr std::array counter_texts{Control::StaticText43, Control::StaticText44, Control::StaticText45,
                                   Control::StaticText46};

class OutputPages : public PagesTest {
protected:
    // CheckBox1 .. CheckBox36 by number, found by name (not through the window's own groups).
    static Control box(int n)
    {
        const std::string name = "CheckBox" + std::to_string(n);
        for (std::size_t i = 0; i < control_count; ++i)
            if (control_names[i] == name) return static_cast<Control>(i);
        ADD_FAILURE() << "no control " << name;
        return Control::MainForm;
    }
    void tick(std::initializer_list<int> boxes)
    {
        for (int n : boxes) view.set_checked(box(n), true);
    }
    // Every bus write the module received.
    W writes() const
    {
        W out;
        for (const auto& c : sent()) {
            EXPECT_EQ(c.code, cmd_bus_write);
            EXPECT_EQ(c.word_c, 0u);
            out.emplace_back(c.word_a, c.word_b);
        }
        return out;
    }
    void type(Control edit, const std::string& text)
    {
        view.set_text(edit, text);
        form.change(edit);
    }
};

TEST_F(OutputPages, BothRegistersGoOnOneClickInOrderWithTheirBitMappings)
{
    // None ticked: both registers get 0, first 170462, then 170464.
    form.Button10Click();
    EXPECT_EQ(writes(), (W{{0xF132, 0}, {0xF134, 0}}));

    // Leftmost box of 170462 is bit 15; rightmost box of 170464 is bit 0.
    module.clear_commands();
    tick({1, 32});
    form.Button10Click();
    EXPECT_EQ(writes(), (W{{0xF132, 0100000}, {0xF134, 1}}));

    // All of a row.
    module.clear_commands();
    for (int n = 1; n <= 32; ++n) view.set_checked(box(n), n <= 16);
    form.Button10Click();
    EXPECT_EQ(writes(), (W{{0xF132, 0177777}, {0xF134, 0}}));

    // A single box in the middle: box n is bit 16 - n (and 32 - n on the second row).
    module.clear_commands();
    for (int n = 1; n <= 32; ++n) view.set_checked(box(n), n == 5 || n == 20);
    form.Button10Click();
    EXPECT_EQ(writes(), (W{{0xF132, 1u << 11}, {0xF134, 1u << 12}}));
    EXPECT_EQ(module.bus_register(0170462), 1u << 11);
    EXPECT_TRUE(view.messages.empty());
    expect_closed();
}

TEST_F(OutputPages, KipOutputsUseTheLowFourBits)
{
    tick({33, 34, 35, 36});
    form.Button11Click();
    EXPECT_EQ(writes(), (W{{0170520, 017}}));

    module.clear_commands();
    view.checks.clear();
    tick({33, 36});
    form.Button11Click();
    EXPECT_EQ(writes(), (W{{0170520, 011}}));
    expect_closed();
}

TEST_F(OutputPages, DacEntriesKeepTheLastValidValueAndAreSentAsStored)
{
    type(Control::Edit7, "7777");
    EXPECT_EQ(form.KP1, 0xFFF);
    EXPECT_FALSE(view.red(Control::Edit7));

    type(Control::Edit7, "78");  // 8 is no octal digit
    EXPECT_TRUE(view.red(Control::Edit7));
    EXPECT_EQ(form.KP1, 0xFFF);
    type(Control::Edit8, "");
    EXPECT_TRUE(view.red(Control::Edit8));
    EXPECT_EQ(form.KP2, 0);
    type(Control::Edit9, "5");
    type(Control::Edit9, "200000");  // more than a register holds: refused, not cut to 0
    EXPECT_TRUE(view.red(Control::Edit9));
    EXPECT_EQ(form.KP3, 5);
    type(Control::Edit10, "177777");
    EXPECT_EQ(form.KP4, 0xFFFF);

    type(Control::Edit8, "12");
    EXPECT_FALSE(view.red(Control::Edit8)) << "a valid entry turns the text back to normal";
    type(Control::Edit8, " 12");
    EXPECT_TRUE(view.red(Control::Edit8));
    EXPECT_EQ(form.KP2, 012);

    form.Button12Click();
    EXPECT_EQ(writes(), (W{{0170500, 0xFFF}, {0170501, 012}, {0170502, 5}, {0170503, 0xFFFF}}));
    expect_closed();
}

TEST_F(OutputPages, NothingIsSentWhileTheCncRunsOrWithoutTheApplication)
{
    tick({1, 33});
    form.proc_en = 1;
    form.Button10Click();
    form.Button11Click();
    form.Button12Click();
    EXPECT_EQ(bus.reports(), 0u);

    form.proc_en = 0;
    form.app_identity.found = false;
    form.Button10Click();
    form.Button11Click();
    form.Button12Click();
    form.Button8Click();
    form.Button13Click();
    EXPECT_EQ(bus.reports(), 0u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(OutputPages, StopStartFollowsTheButtonModeAndRestartIgnoresTheCncState)
{
    form.proc_en = 1;  // a running CNC does not block these two
    module.set_cpu_running(true);
    form.Button8Click();  // Tag 0 at start: stop mode
    EXPECT_FALSE(module.cpu_running());
    form.Tag = 1;
    form.Button8Click();
    EXPECT_TRUE(module.cpu_running());
    form.Button13Click();
    EXPECT_EQ(sent_codes(), (std::vector<std::uint8_t>{cmd_cpu_stop, cmd_cpu_start, cmd_restart}));
    for (const auto& c : sent()) EXPECT_EQ(c.word_a | c.word_b | c.word_c, 0u);
    EXPECT_EQ(module.restarts(), 1u);
    EXPECT_EQ(form.Tag, 1) << "the mode is the status monitor's to change";
    expect_closed();
}

TEST_F(OutputPages, CountersResetWithoutAModule)
{
    bus.remove_interface(0);
    form.app_identity.found = false;
    form.KIP1 = 5;
    form.KIP2 = -7;
    form.KIP3 = 100000;
    form.KIP4 = 1;
    for (Control c : counter_texts) view.set_text(c, "123");
    form.Button6Click();
    EXPECT_EQ(form.KIP1 | form.KIP2 | form.KIP3 | form.KIP4, 0);
    for (Control c : counter_texts) EXPECT_EQ(view.get(c), "0");
    EXPECT_EQ(bus.opens(), 0u);
}

TEST_F(OutputPages, ARefusedFrameIsReportedAndTheRestAreStillSent)
{
    tick({1, 17});
    bus.fail_report(3);  // the frame for 170462
    form.Button10Click();
    EXPECT_EQ(writes(), (W{{0xF134, 0100000}}));
    EXPECT_TRUE(message_shown(write_failed_text));
    expect_closed();
}

TEST_F(OutputPages, AModuleThatCannotBeOpenedIsReported)
{
    bus.remove_interface(0);  // gone since the last status tick
    form.Button13Click();
    EXPECT_TRUE(message_shown(write_failed_text));
    EXPECT_FALSE(form.app_identity.found);
    expect_closed();
}

}  // namespace
