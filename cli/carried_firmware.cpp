#include "cli/carried_firmware.h"

#include <cstring>
#include <vector>

#ifdef LIRVAN_CLI_FIRMWARE_FILE
// The file's bytes go into the read-only data of the executable as they are.
#ifdef _WIN32
#define LIRVAN_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#else
#define LIRVAN_READ_ONLY_SECTION ".section .rodata\n"
#endif
asm(LIRVAN_READ_ONLY_SECTION
    ".balign 16\n"
    "lirvan_cli_firmware_begin:\n"
    ".incbin \"" LIRVAN_CLI_FIRMWARE_FILE "\"\n"
    "lirvan_cli_firmware_end:\n"
    ".previous\n");
extern "C" const std::uint8_t lirvan_cli_firmware_begin[];
extern "C" const std::uint8_t lirvan_cli_firmware_end[];
#endif

namespace {
constexpr std::uint32_t demo_version_word = 0x00043600;  // 4.36
constexpr std::size_t demo_image_size = 248488;
}  // namespace

CarriedImage carried_firmware()
{
    CarriedImage f;
#ifdef LIRVAN_CLI_FIRMWARE_FILE
    f.data = lirvan_cli_firmware_begin;
    f.size = static_cast<std::size_t>(lirvan_cli_firmware_end - lirvan_cli_firmware_begin);
    f.version_word = LIRVAN_CLI_FIRMWARE_VERSION_WORD;
#endif
    return f;
}

CarriedImage demo_firmware()
{
    static const std::vector<std::uint8_t> image = [] {
        const char banner[] = "LIRVAN NC-31 DEMO FIRMWARE IMAGE - FOR THE SIMULATED MODULE ONLY\n";
        std::vector<std::uint8_t> bytes(demo_image_size);
        std::memcpy(bytes.data(), banner, sizeof banner - 1);
        for (std::size_t i = sizeof banner - 1; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(1 + i % 255);
        return bytes;
    }();
    CarriedImage f{image.data(), image.size(), demo_version_word};
    const CarriedImage real = carried_firmware();
    if (real.size != 0) f.version_word = real.version_word;
    return f;
}
