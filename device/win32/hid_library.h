// HID.dll bound at run time: loaded once by name, its entry points looked up one by one in a
// fixed order, all or nothing. A program without a usable HID library still runs; its
// searches simply find no module.
#pragma once

#include <windows.h>
extern "C" {
#include <hidsdi.h>
}

#include <array>
#include <cstddef>
#include <functional>

// The platform version as the binding's conditions test it.
struct PlatformVersion {
    bool nt = false;  // the NT platform (VER_PLATFORM_WIN32_NT)
    DWORD major = 0;
    DWORD minor = 0;
};
// What this process is told by the system (GetVersionExW).
PlatformVersion system_platform_version();

class HidLibrary {
public:
    // How many entry points the binding knows (all looked up on a current NT system but two).
    static constexpr std::size_t entry_count = 41;

    // Binds from a lookup by name that gives null for a missing entry point; nothing is
    // loaded or released. The simulated module of the tests stands behind such a lookup.
    using Lookup = std::function<FARPROC(const char* name)>;
    HidLibrary(const Lookup& lookup, const PlatformVersion& version);
    // Loads the system's HID.dll from the system folder (never one beside the program) and
    // binds it; released again at once when an entry point is missing.
    HidLibrary();
    // The same for the library `file` (a name is looked for where the system looks).
    explicit HidLibrary(const wchar_t* file);
    ~HidLibrary();  // releases the library
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    // True when every entry point that the conditions ask for was found.
    bool bound() const { return bound_; }
    // Whether the library file stays loaded (bound from a file).
    bool loaded() const { return module_ != nullptr; }

    // The entry points the device link uses; null while unbound.
    decltype(&HidD_GetHidGuid) get_hid_guid() const;
    decltype(&HidD_GetAttributes) get_attributes() const;
    decltype(&HidD_GetPreparsedData) get_preparsed_data() const;
    decltype(&HidD_FreePreparsedData) free_preparsed_data() const;
    decltype(&HidP_GetCaps) get_caps() const;
    decltype(&HidD_SetFeature) set_feature() const;
    decltype(&HidD_GetFeature) get_feature() const;

private:
    void bind(const Lookup& lookup, const PlatformVersion& version);
    void bind_loaded();
    FARPROC entry(const char* name) const;

    HMODULE module_ = nullptr;
    bool bound_ = false;
    std::array<FARPROC, entry_count> entries_{};
};
