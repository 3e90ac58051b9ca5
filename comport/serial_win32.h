// Windows-only parts of the serial layer that its tests reach.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

// The platform calls of the port listing. The system's own by default (bound when first made,
// define/win32/setup_api.h); tests put a made-up machine behind them.
struct PortListCalls {
    decltype(&SetupDiGetClassDevsW) get_class_devs = nullptr;
    decltype(&SetupDiEnumDeviceInfo) enum_device_info = nullptr;
    decltype(&SetupDiOpenDevRegKey) open_device_key = nullptr;
    decltype(&RegQueryValueExW) query_value = nullptr;
    decltype(&RegCloseKey) close_key = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroy_list = nullptr;
    // The serial-port map read when the device enumeration lists no port.
    HKEY map_root = nullptr;
    const wchar_t* map_key = nullptr;
};
PortListCalls system_port_list_calls();

// com_port_list over the given calls.
void com_port_list_with(const PortListCalls& calls, std::vector<std::string>& list);
// The port listing from a registry key whose values are the port names (the system's map is
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM).
void com_port_list_in(HKEY root, const wchar_t* subkey, std::vector<std::string>& list);

// The platform calls of a transfer on the open port: the system's own unless a test puts
// others behind com_write, com_read and com_purge (a transfer that fails, say); {} gives the
// system's back.
struct PortIoCalls {
    decltype(&WriteFile) write = &::WriteFile;
    decltype(&ReadFile) read = &::ReadFile;
    decltype(&PurgeComm) purge = &::PurgeComm;
    decltype(&ClearCommError) clear_error = &::ClearCommError;
};
void com_use_io_calls(const PortIoCalls& calls);
