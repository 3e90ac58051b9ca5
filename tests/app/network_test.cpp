// The "Сеть" page end to end: TMainForm with a recording view, polling a Modbus RTU server
// (libmodbus, or a scripted peer) through a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include "app/Unit1.h"
#include "app/fake_view.h"
#include "comport/comport.h"
#include "comport/pty_peer.h"
#include "sim/sim_bus.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class NetworkPage : public ::testing::Test {
protected:
    void TearDown() override { com_close(); }

    void pick_port(const std::string& name)
    {
        view.combo_set_items(Control::ComboBox8, {name});
        view.combo_select(Control::ComboBox8, 0);
        form.change(Control::ComboBox8);
    }
    void type_address(const std::string& text)
    {
        view.set_text(Control::Edit1, text);
        form.change(Control::Edit1);
    }
    void expect_idle_displays()
    {
        EXPECT_EQ(view.get(Control::StaticText74), "не подключен");
        EXPECT_EQ(view.get(Control::StaticText69), "н/д");
        EXPECT_EQ(view.get(Control::StaticText76), "н/д");
        EXPECT_EQ(view.get(Control::StaticText78), "н/д");
    }
    void expect_settings_enabled(bool enabled)
    {
        EXPECT_EQ(view.enabled(Control::Edit1), enabled);
        EXPECT_EQ(view.enabled(Control::ComboBox8), enabled);
        EXPECT_EQ(view.enabled(Control::ComboBox9), enabled);
    }
    bool timer2_on() { return view.timers[Control::Timer2]; }
    // Polling stopped: the button offers the start again, the settings are open, no timer runs.
    void expect_stopped()
    {
        EXPECT_FALSE(form.net_polling);
        EXPECT_EQ(view.get(Control::Button15), "Запустить опрос");
        expect_settings_enabled(true);
        EXPECT_FALSE(timer2_on());
    }
    // True when another program could take the pty now, i.e. the page let go of it.
    bool port_free()
    {
        const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    FakeView view;
    SimBus bus;  // empty: the page never touches the USB link
    TMainForm form{view, bus, CarriedImage{}};
    PtyPair pty;
};

TEST_F(NetworkPage, StartUpListsThePortsAndSelectsTheFirstOrDisablesTheButton)
{
    form.FormCreate();
    std::vector<std::string> ports;
    com_port_list(ports);
    EXPECT_EQ(view.combo_items[Control::ComboBox8], ports);
    EXPECT_EQ(form.net_br, 57600);
    EXPECT_EQ(form.net_addr, 1);
    EXPECT_FALSE(timer2_on());
    EXPECT_FALSE(form.net_polling);
    if (ports.empty()) {
        EXPECT_FALSE(view.enabled(Control::Button15));
        EXPECT_EQ(form.net_COM, "");
    } else {
        EXPECT_TRUE(view.enabled(Control::Button15));
        EXPECT_EQ(view.combo_index(Control::ComboBox8), 0);
        EXPECT_EQ(form.net_COM, ports.front());
    }
}

