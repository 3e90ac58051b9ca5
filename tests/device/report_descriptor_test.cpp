#include "device/report_descriptor.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "hidraw/sample_descriptors.h"

namespace {

std::optional<std::size_t> length_of(const std::vector<std::uint8_t>& d)
{
    return descriptor_feature_length(d.data(), d.size());
}

TEST(ReportDescriptor, RealDevices)
{
    // The module: 64 data bytes and the report-id byte although reports are not numbered.
    EXPECT_EQ(length_of(sample::module_descriptor), 65u);
    // Input reports do not count, only the 32-byte feature report.
    EXPECT_EQ(length_of(sample::feature32_descriptor), 33u);
    // No Feature item: length 0, so such an interface never passes for the module.
    EXPECT_EQ(length_of(sample::boot_keyboard_descriptor), 0u);
    // Numbered reports: the largest feature report (id 0x44, 256 bytes) wins over report 3.
    EXPECT_EQ(length_of(sample::touchpad_descriptor), 257u);
    EXPECT_EQ(length_of({}), 0u);
}

TEST(ReportDescriptor, BitsPerReportIdAreSummedAndRoundedUp)
{
    const std::vector<std::uint8_t> d = {
        0x85, 0x01, 0x75, 0x01, 0x95, 0x07, 0xB1, 0x02,  // id 1: 7 bits -> 1 byte + id
        0x85, 0x02, 0x75, 0x03, 0x95, 0x03, 0xB1, 0x02,  // id 2: 9 bits ...
        0x75, 0x01, 0x95, 0x00, 0xB1, 0x03,              //       + 0 bits
        0x85, 0x01, 0x75, 0x08, 0x95, 0x01, 0xB1, 0x03,  // id 1 again: 8 more bits
        0x85, 0x02, 0x75, 0x04, 0x95, 0x02, 0x81, 0x02,  // input of id 2: not counted
    };
    // id 1: 15 bits -> 2 bytes + 1 = 3; id 2: 9 bits -> 2 bytes + 1 = 3.
    EXPECT_EQ(length_of(d), 3u);
    std::vector<std::uint8_t> more = d;
    more.insert(more.end(), {0x85, 0x02, 0x75, 0x01, 0x95, 0x08, 0xB1, 0x01});  // id 2: 17 bits
    EXPECT_EQ(length_of(more), 4u);
}

TEST(ReportDescriptor, PushPopAndLongItems)
{
    const std::vector<std::uint8_t> d = {
        0x75, 0x08, 0x95, 0x10,        // 16 x 8 bits
        0xA4,                          // Push
        0x95, 0x30,                    //   48 x 8 bits
        0xB1, 0x02,                    //   Feature: 48 bytes
        0xFE, 0x03, 0x10, 0xB1, 0x02, 0x95,  // long item whose data looks like items: skipped
        0xB4,                          // Pop: back to 16 x 8 bits
        0xB1, 0x02,                    // Feature: 16 bytes
    };
    EXPECT_EQ(length_of(d), 48u + 16u + 1u);
    // Data of 4 bytes in a short item: Report Count 0x00000020.
    EXPECT_EQ(length_of({0x75, 0x08, 0x97, 0x20, 0x00, 0x00, 0x00, 0xB1, 0x02}), 33u);
}

TEST(ReportDescriptor, MalformedDescriptorsAreRefused)
{
    EXPECT_FALSE(length_of({0xB4}));                                  // Pop without Push
    EXPECT_FALSE(length_of({0xA4, 0xA4, 0xA4, 0xA4, 0xA4}));          // Push too deep
    EXPECT_TRUE(length_of({0xA4, 0xA4, 0xA4, 0xA4}));
    EXPECT_FALSE(length_of({0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0xB1, 0x02}));  // Report ID 0
    EXPECT_FALSE(length_of({0x76, 0x01, 0x01}));                      // Report Size 257
    EXPECT_FALSE(length_of({0x96, 0x01, 0x30}));                      // Report Count 12289
    EXPECT_FALSE(length_of({0xFE, 0x05, 0x00, 0x01}));                // long item cut short
    EXPECT_FALSE(length_of({0xFE, 0x00}));
    EXPECT_EQ(descriptor_feature_length(nullptr, 5), 0u);  // no bytes at all
}

TEST(ReportDescriptor, TruncationNeverReadsPastTheEnd)
{
    // Every prefix of the module's descriptor, each in a heap block of exactly that size so
    // that the address sanitizer sees any read beyond it.
    const auto& full = sample::module_descriptor;
    for (std::size_t n = 0; n < full.size(); ++n) {
        auto copy = std::make_unique<std::uint8_t[]>(n == 0 ? 1 : n);
        std::copy(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n), copy.get());
        const auto result = descriptor_feature_length(copy.get(), n);
        // Cut inside an item: refused. Cut between items: counted up to the cut.
        if (result) {
            const bool has_feature_item = n >= full.size() - 1;
            EXPECT_EQ(*result, has_feature_item ? 65u : 0u) << "prefix of " << n << " bytes";
        }
    }
    // Cut inside the Report Count item (0x95 without its data byte).
    EXPECT_FALSE(descriptor_feature_length(full.data(), 15));
    EXPECT_EQ(descriptor_feature_length(full.data(), full.size() - 1), 65u);  // no End Collection

    // Random bytes: any answer will do, as long as nothing is read out of bounds.
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = rng() % 64;
        auto bytes = std::make_unique<std::uint8_t[]>(n == 0 ? 1 : n);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(rng());
        // At most 21 Feature items of at most 256 x 12288 bits each fit in 64 bytes.
        const auto result = descriptor_feature_length(bytes.get(), n);
        EXPECT_LE(result.value_or(0), 21u * 256u * 12288u / 8u + 1u);
    }
}

}  // namespace
