// Serial ports on Windows: the ports listed through the device installation services, the
// port itself through the Win32 communications functions.
//
// Listing takes the present devices of the ports class and reads each one's "PortName" from
// its hardware key. A name is taken when it is "COM" (any case) followed by a positive decimal
// number and fits in 10 characters; nothing is opened. Where that lists no port at all (wine
// enters no devices of the class), the names come from the system's serial-port map,
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, under the same rule.
//
// com_open opens \\.\COMn for reading and writing, shared with no one, and sets 8 data bits,
// no parity, one stop bit at the caller's baud rate, leaving every other line setting as the
// driver has it. Time-outs: a read ends 1000 ms after it began with whatever has arrived; a
// write must be done within 1000 ms, as on Linux, so that a line held back by flow control
// fails the poll instead of holding the window. Both queues are purged; RTS is cleared and
// DTR set. After a failed read or write the port's error state is cleared (a driver that
// aborts on a line error takes no more I/O until then). Every failing call is kept with its
// GetLastError code for the log. The transfer's calls sit in a table (PortIoCalls), so that a
// test can make a transfer fail.
#include "comport/serial_win32.h"

#include <windows.h>
#include <initguid.h>  // GUID_DEVCLASS_PORTS defined here
#include <devguid.h>

#include <algorithm>
#include <cwctype>

#include "comport/comport.h"
#include "comport/serial_port.h"
#include "define/wide_text.h"
#include "define/win32/setup_api.h"

std::intptr_t com_handle = -1;

namespace {

SystemFailure failure;
PortIoCalls io;  // the transfer's calls

// Records the failed call with the system's error code; false for the caller to pass on.
bool fail(const char* call, DWORD error = ::GetLastError())
{
    record_failure(failure, call, static_cast<int>(error));
    return false;
}

HANDLE port() { return reinterpret_cast<HANDLE>(com_handle); }

// Clears the port's error state after a failed transfer, so that the next poll can run.
void clear_port_error()
{
    DWORD errors = 0;
    io.clear_error(port(), &errors, nullptr);
}

bool port_open() { return port() != INVALID_HANDLE_VALUE; }

// "COM" in any case, then a decimal number greater than 0 up to the end; text that is not a
// decimal number counts as 0 and is refused.
bool accepted_port_name(const std::wstring& name)
{
    if (name.size() < 4) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::towupper(name[i]) != L"COM"[i]) return false;
    // At most 8 digits reach here (names are read into 11 characters), so no overflow.
    unsigned long number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') return false;
        number = number * 10 + static_cast<unsigned long>(name[i] - L'0');
    }
    return number > 0;
}

}  // namespace

PortListCalls system_port_list_calls()
{
    PortListCalls c;
    c.get_class_devs = &late_setup::get_class_devs;
    c.enum_device_info = &late_setup::enum_device_info;
    c.open_device_key = &late_setup::open_dev_reg_key;
    c.query_value = &RegQueryValueExW;
    c.close_key = &RegCloseKey;
    c.destroy_list = &late_setup::destroy_device_info_list;
    c.map_root = HKEY_LOCAL_MACHINE;
    c.map_key = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    return c;
}

void com_port_list(std::vector<std::string>& list) { com_port_list_with(system_port_list_calls(), list); }