TEST_F(NetworkPage, AddressMustBeASlaveAddressElseRedAndTheLastValidOneStays)
{
    type_address("17");
    EXPECT_EQ(form.net_addr, 17);
    EXPECT_FALSE(view.red(Control::Edit1));

    for (const char* bad : {"300", "256", "-1", "", "abc", "12a", " 5", "0x10", "1.5", "-",
                            "99999999999999999999"}) {
        type_address(bad);
        EXPECT_EQ(form.net_addr, 17) << '"' << bad << '"';
        EXPECT_TRUE(view.red(Control::Edit1)) << '"' << bad << '"';
    }
    for (auto [text, value] : {std::pair{"0", 0}, {"255", 255}, {"+8", 8}, {"007", 7}}) {
        type_address(text);
        EXPECT_EQ(form.net_addr, value) << text;
        EXPECT_FALSE(view.red(Control::Edit1)) << text;
    }
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(NetworkPage, PortAndBaudPicksAreStored)
{
    view.combo_set_items(Control::ComboBox9,
                         {"2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    view.combo_select(Control::ComboBox9, 2);
    form.change(Control::ComboBox9);
    EXPECT_EQ(form.net_br, 9600);
    view.combo_select(Control::ComboBox9, 6);
    form.change(Control::ComboBox9);
    EXPECT_EQ(form.net_br, 115200);

    view.combo_set_items(Control::ComboBox8, {"ttyS0", "ttyUSB0"});
    view.combo_select(Control::ComboBox8, 1);
    form.change(Control::ComboBox8);
    EXPECT_EQ(form.net_COM, "ttyUSB0");
}

TEST_F(NetworkPage, AFailedStartLeavesThePageIdleAndSilent)
{
    pick_port("/dev/pts/nonexistent");
    view.set_text(Control::Button15, "Запустить опрос");
    form.click(Control::Button15);
    expect_stopped();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(NetworkPage, PollsTheModuleShowsVersionAndCountersAndStopsBackToIdle)
{
    ModbusSlavePeer slave(pty, 1);
    slave.set_register(9, 0x0107);
    slave.set_register(3, 1);  // packets: 1 + 65536 * 2
    slave.set_register(4, 2);
    slave.set_register(5, 0xFFFF);  // errors: the largest count
    slave.set_register(6, 0xFFFF);
    pick_port(pty.path());

    form.click(Control::Button15);
    ASSERT_TRUE(form.net_polling);
    EXPECT_EQ(view.get(Control::Button15), "Остановить опрос");
    expect_settings_enabled(false);
    EXPECT_TRUE(timer2_on());
    EXPECT_EQ(slave.requests(), 0) << "the first poll waits for the first tick";

    form.click(Control::Timer2);
    EXPECT_EQ(slave.last_request(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    EXPECT_EQ(view.get(Control::StaticText74), "подключен");
    EXPECT_EQ(view.get(Control::StaticText69), "1.7");
    EXPECT_EQ(view.get(Control::StaticText76), "131073");
    EXPECT_EQ(view.get(Control::StaticText78), "4294967295");

    for (auto [word, text] : {std::pair{0x0215, "2.15"}, {0x0A09, "10.9"}, {0xF000, "0.0"},
                              {0x0F99, "15.99"}}) {
        slave.set_register(9, static_cast<std::uint16_t>(word));
        form.Timer2Timer();
        EXPECT_EQ(view.get(Control::StaticText69), text) << std::hex << word;
    }
    slave.set_register(4, 0);
    slave.set_register(5, 0);
    slave.set_register(6, 0);
    form.Timer2Timer();
    EXPECT_EQ(view.get(Control::StaticText76), "1");
    EXPECT_EQ(view.get(Control::StaticText78), "0");
    EXPECT_EQ(bus.opens(), 0u);

    form.click(Control::Button15);
    expect_stopped();
    expect_idle_displays();
    EXPECT_TRUE(port_free());

    // And it starts again on the same port.
    form.click(Control::Button15);
    EXPECT_TRUE(form.net_polling);
    form.Timer2Timer();
    EXPECT_EQ(view.get(Control::StaticText74), "подключен");
}

TEST_F(NetworkPage, TheAddressGoesOutAsTypedAndABadReplyShowsNotConnectedWhilePollingGoesOn)
{
    ScriptedPeer peer(pty);
    pick_port(pty.path());
    const std::vector<std::uint16_t> regs{0, 0, 0, 5, 0, 1, 0, 0, 0, 0x0304};

    type_address("0");
    form.click(Control::Button15);
    ASSERT_TRUE(form.net_polling);
    peer.answer(holding_reply(0, regs));
    form.Timer2Timer();
    EXPECT_EQ(view.get(Control::StaticText69), "3.4");
    EXPECT_EQ(view.get(Control::StaticText76), "5");
    EXPECT_EQ(view.get(Control::StaticText78), "1");

    // A reply that fails its CRC: the displays go back to "не подключен"/"н/д", polling stays.
    Bytes bad = holding_reply(0, regs);
    bad[5] ^= 0x10;
    peer.answer(bad);
    form.Timer2Timer();
    expect_idle_displays();
    EXPECT_TRUE(form.net_polling);
    EXPECT_TRUE(timer2_on());

    // The address is taken on the next start; 300 is refused and 255 stays.
    form.click(Control::Button15);
    type_address("255");
    type_address("300");
    form.click(Control::Button15);
    peer.answer(holding_reply(255, regs));
    form.Timer2Timer();
    EXPECT_EQ(view.get(Control::StaticText74), "подключен");

    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], with_crc({0x00, 0x03, 0x00, 0x00, 0x00, 0x0A}));
    EXPECT_EQ(requests[2], with_crc({0xFF, 0x03, 0x00, 0x00, 0x00, 0x0A}));
}

TEST_F(NetworkPage, APageChangeStopsPollingAndResetsTheDisplays)
{
    ModbusSlavePeer slave(pty, 1);
    slave.set_register(9, 0x0107);
    pick_port(pty.path());
    form.click(Control::Button15);
    form.Timer2Timer();
    ASSERT_EQ(view.get(Control::StaticText74), "подключен");

    view.set_active_page(page_config);
    form.change(Control::PageControl1);
    expect_stopped();
    expect_idle_displays();
    EXPECT_TRUE(port_free());

    // While idle a page change does nothing to the page.
    view.set_text(Control::StaticText74, "marker");
    form.change(Control::PageControl1);
    EXPECT_EQ(view.get(Control::StaticText74), "marker");
    EXPECT_FALSE(form.net_polling);
}

}  // namespace
