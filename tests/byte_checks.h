// A check over byte ranges that the device-link, simulated-module and serial-link tests share:
// every byte holds one value (zero padding, erased flash, a destination left untouched). On
// failure it names the first byte that differs.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

template <class Iterator>
::testing::AssertionResult all_bytes_are(Iterator first, Iterator last, std::uint8_t value)
{
    for (std::size_t i = 0; first != last; ++first, ++i)
        if (static_cast<std::uint8_t>(*first) != value)
            return ::testing::AssertionFailure()
                   << "byte " << i << " is " << int{static_cast<std::uint8_t>(*first)} << ", not "
                   << int{value};
    return ::testing::AssertionSuccess();
}

template <class Range>
::testing::AssertionResult all_bytes_are(const Range& bytes, std::uint8_t value)
{
    return all_bytes_are(std::begin(bytes), std::end(bytes), value);
}
