// A trace of CNC bus registers as lirvan-cli watch records it: each register's first value and
// every change after it, at the time of the reading that saw it, with the samples' period; and
// the timing diagram drawn from it. Times are microseconds since the trace's first reading.
// A register is named as the trace shows it: "170461" for a bus register, "ea-in 170461" for
// a word of the EA controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

struct TraceChange {
    std::int64_t time_us;
    std::size_t register_index;
    std::uint16_t from, to;
};

class Trace {
public:
    explicit Trace(std::vector<std::string> names);

    const std::vector<std::string>& names() const { return names_; }

    // A sample (one reading of every register) begins, and is complete.
    void sample_started(std::int64_t time_us);
    void sample_done() { ++samples_; }
    // A reading of register `index`: true when it is the register's first or differs from the
    // reading before it (then recorded).
    bool add(std::size_t index, std::int64_t time_us, std::uint16_t value);
    // The trace's end: the time of its last reading.
    void end(std::int64_t time_us) { end_us_ = time_us; }

    bool seen(std::size_t index) const { return seen_[index]; }
    std::uint16_t first_value(std::size_t index) const { return first_[index]; }
    std::uint16_t last_value(std::size_t index) const { return last_[index]; }
    const std::vector<TraceChange>& changes() const { return changes_; }
    std::int64_t end_us() const { return end_us_; }

    // Complete samples, and the time from the start of one sample to the start of the next.
    std::size_t samples() const { return samples_; }
    struct Period {
        std::size_t count = 0;  // intervals measured
        double mean_us = 0, min_us = 0, max_us = 0;
        double jitter_us = 0;  // standard deviation of the intervals
    };
    Period period() const;

    // The shortest time a bit held a level between two of its changes.
    struct Pulse {
        bool found = false;
        std::int64_t length_us = 0;
        std::int64_t at_us = 0;  // where it began
        std::size_t register_index = 0;
        int bit = 0;
    };
    Pulse shortest_pulse() const;
    // The bits that changed at least once, register by register in trace order, bit 15 first.
    struct Lane {
        std::size_t register_index;
        int bit;
    };
    std::vector<Lane> changed_bits() const;

private:
    std::vector<std::string> names_;
    std::vector<bool> seen_;
    std::vector<std::uint16_t> first_, last_;
    std::vector<TraceChange> changes_;
    std::int64_t end_us_ = 0;
    std::size_t samples_ = 0;
    std::int64_t last_sample_start_ = -1;
    std::size_t intervals_ = 0;
    double sum_ = 0, sum_squares_ = 0;
    std::int64_t min_interval_ = std::numeric_limits<std::int64_t>::max(), max_interval_ = 0;
};

// "103.000 ms" for 103000 µs.
std::string trace_ms_text(std::int64_t time_us);

// The timing diagram as an SVG document: one lane per bit that changed, named by register and
// bit, a time axis with a round step, each edge at the reading that first saw the new level,
// and notes of the samples, their period and the shortest pulse. The root element carries
// data-origin-x and data-px-per-us (x = origin + time × px-per-us); each lane is a
// <g class="lane" data-register="170461" data-bit="3"> (the register's name) holding one <path>.
std::string trace_svg(const Trace& trace);
