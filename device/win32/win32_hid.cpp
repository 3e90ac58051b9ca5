#include "device/win32/win32_hid.h"

#include <cstddef>
#include <cwchar>
#include <vector>

#include "define/wide_text.h"
#include "device/system_hid.h"
#include "define/win32/setup_api.h"

namespace {

HANDLE to_handle(HidHandleId h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

Win32Calls system_win32_calls()
{
    Win32Calls c;
    c.get_class_devs = &late_setup::get_class_devs;
    c.enum_device_interfaces = &late_setup::enum_device_interfaces;
    c.get_device_interface_detail = &late_setup::get_device_interface_detail;
    c.destroy_device_info_list = &late_setup::destroy_device_info_list;
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

Win32Hid::~Win32Hid()
{
    for (auto& [id, open] : open_) release_claim(open);
}

std::wstring claim_mutex_name(const std::wstring& device_path)
{
    // FNV-1a over the path with its letters in upper case (device paths are ASCII): a
    // backslash may not appear in an object's name, and a device path can be longer than a
    // name may be.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (wchar_t c : device_path) {
        const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        hash = (hash ^ static_cast<std::uint16_t>(upper)) * 0x100000001B3ull;
    }
    wchar_t digits[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = L"0123456789abcdef"[hash & 15];
    digits[16] = L'\0';
    return std::wstring(L"Global\\lirvan-nc31-module-") + digits;
}

HidClaim Win32Hid::claim(HidHandleId h)
{
    const auto it = open_.find(h);
    if (it == open_.end()) return HidClaim::failed;
    if (it->second.claim != nullptr) return HidClaim::held;
    // A mutex may be taken again by the thread that owns it: another handle of this program on
    // the same interface is turned away here.
    const std::wstring name = claim_mutex_name(it->second.path);
    for (const auto& [id, other] : open_)
        if (id != h && other.claim != nullptr && claim_mutex_name(other.path) == name)
            return HidClaim::busy;
    // A null access list, so that a program of another user opens the same mutex.
    SECURITY_DESCRIPTOR descriptor{};
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const HANDLE mutex = ::CreateMutexW(&attributes, FALSE, name.c_str());
    // Refused access to a mutex of that name: another program made it and holds the name.
    if (mutex == nullptr) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) return HidClaim::busy;
        fail("CreateMutexW", error);
        return HidClaim::failed;
    }
    switch (::WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without letting go: the interface is free
        it->second.claim = mutex;
        return HidClaim::held;
    case WAIT_TIMEOUT:
        ::CloseHandle(mutex);
        return HidClaim::busy;
    default:
        fail("WaitForSingleObject");
        ::CloseHandle(mutex);
        return HidClaim::failed;
    }
}

bool Win32Hid::fail(const char* call, DWORD error)
{
    record_failure(failure_, call, static_cast<int>(error));
    return false;
}

void Win32Hid::release_claim(OpenInterface& open)
{
    if (open.claim == nullptr) return;
    ::ReleaseMutex(open.claim);
    ::CloseHandle(open.claim);
    open.claim = nullptr;
}

bool Win32Hid::list_interfaces(std::vector<HidInterfaceInfo>& out)
{
    out.clear();
    if (!library_ || !library_->bound()) return false;

    GUID hid_class{};
    library_->get_hid_guid()(&hid_class);
    const HDEVINFO set = calls_.get_class_devs(&hid_class, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);  // 18
    if (set == INVALID_HANDLE_VALUE) return fail("SetupDiGetClassDevsW");

    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!calls_.enum_device_interfaces(set, nullptr, &hid_class, index, &interface)) break;

        DWORD needed = 0;
        if (calls_.get_device_interface_detail(set, &interface, nullptr, 0, &needed, nullptr)) continue;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
            fail("SetupDiGetDeviceInterfaceDetailW");
            continue;
        }

        // The record with 10 bytes to spare; its size field holds the fixed header size, as
        // the platform requires. Whole 8-byte words keep it aligned for its header.
        const DWORD record_size = needed + 10;
        std::vector<std::uint64_t> storage((record_size + 7) / 8);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!calls_.get_device_interface_detail(set, &interface, detail, record_size, nullptr,
                                                nullptr)) {
            fail("SetupDiGetDeviceInterfaceDetailW");
            continue;
        }
        // The path ends at its terminator, and never later than the record does.
        const std::size_t max_chars =
            (record_size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::size_t length = ::wcsnlen(detail->DevicePath, max_chars);
        HidInterfaceInfo info;
        info.path = narrow(std::wstring_view(detail->DevicePath, length));
        out.push_back(std::move(info));
    }
    calls_.destroy_device_info_list(set);
    return true;
}

HidHandleId Win32Hid::open(const std::string& path)
{
    if (!library_ || !library_->bound()) return invalid_hid_id;
    const std::wstring wide = widen(path);
    const HANDLE h = calls_.create_file(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail("CreateFileW");
        return invalid_hid_id;
    }
    const auto id = reinterpret_cast<HidHandleId>(h);
    open_[id] = OpenInterface{wide, nullptr};
    return id;
}

bool Win32Hid::attributes(HidHandleId h, std::uint16_t& vendor_id, std::uint16_t& product_id)
{
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;  // 12
    if (!library_->get_attributes()(to_handle(h), &attributes)) return fail("HidD_GetAttributes");
    vendor_id = attributes.VendorID;
    product_id = attributes.ProductID;
    return true;
}

bool Win32Hid::feature_report_length(HidHandleId h, std::size_t& length)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!library_->get_preparsed_data()(to_handle(h), &preparsed)) return fail("HidD_GetPreparsedData");
    HIDP_CAPS caps{};
    // A status of its own, no system error code.
    const bool ok = library_->get_caps()(preparsed, &caps) == HIDP_STATUS_SUCCESS || fail("HidP_GetCaps", 0);
    library_->free_preparsed_data()(preparsed);
    if (ok) length = caps.FeatureReportByteLength;
    return ok;
}

bool Win32Hid::set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length)
{
    // The platform takes the buffer as writable but only reads it.
    return library_->set_feature()(to_handle(h), const_cast<std::uint8_t*>(buf),
                                   static_cast<ULONG>(length)) ||
           fail("HidD_SetFeature");
}

bool Win32Hid::get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length)
{
    return library_->get_feature()(to_handle(h), buf, static_cast<ULONG>(length)) || fail("HidD_GetFeature");
}

void Win32Hid::close(HidHandleId h)
{
    const auto it = open_.find(h);
    if (it != open_.end()) {
        release_claim(it->second);
        open_.erase(it);
    }
    calls_.close_handle(to_handle(h));
}
