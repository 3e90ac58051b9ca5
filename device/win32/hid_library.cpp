#include "device/win32/hid_library.h"

#include <cstring>

#include "define/win32/system_library.h"

namespace {

// When an entry point is looked up: always, or only on newer NT systems.
enum class When { always, nt_5_and_minor_1, nt_5 };

struct EntrySpec {
    const char* name;
    When when;
};

constexpr EntrySpec entry_specs[HidLibrary::entry_count] = {
    {"HidD_Hello", When::always},
    {"HidD_GetHidGuid", When::always},
    {"HidD_GetPreparsedData", When::always},
    {"HidD_FreePreparsedData", When::always},
    {"HidD_GetConfiguration", When::always},
    {"HidD_SetConfiguration", When::always},
    {"HidD_FlushQueue", When::always},
    {"HidD_GetFeature", When::always},
    {"HidD_SetFeature", When::always},
    {"HidD_GetNumInputBuffers", When::always},
    {"HidD_SetNumInputBuffers", When::always},
    {"HidD_GetAttributes", When::always},
    {"HidD_GetManufacturerString", When::always},
    {"HidD_GetProductString", When::always},
    {"HidD_GetSerialNumberString", When::always},
    {"HidD_GetPhysicalDescriptor", When::always},
    {"HidD_GetIndexedString", When::always},
    {"HidD_GetInputReport", When::nt_5_and_minor_1},
    {"HidD_SetOutputReport", When::nt_5_and_minor_1},
    {"HidP_GetCaps", When::always},
    {"HidP_GetLinkCollectionNodes", When::always},
    {"HidP_GetSpecificButtonCaps", When::always},
    {"HidP_GetSpecificValueCaps", When::always},
    {"HidP_GetData", When::always},
    {"HidP_SetData", When::always},
    {"HidP_MaxDataListLength", When::always},
    {"HidP_GetUsages", When::always},
    {"HidP_GetUsagesEx", When::always},
    {"HidP_SetUsages", When::always},
    {"HidP_UnsetUsages", When::always},
    {"HidP_MaxUsageListLength", When::always},
    {"HidP_GetUsageValue", When::always},
    {"HidP_GetScaledUsageValue", When::always},
    {"HidP_GetUsageValueArray", When::always},
    {"HidP_SetUsageValue", When::always},
    {"HidP_SetScaledUsageValue", When::always},
    {"HidP_SetUsageValueArray", When::always},
    {"HidP_UsageListDifference", When::always},
    {"HidP_TranslateUsagesToI8042ScanCodes", When::always},
    {"HidP_GetExtendedAttributes", When::nt_5},
    {"HidP_InitializeReportForID", When::nt_5},
};

bool wanted(When when, const PlatformVersion& v)
{
    switch (when) {
    case When::always: return true;
    // The two conditions on the version are tested separately, as the library's own binding
    // always did: a system numbered 6.0 or 10.0 does not look these two up. They are not used.
    case When::nt_5_and_minor_1: return v.nt && v.major >= 5 && v.minor >= 1;
    case When::nt_5: return v.nt && v.major >= 5;
    }
    return false;
}

}  // namespace

PlatformVersion system_platform_version()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    PlatformVersion v;
    if (!::GetVersionExW(&info)) return v;
    v.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    return v;
}

HidLibrary::HidLibrary(const Lookup& lookup, const PlatformVersion& version)
{
    bind(lookup, version);
}

HidLibrary::HidLibrary() : module_(load_system_library(L"HID.dll")) { bind_loaded(); }

HidLibrary::HidLibrary(const wchar_t* file)
{
    // A missing library must not bring up the system's "cannot find file" box: the tool
    // then runs without it.
    const UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module_ = ::LoadLibraryW(file);
    ::SetErrorMode(old_mode);
    bind_loaded();
}

void HidLibrary::bind_loaded()
{
    if (module_ == nullptr) return;
    const HMODULE module = module_;
    bind([module](const char* name) { return ::GetProcAddress(module, name); },
         system_platform_version());
    if (!bound_) {
        ::FreeLibrary(module_);
        module_ = nullptr;
    }
}

HidLibrary::~HidLibrary()
{
    if (module_ != nullptr) ::FreeLibrary(module_);
}

void HidLibrary::bind(const Lookup& lookup, const PlatformVersion& version)
{
    bound_ = false;
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (!wanted(entry_specs[i].when, version)) continue;
        entries_[i] = lookup(entry_specs[i].name);
        if (entries_[i] == nullptr) {
            entries_.fill(nullptr);  // all or nothing
            return;
        }
    }
    bound_ = true;
}

FARPROC HidLibrary::entry(const char* name) const
{
    for (std::size_t i = 0; i < entry_count; ++i)
        if (std::strcmp(entry_specs[i].name, name) == 0) return entries_[i];
    return nullptr;
}

// FARPROC to the entry point's own type: the cast that GetProcAddress always needs.
#define LIRVAN_TYPED_ENTRY(method, name)                                      \
    decltype(&name) HidLibrary::method() const                               \
    {                                                                        \
        return reinterpret_cast<decltype(&name)>(                            \
            reinterpret_cast<void (*)()>(entry(#name)));                     \
    }
LIRVAN_TYPED_ENTRY(get_hid_guid, HidD_GetHidGuid)
LIRVAN_TYPED_ENTRY(get_attributes, HidD_GetAttributes)
LIRVAN_TYPED_ENTRY(get_preparsed_data, HidD_GetPreparsedData)
LIRVAN_TYPED_ENTRY(free_preparsed_data, HidD_FreePreparsedData)
LIRVAN_TYPED_ENTRY(get_caps, HidP_GetCaps)
LIRVAN_TYPED_ENTRY(set_feature, HidD_SetFeature)
LIRVAN_TYPED_ENTRY(get_feature, HidD_GetFeature)
#undef LIRVAN_TYPED_ENTRY
