// The carried images of a Windows executable: its raw-data resources "<name>" and
// "<name>Version" (the version word as decimal text).
#include "app/carried_update.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The raw data resource `name` of this executable; empty when it carries none. A resource of
// the executable stays mapped until the process ends; nothing is freed.
std::string_view resource_bytes(const std::wstring& name)
{
    HRSRC found = FindResourceW(nullptr, name.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, found)};
}

// The version word beside the image; 0 when missing or unreadable.
std::uint32_t version_of(const std::wstring& name)
{
    const std::string text(resource_bytes(name + L"Version"));
    char* end = nullptr;
    const unsigned long word = std::strtoul(text.c_str(), &end, 10);
    return end != text.c_str() ? static_cast<std::uint32_t>(word) : 0;
}

CarriedImage carried(const std::wstring& name)
{
    CarriedImage image;
    image.version_word = version_of(name);
    const std::string_view bytes = resource_bytes(name);
    if (bytes.data() == nullptr) return image;
    image.data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    image.size = bytes.size();
    return image;
}

}  // namespace

CarriedImage carried_update_image() { return carried(L"Update"); }

std::uint32_t carried_update_version() { return version_of(L"Update"); }

CarriedImage carried_demo_update_image() { return carried(L"DemoUpdate"); }
