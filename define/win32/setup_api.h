// The calls of the device installation services (setupapi.dll) that list HID interfaces and
// serial ports, bound when first made (LateEntry) instead of imported: a program that lists
// neither devices nor ports never loads that DLL, nor the DLLs it brings (rpcrt4.dll among
// them). Each takes the arguments of the system's call of that name; when the DLL or the call
// is not there, it fails as that call fails, with the reason in GetLastError.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace late_setup {

HDEVINFO WINAPI get_class_devs(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL WINAPI enum_device_interfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* class_guid, DWORD index,
                                   PSP_DEVICE_INTERFACE_DATA data);
BOOL WINAPI get_device_interface_detail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                        PDWORD required_size, PSP_DEVINFO_DATA device);
BOOL WINAPI destroy_device_info_list(HDEVINFO set);
BOOL WINAPI enum_device_info(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
HKEY WINAPI open_dev_reg_key(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD key_type,
                             REGSAM access);

}  // namespace late_setup
