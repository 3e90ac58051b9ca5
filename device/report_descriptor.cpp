#include "device/report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace {

// Item types in bits 2-3 of a short item's prefix.
constexpr std::uint8_t type_main = 0;
constexpr std::uint8_t type_global = 1;

// Tags (bits 4-7) of the items that matter for report lengths.
constexpr std::uint8_t main_feature = 0xB;
constexpr std::uint8_t global_report_size = 0x7;
constexpr std::uint8_t global_report_id = 0x8;
constexpr std::uint8_t global_report_count = 0x9;
constexpr std::uint8_t global_push = 0xA;
constexpr std::uint8_t global_pop = 0xB;

constexpr std::uint8_t long_item_prefix = 0xFE;

// The kernel's limits: deeper Push stacks, larger Report Sizes and Counts make it refuse the
// descriptor, so no hidraw node would exist for such a device anyway.
constexpr std::size_t max_push_depth = 4;
constexpr std::uint32_t max_report_size = 256;
constexpr std::uint32_t max_report_count = 12288;

struct Globals {
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint8_t report_id = 0;  // 0: the device does not number its reports
};

}  // namespace

std::optional<std::size_t> descriptor_feature_length(const std::uint8_t* descriptor,
                                                     std::size_t size)
{
    if (descriptor == nullptr) size = 0;

    Globals globals;
    std::array<Globals, max_push_depth> stack{};
    std::size_t depth = 0;
    // Feature bits per report id. Both factors are bounded above, so a 4096-byte descriptor
    // cannot overflow 64 bits here.
    std::map<std::uint8_t, std::uint64_t> feature_bits;

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == long_item_prefix) {
            // Long item: prefix, data size, tag, data. Carries nothing that counts here.
            if (size - pos < 3) return std::nullopt;
            const std::size_t data_size = descriptor[pos + 1];
            if (size - pos - 3 < data_size) return std::nullopt;
            pos += 3 + data_size;
            continue;
        }

        static constexpr std::size_t data_sizes[4] = {0, 1, 2, 4};
        const std::size_t data_size = data_sizes[prefix & 0x3];
        if (size - pos - 1 < data_size) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < data_size; ++i)
            value |= std::uint32_t{descriptor[pos + 1 + i]} << (8 * i);
        pos += 1 + data_size;

        const std::uint8_t type = (prefix >> 2) & 0x3;
        const std::uint8_t tag = prefix >> 4;
        if (type == type_global) {
            switch (tag) {
            case global_report_size:
                if (value > max_report_size) return std::nullopt;
                globals.report_size = value;
                break;
            case global_report_count:
                if (value > max_report_count) return std::nullopt;
                globals.report_count = value;
                break;
            case global_report_id:
                if (value == 0 || value > 0xFF) return std::nullopt;
                globals.report_id = static_cast<std::uint8_t>(value);
                break;
            case global_push:
                if (depth == max_push_depth) return std::nullopt;
                stack[depth++] = globals;
                break;
            case global_pop:
                if (depth == 0) return std::nullopt;
                globals = stack[--depth];
                break;
            default:
                break;
            }
        } else if (type == type_main && tag == main_feature) {
            feature_bits[globals.report_id] +=
                std::uint64_t{globals.report_size} * globals.report_count;
        }
    }

    std::size_t longest = 0;
    for (const auto& [id, bits] : feature_bits) {
        // Whole bytes of the report's fields plus the report-id byte, counted even for the
        // unnumbered report.
        const std::size_t bytes = static_cast<std::size_t>((bits + 7) / 8) + 1;
        longest = std::max(longest, bytes);
    }
    return longest;
}
