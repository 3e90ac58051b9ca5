// The report-descriptor parser against a second reading of the descriptor rules, written the
// other way round: the descriptor is first cut into items, then the items are evaluated.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "device/report_descriptor.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Item {
    unsigned type;  // 0 main, 1 global, 2 local, 3 reserved
    unsigned tag;
    std::uint32_t value;
};

// Short items: one prefix byte (data size 0, 1, 2 or 4 in bits 0-1, type in bits 2-3, tag
// in bits 4-7) and the data, little-endian. Long items (prefix 0xFE, data size, tag, data)
// carry nothing that counts. nullopt when an item runs past the end.
std::optional<std::vector<Item>> items_of(const std::uint8_t* d, std::size_t n)
{
    std::vector<Item> items;
    std::size_t i = 0;
    while (i < n) {
        if (d[i] == 0xFE) {
            if (n - i < 3 || n - i - 3 < d[i + 1]) return std::nullopt;
            i += 3 + std::size_t{d[i + 1]};
            continue;
        }
        const std::size_t length = (d[i] & 3) == 3 ? 4 : (d[i] & 3);
        if (n - i - 1 < length) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t k = length; k-- > 0;) value = value << 8 | d[i + 1 + k];
        items.push_back({(d[i] >> 2) & 3u, unsigned{d[i]} >> 4, value});
        i += 1 + length;
    }
    return items;
}

std::optional<std::size_t> model_feature_length(const std::uint8_t* d, std::size_t n)
{
    const auto items = items_of(d, n);
    if (!items) return std::nullopt;
    struct State {
        std::uint32_t size = 0, count = 0, id = 0;
    } state;
    std::vector<State> pushed;
    std::map<std::uint32_t, std::uint64_t> bits;  // per report id
    for (const Item& item : *items) {
        if (item.type == 0 && item.tag == 0xB) bits[state.id] += std::uint64_t{state.size} * state.count;
        if (item.type != 1) continue;
        switch (item.tag) {
        case 0x7:  // Report Size: at most 256 bits (the kernel's limit)
            if (item.value > 256) return std::nullopt;
            state.size = item.value;
            break;
        case 0x9:  // Report Count: at most 12288
            if (item.value > 12288) return std::nullopt;
            state.count = item.value;
            break;
        case 0x8:  // Report ID: 1..255
            if (item.value < 1 || item.value > 255) return std::nullopt;
            state.id = item.value;
            break;
        case 0xA:  // Push: four deep at most
            if (pushed.size() == 4) return std::nullopt;
            pushed.push_back(state);
            break;
        case 0xB:  // Pop
            if (pushed.empty()) return std::nullopt;
            state = pushed.back();
            pushed.pop_back();
            break;
        default:
            break;
        }
    }
    std::size_t longest = 0;
    for (const auto& [id, b] : bits) longest = std::max<std::size_t>(longest, (b + 7) / 8 + 1);
    return longest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly the input's size, so that a read past its end is caught.
    const std::vector<std::uint8_t> descriptor(data, data + size);
    const auto got = descriptor_feature_length(descriptor.data(), descriptor.size());
    FUZZ_CHECK(got == model_feature_length(descriptor.data(), descriptor.size()));
    return 0;
}
