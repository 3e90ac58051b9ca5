// The Windows serial layer under wine: the port listing over a made-up machine (its device
// enumeration and a made-up registry map), and the register read over COM ports that lirvan-serial-peer links to pseudo-terminals served by
// libmodbus's RTU server and by a scripted peer (skipped when run without the peer).
#include <gtest/gtest.h>

#include <initguid.h>
#include <devguid.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
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

// A made-up machine behind the port listing's calls: devices of the ports class, each with
// the "PortName" its hardware key holds (or a key that cannot be opened, a value of another
// type), counting what was handed out and given back.
struct PortDevice {
    std::wstring name;
    bool key_opens = true;
    DWORD type = REG_SZ;
};
struct Machine {
    bool list_fails = false;
    std::vector<PortDevice> devices;
    int lists = 0, destroys = 0, opened = 0, closed = 0;
};
Machine* machine = nullptr;
HDEVINFO const port_set = reinterpret_cast<HDEVINFO>(0x9A7);

HDEVINFO WINAPI get_class_devs(const GUID* guid, PCWSTR enumerator, HWND window, DWORD flags)
{
    ++machine->lists;
    const bool ok = !machine->list_fails && IsEqualGUID(*guid, GUID_DEVCLASS_PORTS) && !enumerator && !window &&
                    flags == DIGCF_PRESENT;
    return ok ? port_set : INVALID_HANDLE_VALUE;
}
BOOL WINAPI enum_device_info(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data)
{
    if (set != port_set || index >= machine->devices.size()) return SetLastError(ERROR_NO_MORE_ITEMS), FALSE;
    data->DevInst = index;
    return TRUE;
}
HKEY WINAPI open_device_key(HDEVINFO, PSP_DEVINFO_DATA data, DWORD scope, DWORD profile, DWORD key_type, REGSAM access)
{
    if (!machine->devices.at(data->DevInst).key_opens || scope != DICS_FLAG_GLOBAL || profile != 0 ||
        key_type != DIREG_DEV || access != KEY_READ)
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    ++machine->opened;
    return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1000 + data->DevInst));
}
LSTATUS WINAPI query_value(HKEY key, LPCWSTR value, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    const PortDevice& d = machine->devices.at(reinterpret_cast<std::uintptr_t>(key) - 0x1000);
    const DWORD needed = static_cast<DWORD>((d.name.size() + 1) * sizeof(wchar_t));
    if (std::wcscmp(value, L"PortName") != 0) return ERROR_FILE_NOT_FOUND;
    if (needed > *size) return *size = needed, ERROR_MORE_DATA;
    std::memcpy(data, d.name.c_str(), *size = needed);
    *type = d.type;
    return ERROR_SUCCESS;
}
LSTATUS WINAPI close_key(HKEY) { return ++machine->closed, ERROR_SUCCESS; }
BOOL WINAPI destroy_list(HDEVINFO set) { return set == port_set && ++machine->destroys; }

class PortListing : public ::testing::Test {
protected:
    void SetUp() override { machine = &m; }
    void TearDown() override
    {
        machine = nullptr;
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\lirvan-test");
    }
    // The made-up serial-port map, in the registry of the test's user: the names given, in
    // that order, and a value that is not a name at all.
    void map(const std::vector<std::wstring>& names)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, map_key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (std::size_t i = 0; i < names.size(); ++i)
            RegSetValueExW(key, (L"\\Device\\Serial" + std::to_wstring(i)).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(names[i].c_str()),
                           static_cast<DWORD>((names[i].size() + 1) * sizeof(wchar_t)));
        const DWORD number = 4;
        RegSetValueExW(key, L"\\Device\\NotAName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
        RegCloseKey(key);
    }
    std::vector<std::string> list()
    {
        std::vector<std::string> out{"left over"};
        com_port_list_with({get_class_devs, enum_device_info, open_device_key, query_value, close_key,
                            destroy_list, HKEY_CURRENT_USER, map_key},
                           out);
        return out;
    }
    static constexpr const wchar_t* map_key = L"Software\\lirvan-test\\SERIALCOMM";
    Machine m;
};

TEST_F(PortListing, TakesEachDevicesPortNameByTheRuleAndNeverTheMapWhenAnyIsListed)
{
    map({L"COM77"});
    m.devices = {{L"COM12"}, {L"com5"}, {L"COM0"}, {L"COM"}, {L"COMx"}, {L"LPT1"}, {L"COM3", false},
                 {L"COM4", true, REG_DWORD}, {L"COM12345678"}, {L"COM1234567"}, {L"Com007"}};
    EXPECT_EQ(list(), (std::vector<std::string>{"COM12", "com5", "COM1234567", "Com007"}));
    EXPECT_EQ(m.opened, 10);
    EXPECT_EQ(m.closed, m.opened);
    EXPECT_EQ(m.destroys, m.lists);
}