void com_port_list_with(const PortListCalls& calls, std::vector<std::string>& list)
{
    list.clear();
    const HDEVINFO set = calls.get_class_devs(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD index = 0; calls.enum_device_info(set, index, &device); ++index) {
            // The device's hardware key, where its driver keeps the port's name. Opened through
            // setupapi.dll, which the listing binds anyway: the configuration manager's own
            // call would add cfgmgr32.dll, one more DLL the system looks for beside the program.
            const HKEY key = calls.open_device_key(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            if (key == INVALID_HANDLE_VALUE) continue;
            // 11 UTF-16 units, the terminator included: a longer name does not fit and is skipped.
            wchar_t data[11];
            DWORD size = sizeof data;
            DWORD type = 0;
            if (calls.query_value(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ) {
                std::wstring name;
                for (DWORD i = 0; i < size / sizeof(wchar_t) && data[i] != L'\0'; ++i) name.push_back(data[i]);
                if (accepted_port_name(name)) list.push_back(narrow(name));
            }
            calls.close_key(key);
        }
        calls.destroy_list(set);
    }
    if (list.empty()) com_port_list_in(calls.map_root, calls.map_key, list);
}

void com_port_list_in(HKEY root, const wchar_t* subkey, std::vector<std::string>& list)
{
    list.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        wchar_t value_name[16384];  // the longest value name the registry allows
        DWORD name_length = sizeof value_name / sizeof value_name[0];
        // 11 UTF-16 units, the terminator included: a longer name does not fit and is skipped.
        wchar_t data[11];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, value_name, &name_length, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        // The name as stored, up to its terminator and never beyond the data read.
        std::wstring name;
        for (DWORD i = 0; i < data_size / sizeof(wchar_t) && data[i] != L'\0'; ++i)
            name.push_back(data[i]);
        if (accepted_port_name(name)) list.push_back(narrow(name));
    }
    ::RegCloseKey(key);
}

bool com_open(const std::string& name, int baud)
{
    // At most one port is open: a port still open is closed rather than left behind unowned.
    if (port_open()) com_close();
    if (name.empty() || baud <= 0) return false;

    // A listed name becomes \\.\COMn (the form that reaches ports above COM9 too); a path
    // given whole is taken as it is.
    const std::wstring path = (name.rfind("\\\\", 0) == 0 ? L"" : L"\\\\.\\") + widen(name);

    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail("CreateFileW");

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    bool ok = ::GetCommState(h, &dcb) || fail("GetCommState");
    if (ok) {
        dcb.BaudRate = static_cast<DWORD>(baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ok = ::SetCommState(h, &dcb) || fail("SetCommState");
    }
    if (ok) {
        ::GetCommTimeouts(h, &timeouts);
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = com_read_timeout_ms;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = com_write_timeout_ms;
        ok = ::SetCommTimeouts(h, &timeouts) || fail("SetCommTimeouts");
    }
    if (ok) ok = ::PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR) || fail("PurgeComm");
    if (!ok) {
        ::CloseHandle(h);
        return false;
    }
    // Modem lines: a port without them (a virtual one) refuses; that is fine.
    ::EscapeCommFunction(h, CLRRTS);
    ::EscapeCommFunction(h, SETDTR);
    com_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

SystemFailure com_last_failure() { return failure; }

void com_close()
{
    if (port_open()) ::CloseHandle(port());
    com_handle = -1;
}

void com_purge()
{
    if (com_handle != -1) io.purge(port(), PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void com_use_io_calls(const PortIoCalls& calls) { io = calls; }

bool com_write(const std::uint8_t* data, std::size_t length)
{
    if (!port_open()) return false;
    std::size_t sent = 0;
    while (sent < length) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - sent, 1u << 30));
        DWORD written = 0;
        const bool ok = io.write(port(), data + sent, chunk, &written, nullptr) || fail("WriteFile");
        // Short of the chunk: the time-out ran out (flow control held the line back).
        if (ok && written < chunk) fail("WriteFile", ERROR_TIMEOUT);
        if (!ok || written < chunk) {
            // What is left unsent must not go out later, in front of another request.
            io.purge(port(), PURGE_TXABORT | PURGE_TXCLEAR);
            clear_port_error();
            return false;
        }
        sent += written;
    }
    return true;
}

long com_read(std::uint8_t* data, std::size_t length)
{
    if (!port_open()) return -1;
    // The port's total read time-out ends the read: all of it, or what came within 1000 ms.
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
    if (!io.read(port(), data, wanted, &got, nullptr)) {
        fail("ReadFile");
        clear_port_error();
        return -1;
    }
    return static_cast<long>(got);
}
