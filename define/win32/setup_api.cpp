#include "define/win32/setup_api.h"

#include "define/win32/system_library.h"

namespace late_setup {

namespace {

constexpr const wchar_t* library = L"setupapi.dll";
LateEntry class_devs{library, "SetupDiGetClassDevsW"};
LateEntry interfaces{library, "SetupDiEnumDeviceInterfaces"};
LateEntry interface_detail{library, "SetupDiGetDeviceInterfaceDetailW"};
LateEntry destroy_list{library, "SetupDiDestroyDeviceInfoList"};
LateEntry device_info{library, "SetupDiEnumDeviceInfo"};
LateEntry dev_reg_key{library, "SetupDiOpenDevRegKey"};

}  // namespace

HDEVINFO WINAPI get_class_devs(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    const auto call = class_devs.as<decltype(&SetupDiGetClassDevsW)>();
    return call != nullptr ? call(class_guid, enumerator, parent, flags) : INVALID_HANDLE_VALUE;
}

BOOL WINAPI enum_device_interfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* class_guid, DWORD index,
                                   PSP_DEVICE_INTERFACE_DATA data)
{
    const auto call = interfaces.as<decltype(&SetupDiEnumDeviceInterfaces)>();
    return call != nullptr && call(set, device, class_guid, index, data);
}

BOOL WINAPI get_device_interface_detail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                        PDWORD required_size, PSP_DEVINFO_DATA device)
{
    const auto call = interface_detail.as<decltype(&SetupDiGetDeviceInterfaceDetailW)>();
    return call != nullptr && call(set, data, detail, detail_size, required_size, device);
}

BOOL WINAPI destroy_device_info_list(HDEVINFO set)
{
    const auto call = destroy_list.as<decltype(&SetupDiDestroyDeviceInfoList)>();
    return call != nullptr && call(set);
}

BOOL WINAPI enum_device_info(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    const auto call = device_info.as<decltype(&SetupDiEnumDeviceInfo)>();
    return call != nullptr && call(set, index, device);
}

HKEY WINAPI open_dev_reg_key(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD key_type,
                             REGSAM access)
{
    const auto call = dev_reg_key.as<decltype(&SetupDiOpenDevRegKey)>();
    return call != nullptr ? call(set, device, scope, profile, key_type, access)
                           : static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

}  // namespace late_setup
