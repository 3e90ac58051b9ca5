#include "app/win32/carried_image.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The raw data resource `name` of this executable; empty when it carries none.
std::string_view resource_bytes(const wchar_t* name)
{
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, found)};
}

// The version word beside the image, as decimal text; 0 when missing or unreadable.
std::uint32_t carried_update_version()
{
    const std::string text(resource_bytes(L"UpdateVersion"));
    char* end = nullptr;
    const unsigned long word = std::strtoul(text.c_str(), &end, 10);
    return end != text.c_str() ? static_cast<std::uint32_t>(word) : 0;
}

}  // namespace

CarriedImage carried_update_image()
{
    CarriedImage image;
    image.version_word = carried_update_version();
    HRSRC found = FindResourceW(nullptr, L"Update", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) return image;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return image;
    // A resource of the executable stays mapped until the process ends; nothing is freed.
    image.data = static_cast<const std::uint8_t*>(bytes);
    image.size = SizeofResource(nullptr, found);
    return image;
}
