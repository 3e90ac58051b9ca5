// The window right after start-up, before the first status tick; closing; page changes.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "app/rig.h"

namespace {

std::vector<std::string> rows_of(const std::string& byte, int count)
{
    std::string line;
    for (int i = 0; i < count; ++i) line += " " + byte;
    return std::vector<std::string>(8, line);
}

TEST(StartUp, ShowsTheWindowAsNoModuleHasYetBeenSeen)
{
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    FakeView view;
    view.page = page_ea;
    const std::vector<std::uint8_t> image(600, 1);
    TMainForm form(view, bus, CarriedImage{image.data(), image.size(), 0x00043600});
    // State left over from anything before start-up is replaced by the defaults.
    form.MAT_array.assign(rom_size, 0x11);
    form.RAM_array.assign(ram_size, 0x22);
    form.up_flag = true;
    form.KIP3 = 5;
    form.proc_en = 1;
    form.app_identity.found = true;
    form.loader_identity = DeviceIdentity{};

    form.FormCreate();

    EXPECT_EQ(view.page, page_config);
    EXPECT_EQ(view.get(Control::MainForm), "ЛИРВАН НЦ-31/МС-2109 v 4.36");
    EXPECT_EQ(view.get(Control::StaticText7), "не подключен");
    EXPECT_EQ(view.get(Control::StaticText8), "н/д");
    EXPECT_EQ(view.get(Control::StaticText9), "н/д");
    EXPECT_EQ(view.get(Control::Label47), "v 4.36");
    EXPECT_EQ(view.get(Control::Button8), "Остановить УЧПУ");
    EXPECT_EQ(form.Tag, 0);
    EXPECT_EQ(view.progress, 0);

    EXPECT_EQ(view.list(Control::ListBox1), rows_of("FF", 16));
    EXPECT_EQ(view.list(Control::ListBox3), rows_of("FF", 16));
    EXPECT_EQ(view.list(Control::ListBox2), rows_of("FF", 8));
    EXPECT_EQ(view.list(Control::ListBox4), rows_of("FF", 8));
    EXPECT_EQ(view.list(Control::ListBox5), rows_of("00", 16));
    EXPECT_EQ(form.MAT_array, std::vector<std::uint8_t>(rom_size, 0xFF));
    EXPECT_EQ(form.AMT_array, std::vector<std::uint8_t>(amt_size, 0xFF));
    EXPECT_EQ(form.KVP_array, std::vector<std::uint8_t>(kvp_size, 0xFF));
    EXPECT_EQ(form.RAM_array, std::vector<std::uint8_t>(ram_size, 0x00));

    EXPECT_EQ(form.params_array, default_params);  // its bytes: configuration_test
    EXPECT_FALSE(form.up_flag);
    EXPECT_EQ(form.KIP1 | form.KIP2 | form.KIP3 | form.KIP4, 0);
    EXPECT_EQ(form.proc_en, 0u);
    EXPECT_EQ(form.ext_dac_en, 0u);
    EXPECT_EQ(form.net_br, 57600);
    EXPECT_EQ(form.net_addr, 1);

    // Identities as the tool knows them, nothing found yet.
    for (const auto* id : {&form.app_identity, &form.loader_identity}) {
        EXPECT_FALSE(id->found);
        EXPECT_EQ(id->vendor_id, 0x03EB);
        EXPECT_EQ(id->product_id, 0x6202);
    }
    EXPECT_EQ(form.app_identity.identity_word, 0x3B03);
    EXPECT_EQ(form.loader_identity.identity_word, 0x3B01);

    // Output check boxes wait for a stopped CNC; the rest stays usable until the first tick.
    for (const Control c : output_check_boxes) EXPECT_FALSE(view.enabled(c)) << control_name(c);
    for (const Control c : device_action_buttons) EXPECT_TRUE(view.enabled(c)) << control_name(c);
    for (const Control c : dac_value_edits) EXPECT_TRUE(view.enabled(c)) << control_name(c);

    EXPECT_TRUE(view.timers[Control::Timer1]);
    EXPECT_FALSE(view.timers[Control::Timer2]);

    // Start-up talks to no device.
    EXPECT_EQ(bus.opens(), 0u);
    EXPECT_TRUE(module.commands().empty());
}

TEST(StartUp, Label47ShowsTheVersionOfTheCarriedImage)
{
    SimBus bus;
    FakeView view;
    const std::uint8_t image[] = {1, 2, 3};
    TMainForm form(view, bus, CarriedImage{image, sizeof image, 0x000A0900});
    form.FormCreate();
    EXPECT_EQ(view.get(Control::Label47), "v 10.09");
    // The caption carries the tool's own version, not the image's.
    EXPECT_EQ(view.get(Control::MainForm), "ЛИРВАН НЦ-31/МС-2109 v 4.36");
}

TEST(StartUp, SerialPortListDecidesTheNetworkPageStart)
{
    Rig rig;
    const int ports = rig.view.combo_count(Control::ComboBox8);
    if (ports == 0) {
        EXPECT_FALSE(rig.view.enabled(Control::Button15));
        EXPECT_EQ(rig.view.combo_index(Control::ComboBox8), -1);
    } else {
        EXPECT_TRUE(rig.view.enabled(Control::Button15));
        EXPECT_EQ(rig.view.combo_index(Control::ComboBox8), 0);
    }
    EXPECT_EQ(rig.form.net_COM, rig.view.text(Control::ComboBox8));
}

TEST(Close, ClosesOnlyAHandleThatIsOpen)
{
    Rig rig;
    rig.form.FormClose();
    EXPECT_EQ(rig.bus.closes(), 0u);

    rig.form.HidHandle = open_device(rig.bus, rig.form.app_identity);
    ASSERT_TRUE(rig.form.HidHandle.valid());
    rig.form.FormClose();
    EXPECT_FALSE(rig.form.HidHandle.valid());
    EXPECT_EQ(rig.bus.open_handles(), 0u);
    rig.form.FormClose();  // a second close finds nothing to close
    EXPECT_EQ(rig.bus.closes(), 1u);
}

TEST(PageChange, StopsNetworkPollingAndNothingElse)
{
    Rig rig;
    rig.view.timers.clear();
    rig.view.page = page_rom;
    rig.form.PageControl1Change();
    EXPECT_TRUE(rig.view.timers.empty());
    EXPECT_TRUE(rig.module.commands().empty());

    rig.form.net_polling = true;  // as the network page's start button leaves it
    rig.form.PageControl1Change();
    EXPECT_FALSE(rig.form.net_polling);
    EXPECT_FALSE(rig.view.timers[Control::Timer2]);
    EXPECT_EQ(rig.view.get(Control::StaticText74), "не подключен");
    EXPECT_EQ(rig.view.page, page_rom);
}

}  // namespace

