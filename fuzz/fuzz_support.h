// What every fuzz target shares: a reader that takes its values from the front of the input
// (zeros once the input runs out) and the check that stops the run on a difference from the
// target's model. A failed check prints where it failed and aborts, which libFuzzer reports
// as a crash and keeps the input; the replay program then fails its test.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: the model differs: %s\n", __FILE__, __LINE__,    \
                         #condition);                                                      \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - pos_; }

    std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
    // Little-endian, as many bytes as the type has.
    template <typename T>
    T value()
    {
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<T>(v | T{byte()} << (8 * i));
        return v;
    }
    // The next n bytes, fewer when the input ends first.
    std::vector<std::uint8_t> bytes(std::size_t n)
    {
        n = std::min(n, remaining());
        std::vector<std::uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    std::vector<std::uint8_t> rest() { return bytes(remaining()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
