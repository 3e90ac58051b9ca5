// The carried images of a Linux executable: the symbols that the executable's generated source
// defines around its .incbin. They are weak here, so that an executable carrying none links
// and finds their addresses null.
#include "app/carried_update.h"

#include <cstddef>

extern "C" {
__attribute__((weak)) extern const std::uint8_t lirvan_carried_update_begin[];
__attribute__((weak)) extern const std::uint8_t lirvan_carried_update_end[];
__attribute__((weak)) extern const std::uint32_t lirvan_carried_update_version;
__attribute__((weak)) extern const std::uint8_t lirvan_carried_demo_update_begin[];
__attribute__((weak)) extern const std::uint8_t lirvan_carried_demo_update_end[];
__attribute__((weak)) extern const std::uint32_t lirvan_carried_demo_update_version;
}

namespace {

CarriedImage carried(const std::uint8_t* begin, const std::uint8_t* end, const std::uint32_t* version)
{
    if (begin == nullptr || end == nullptr || version == nullptr) return {};
    return {begin, static_cast<std::size_t>(end - begin), *version};
}

}  // namespace

CarriedImage carried_update_image()
{
    return carried(lirvan_carried_update_begin, lirvan_carried_update_end, &lirvan_carried_update_version);
}

std::uint32_t carried_update_version() { return carried_update_image().version_word; }

CarriedImage carried_demo_update_image()
{
    return carried(lirvan_carried_demo_update_begin, lirvan_carried_demo_update_end,
                   &lirvan_carried_demo_update_version);
}
