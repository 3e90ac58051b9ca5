#include "app/win32/carried_image.h"

#include <windows.h>

#ifndef LIRVAN_UPDATE_VERSION_WORD
#error "the build gives the carried image's version word"
#endif

CarriedImage carried_update_image()
{
    CarriedImage image;
    image.version_word = LIRVAN_UPDATE_VERSION_WORD;
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
