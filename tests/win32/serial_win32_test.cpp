// The Windows serial layer under wine: the port listing over a made-up registry map, and the
// register read over COM ports that lirvan-serial-peer links to pseudo-terminals served by
// libmodbus's RTU server and by a scripted peer (skipped when run without the peer).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "comport/serial_port.h"
#include "comport/serial_win32.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(ComPortListWin32, TakesComNamesWithAPositiveNumberInEnumerationOrder)
{
    const wchar_t* key_name = L"Software\\lirvan-test\\SERIALCOMM";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    const std::vector<std::wstring> stored{L"COM12", L"com5", L"COM0", L"COM", L"COMx", L"LPT1",
                                           L"COM3x", L"COM12345678", L"COM1234567", L"Com007"};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const std::wstring value = L"\\Device\\Serial" + std::to_wstring(i);
        RegSetValueExW(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(stored[i].c_str()),
                       static_cast<DWORD>((stored[i].size() + 1) * sizeof(wchar_t)));
    }
    const DWORD number = 4;
    RegSetValueExW(key, L"\\Device\\NotAName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(key);

    std::vector<std::string> list{"left over"};
    com_port_list_in(HKEY_CURRENT_USER, key_name, list);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\lirvan-test");
    EXPECT_EQ(list, (std::vector<std::string>{"COM12", "com5", "COM1234567", "Com007"}));

    com_port_list_in(HKEY_CURRENT_USER, key_name, list);  // no map at all: an empty list
    EXPECT_TRUE(list.empty());
}

TEST(ComOpenWin32, AnAbsentPortFailsAndLeavesNothingOpen)
{
    EXPECT_FALSE(com_open("COM199", 57600));
    EXPECT_EQ(com_handle, -1);
    EXPECT_FALSE(com_write(reinterpret_cast<const std::uint8_t*>("x"), 1));
    std::uint8_t byte = 0;
    EXPECT_EQ(com_read(&byte, 1), -1);
}

class PeerPorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* modbus = std::getenv("LIRVAN_TEST_MODBUS_PORT");
        const char* scripted = std::getenv("LIRVAN_TEST_SCRIPTED_PORT");
        if (!modbus || !scripted) GTEST_SKIP() << "run by lirvan-serial-peer";
        modbus_port = modbus;
        scripted_port = scripted;
    }
    void TearDown() override { com_close(); }
    std::string modbus_port, scripted_port;
};

TEST_F(PeerPorts, ReadsLibmodbusRegistersAndLeavesTheDestinationAloneOnAnException)
{
    ASSERT_TRUE(com_open(modbus_port, 57600));
    Bytes registers(6, 0xEE);
    ASSERT_TRUE(modbus_read_holding(1, 2, 3, registers.data()));
    EXPECT_EQ(registers, (Bytes{0x23, 0x24, 0x34, 0x35, 0x45, 0x46}));  // 0x1111 * i + 0x0102
    Bytes untouched(4, 0xEE);
    EXPECT_FALSE(modbus_read_holding(1, 9, 2, untouched.data()));  // beyond the map: exception
    EXPECT_EQ(untouched, Bytes(4, 0xEE));
}

TEST_F(PeerPorts, TheRequestGoesOutByteForByte)
{
    ASSERT_TRUE(com_open(scripted_port, 9600));
    Bytes echo(8);
    ASSERT_TRUE(modbus_read_holding(0x11, 0x0100, 4, echo.data()));
    // 11 03 01 00 00 04 and CRC-16/MODBUS 0x6547, low byte first.
    EXPECT_EQ(echo, (Bytes{0x11, 0x03, 0x01, 0x00, 0x00, 0x04, 0x47, 0x65}));
}

TEST_F(PeerPorts, AReplyInPiecesIsCollectedAndSilenceEndsTheReadAfterASecond)
{
    ASSERT_TRUE(com_open(scripted_port, 19200));
    Bytes registers(4);
    auto start = Clock::now();
    ASSERT_TRUE(modbus_read_holding(7, 0x0200, 2, registers.data()));
    EXPECT_GE(ms_since(start), 250);
    EXPECT_EQ(registers, (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));

    start = Clock::now();
    EXPECT_FALSE(modbus_read_holding(7, 0x0300, 2, registers.data()));
    const long long waited = ms_since(start);
    EXPECT_GE(waited, 950);
    EXPECT_LE(waited, 1500);
    EXPECT_EQ(registers, (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));

    // The line still works after the time-out.
    std::uint8_t byte = 0;
    start = Clock::now();
    EXPECT_EQ(com_read(&byte, 1), 0);
    EXPECT_GE(ms_since(start), 950);
    ASSERT_TRUE(modbus_read_holding(7, 0x0200, 2, registers.data()));
}

}  // namespace
