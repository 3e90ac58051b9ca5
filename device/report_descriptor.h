// Feature report length from a HID report descriptor, counted the way the module's host side
// has always counted it: the report-id byte is included whether or not the device numbers
// its reports, so the module's single 64-byte feature report without report ids gives 65.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// Longest descriptor a HID device may have (the kernel's limit and hidraw's buffer).
constexpr std::size_t max_report_descriptor_size = 4096;

// Length in bytes of the longest feature report the descriptor declares: for each report id,
// Report Size x Report Count summed over its Feature main items (padding included), rounded
// up to whole bytes, plus one byte for the report id; the largest over all ids. 0 when the
// descriptor declares no Feature item at all.
//
// std::nullopt when the descriptor is malformed: an item runs past the end, Pop without
// Push, Push deeper than the kernel allows, a Report ID of 0, or a Report Size/Count beyond
// the kernel's limits (the kernel refuses such descriptors too). Never reads outside
// [descriptor, descriptor + size).
std::optional<std::size_t> descriptor_feature_length(const std::uint8_t* descriptor,
                                                     std::size_t size);
