#include "device/win32/win32_hid.h"

#include <cstddef>
#include <cwchar>
#include <vector>

#include "device/system_hid.h"

namespace {

HANDLE to_handle(HidHandleId h) { return reinterpret_cast<HANDLE>(h); }

// Device paths cross the seam as UTF-8 and go back to the system as UTF-16 unchanged.
std::string to_utf8(const wchar_t* text, std::size_t length)
{
    if (length == 0) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr,
                              nullptr);
    return out;
}

std::wstring to_utf16(const std::string& text)
{
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              n);
    return out;
}

}  // namespace

Win32Calls system_win32_calls()
{
    Win32Calls c;
    c.get_class_devs = &SetupDiGetClassDevsW;
    c.enum_device_interfaces = &SetupDiEnumDeviceInterfaces;
    c.get_device_interface_detail = &SetupDiGetDeviceInterfaceDetailW;
    c.destroy_device_info_list = &SetupDiDestroyDeviceInfoList;
    c.create_file = &CreateFileW;
    c.close_handle = &CloseHandle;
    return c;
}

std::unique_ptr<Hid> make_system_hid()
{
    return std::make_unique<Win32Hid>(system_win32_calls(), std::make_unique<HidLibrary>());
}

Win32Hid::Win32Hid(const Win32Calls& calls, std::unique_ptr<HidLibrary> library)
    : calls_(calls), library_(std::move(library))
{
}

Win32Hid::~Win32Hid() = default;

bool Win32Hid::list_interfaces(std::vector<HidInterfaceInfo>& out)
{
    out.clear();
    if (!library_ || !library_->bound()) return false;

    GUID hid_class{};
    library_->get_hid_guid()(&hid_class);
    const HDEVINFO set = calls_.get_class_devs(&hid_class, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);  // 18
    if (set == INVALID_HANDLE_VALUE) return false;

    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!calls_.enum_device_interfaces(set, nullptr, &hid_class, index, &interface)) break;

        DWORD needed = 0;
        if (calls_.get_device_interface_detail(set, &interface, nullptr, 0, &needed, nullptr) ||
            ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
            continue;

        // The record with 10 bytes to spare; its size field holds the fixed header size, as
        // the platform requires. Whole 8-byte words keep it aligned for its header.
        const DWORD record_size = needed + 10;
        std::vector<std::uint64_t> storage((record_size + 7) / 8);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!calls_.get_device_interface_detail(set, &interface, detail, record_size, nullptr,
                                                nullptr))
            continue;
        // The path ends at its terminator, and never later than the record does.
        const std::size_t max_chars =
            (record_size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::size_t length = ::wcsnlen(detail->DevicePath, max_chars);
        HidInterfaceInfo info;
        info.path = to_utf8(detail->DevicePath, length);
        out.push_back(std::move(info));
    }
    calls_.destroy_device_info_list(set);
    return true;
}

HidHandleId Win32Hid::open(const std::string& path)
{
    if (!library_ || !library_->bound()) return invalid_hid_id;
    const std::wstring wide = to_utf16(path);
    const HANDLE h = calls_.create_file(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return invalid_hid_id;
    return reinterpret_cast<HidHandleId>(h);
}

bool Win32Hid::attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id)
{
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;  // 12
    if (!library_->get_attributes()(to_handle(h), &attributes)) return false;
    vendor_id = attributes.VendorID;
    product_id = attributes.ProductID;
    return true;
}

bool Win32Hid::feature_report_length(HidHandleId h, std::size_t& length)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!library_->get_preparsed_data()(to_handle(h), &preparsed)) return false;
    HIDP_CAPS caps{};
    const bool ok = library_->get_caps()(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    library_->free_preparsed_data()(preparsed);
    if (ok) length = caps.FeatureReportByteLength;
    return ok;
}

bool Win32Hid::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
{
    // The platform takes the buffer as writable but only reads it.
    return library_->set_feature()(to_handle(h), const_cast<std::uint8_t*>(buf),
                                   static_cast<ULONG>(length)) != FALSE;
}

bool Win32Hid::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    return library_->get_feature()(to_handle(h), buf, static_cast<ULONG>(length)) != FALSE;
}

void Win32Hid::close(HidHandleId h)
{
    calls_.close_handle(to_handle(h));
}
