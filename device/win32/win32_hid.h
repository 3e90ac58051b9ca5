// The Windows backend of the Hid seam: HID interfaces listed through the device installation
// services, opened with CreateFileW without asking for read or write access (so that
// interfaces held by other programs open too), and reached through the HID library bound at
// run time (HidLibrary).
//
// Listing asks, for every HID interface in the platform's order, for the size of its detail
// record (the query must fail with "insufficient buffer" and name a size other than 0) and
// then for the record itself, which gives the device path; an interface that fails either
// step is left out. Nothing but the list is opened while listing; discovery then opens the
// listed paths one by one and stops at the module.
//
// A claim is a named mutex of the global namespace whose name comes from the device path, so
// that every copy of the window and of the command line, in any session and for any user,
// meets the same one; the system lets go of it when its holder's program ends.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <map>
#include <memory>
#include <string>

#include "device/Hid.h"
#include "device/win32/hid_library.h"

// The platform calls the backend makes besides the HID library. The system's own by default
// (the listing's bound when first made, define/win32/setup_api.h); tests put a simulated bus
// behind them.
struct Win32Calls {
    decltype(&SetupDiGetClassDevsW) get_class_devs = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) enum_device_interfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailW) get_device_interface_detail = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroy_device_info_list = nullptr;
    decltype(&CreateFileW) create_file = nullptr;
    decltype(&CloseHandle) close_handle = nullptr;
};
Win32Calls system_win32_calls();

class Win32Hid : public Hid {
public:
    // The library stays bound while the backend lives and is released with it. An unbound
    // library makes every listing fail, so that every search finds nothing.
    Win32Hid(const Win32Calls& calls, std::unique_ptr<HidLibrary> library);
    ~Win32Hid() override;

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override;
    HidHandleId open(const std::string& path) override;
    bool attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id) override;
    bool feature_report_length(HidHandleId h, std::size_t& length) override;
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override;
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override;
    void close(HidHandleId h) override;
    HidClaim claim(HidHandleId h) override;
    // The last failing call, with its GetLastError code (0 for a call that sets none).
    SystemFailure last_failure() const override { return failure_; }

private:
    struct OpenInterface {
        std::wstring path;
        HANDLE claim = nullptr;  // the owned mutex while the claim stands
    };
    void release_claim(OpenInterface& open);
    // Records the failed call with the system's error code; false for the caller to pass on.
    bool fail(const char* call, DWORD error = ::GetLastError());

    Win32Calls calls_;
    std::unique_ptr<HidLibrary> library_;
    std::map<HidHandleId, OpenInterface> open_;
    SystemFailure failure_;
};

// The name of the mutex that claims the interface at this device path: the same for every
// spelling of the path's letters, as the system treats them.
std::wstring claim_mutex_name(const std::wstring& device_path);