namespace {

// A view that fails while the start-up shows the progress bar at 0.
class FailingView : public FakeView {
public:
    bool fail = true;
    void set_progress(int position) override
    {
        if (fail) throw std::runtime_error("сбой вида");
        FakeView::set_progress(position);
    }
};

TEST(StartUpAndClose, AFaultIsShownOnceAndTheCloseRunsWhileItsBoxIsOpen)
{
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    FailingView view;
    TMainForm form(view, bus, CarriedImage{});
    std::size_t opens_in_box = 0;
    view.while_error_shown = [&] {
        // A tick waits while the box is open; closing the window does not.
        const auto before = bus.opens();
        form.click(Control::Timer1);
        opens_in_box = bus.opens() - before;
        form.HidHandle = open_device(bus, form.app_identity);
        ASSERT_TRUE(form.HidHandle.valid());
        form.close();
        EXPECT_FALSE(form.HidHandle.valid());
        EXPECT_EQ(bus.open_handles(), 0u);
    };
    form.create();
    EXPECT_EQ(view.errors, std::vector<std::string>{"сбой вида"});
    EXPECT_EQ(opens_in_box, 0u);
    EXPECT_EQ(view.cursor, CursorShape::normal);

    // Without a fault the start-up runs to its end: the status monitor is on.
    view.fail = false;
    form.create();
    EXPECT_EQ(view.errors.size(), 1u);
    EXPECT_TRUE(view.timers[Control::Timer1]);
}

}  // namespace