// The map takes names by the same rule, in its own order, and only its string values.
TEST_F(PortListing, TheMapServesOnlyWhenTheEnumerationListsNoPort)
{
    EXPECT_TRUE(list().empty()) << "no port and no map";
    map({L"COM12", L"com5", L"COM0", L"COM", L"COMx", L"LPT1", L"COM3x", L"COM12345678", L"COM1234567", L"Com007"});
    m.devices = {{L"LPT1"}, {L"COM2", false}};  // devices, but no port among them
    const std::vector<std::string> mapped{"COM12", "com5", "COM1234567", "Com007"};
    EXPECT_EQ(list(), mapped);
    m.list_fails = true;
    EXPECT_EQ(list(), mapped);
    EXPECT_EQ(m.destroys, 2) << "the sets made are released, the one refused is not";
}

TEST(ComOpenWin32, AnAbsentPortFailsAndLeavesNothingOpen)
{
    EXPECT_FALSE(com_open("COM199", 57600));
    EXPECT_EQ(com_handle, -1);
    EXPECT_STREQ(com_last_failure().call, "CreateFileW");  // the reason is kept for the log
    EXPECT_EQ(com_last_failure().error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(com_write(reinterpret_cast<const std::uint8_t*>("x"), 1));
    std::uint8_t byte = 0;
    EXPECT_EQ(com_read(&byte, 1), -1);
}

// A transfer that fails behind the port's calls: what was left unsent is thrown away, the
// port's error state is cleared (a driver that aborted on a line error takes no more I/O until
// then) and the failing call is kept; a whole write purges nothing still on its way out.
namespace io_fake {
std::string calls;
BOOL ok = TRUE;
DWORD left = 0;  // bytes a write leaves unsent
BOOL WINAPI write(HANDLE, LPCVOID, DWORD n, LPDWORD done, LPOVERLAPPED)
{
    return calls += "write ", *done = ok ? n - left : 0, SetLastError(ERROR_OPERATION_ABORTED), ok;
}
BOOL WINAPI read(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED)
{
    return calls += "read ", *got = 0, SetLastError(ERROR_OPERATION_ABORTED), ok;
}
BOOL WINAPI purge(HANDLE, DWORD flags) { return calls += "purge" + std::to_string(flags) + " ", TRUE; }
BOOL WINAPI clear_error(HANDLE, LPDWORD errors, LPCOMSTAT) { return calls += "clear", *errors = CE_FRAME, TRUE; }
}  // namespace io_fake

TEST(ComTransferWin32, AFailedTransferPurgesWhatIsLeftAndClearsThePortsErrorState)
{
    static_assert(PURGE_TXABORT + PURGE_TXCLEAR == 5);
    const struct {
        BOOL ok;
        DWORD left;
        bool reading;
        const char* calls;
        DWORD error;  // 0: the transfer went well
    } cases[] = {{FALSE, 0, false, "write purge5 clear", ERROR_OPERATION_ABORTED},
                 {TRUE, 2, false, "write purge5 clear", ERROR_TIMEOUT},
                 {TRUE, 0, false, "write ", 0},
                 {FALSE, 0, true, "read clear", ERROR_OPERATION_ABORTED}};
    com_use_io_calls({&io_fake::write, &io_fake::read, &io_fake::purge, &io_fake::clear_error});
    com_handle = 0x1234;  // an open port, as far as the layer can tell
    for (const auto& c : cases) {
        io_fake::calls.clear();
        io_fake::ok = c.ok;
        io_fake::left = c.left;
        const unsigned long failures = com_last_failure().count;
        std::uint8_t frame[8] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
        if (c.reading) EXPECT_EQ(com_read(frame, sizeof frame), -1);
        else EXPECT_EQ(com_write(frame, sizeof frame), c.error == 0);
        EXPECT_EQ(io_fake::calls, c.calls);
        EXPECT_EQ(com_last_failure().count, failures + (c.error != 0));
        if (c.error == 0) continue;
        EXPECT_STREQ(com_last_failure().call, c.reading ? "ReadFile" : "WriteFile");
        EXPECT_EQ(com_last_failure().error, static_cast<int>(c.error));
    }
    com_handle = -1;
    com_use_io_calls({});
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
    // A read gives up after a second, a write must be done within one.
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(reinterpret_cast<HANDLE>(com_handle), &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
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
