#include "cli/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>


Trace::Trace(std::vector<std::string> names)
    : names_(std::move(names)), seen_(names_.size(), false), first_(names_.size()), last_(names_.size())
{
}

void Trace::sample_started(std::int64_t time_us)
{
    if (last_sample_start_ >= 0) {
        const std::int64_t interval = time_us - last_sample_start_;
        ++intervals_;
        sum_ += static_cast<double>(interval);
        sum_squares_ += static_cast<double>(interval) * static_cast<double>(interval);
        min_interval_ = std::min(min_interval_, interval);
        max_interval_ = std::max(max_interval_, interval);
    }
    last_sample_start_ = time_us;
}

bool Trace::add(std::size_t index, std::int64_t time_us, std::uint16_t value)
{
    end_us_ = std::max(end_us_, time_us);
    if (!seen_[index]) {
        seen_[index] = true;
        first_[index] = last_[index] = value;
        return true;
    }
    if (value == last_[index]) return false;
    changes_.push_back({time_us, index, last_[index], value});
    last_[index] = value;
    return true;
}

Trace::Period Trace::period() const
{
    Period p;
    p.count = intervals_;
    if (intervals_ == 0) return p;
    const double n = static_cast<double>(intervals_);
    p.mean_us = sum_ / n;
    p.min_us = static_cast<double>(min_interval_);
    p.max_us = static_cast<double>(max_interval_);
    p.jitter_us = std::sqrt(std::max(0.0, sum_squares_ / n - p.mean_us * p.mean_us));
    return p;
}

Trace::Pulse Trace::shortest_pulse() const
{
    Pulse best;
    std::map<std::pair<std::size_t, int>, std::int64_t> last_edge;
    for (const TraceChange& c : changes_) {
        const std::uint16_t flipped = c.from ^ c.to;
        for (int bit = 15; bit >= 0; --bit) {
            if (!(flipped >> bit & 1)) continue;
            const auto key = std::pair{c.register_index, bit};
            const auto it = last_edge.find(key);
            if (it != last_edge.end()) {
                const std::int64_t length = c.time_us - it->second;
                if (!best.found || length < best.length_us) best = {true, length, it->second, c.register_index, bit};
            }
            last_edge[key] = c.time_us;
        }
    }
    return best;
}

std::vector<Trace::Lane> Trace::changed_bits() const
{
    std::vector<std::uint16_t> flipped(names_.size(), 0);
    for (const TraceChange& c : changes_) flipped[c.register_index] |= c.from ^ c.to;
    std::vector<Lane> lanes;
    for (std::size_t r = 0; r < names_.size(); ++r)
        for (int bit = 15; bit >= 0; --bit)
            if (flipped[r] >> bit & 1) lanes.push_back({r, bit});
    return lanes;
}

namespace {

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A number without the zeros a round step leaves: 250, 1.5, 0.02.
std::string round_number(double value)
{
    std::string text = fixed(value, 6);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

// A time axis label in the unit of the step: "250 ms", "1.5 s", "20 µs".
std::string axis_label(double time_us, double step_us)
{
    if (step_us >= 1e6) return round_number(time_us / 1e6) + " s";
    if (step_us >= 1e3) return round_number(time_us / 1e3) + " ms";
    return round_number(time_us) + " µs";
}

// The round step (1, 2 or 5 times a power of ten µs) that is at least `least`.
double round_step(double least)
{
    double power = 1;
    while (power * 10 <= least) power *= 10;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= least) return m * power;
    return 10 * power;
}

// Layout of the diagram, in pixels.
constexpr double origin_x = 140;      // where time 0 is; the lane names are left of it
constexpr double right_margin = 45;
constexpr double notes_height = 70;   // the three lines of notes above the lanes
constexpr double lane_height = 26;
constexpr double level_high = 5, level_low = 21;  // a lane's two levels below its top
constexpr double axis_height = 34;
constexpr double natural_width = 1000;  // the whole trace, unless its shortest pulse needs more
constexpr double least_pulse_px = 4;    // the shortest pulse drawn at least this wide
constexpr double widest_plot = 60000;   // and the diagram never wider than this

}  // namespace

std::string trace_ms_text(std::int64_t time_us) { return fixed(static_cast<double>(time_us) / 1000.0, 3) + " ms"; }

namespace {

// Where everything of one trace's diagram goes: the time scale and the lanes' place.
struct Layout {
    double span_us, px_per_us, plot_width, width, lanes_top, lanes_bottom, height;
    std::string x_of(std::int64_t us) const { return fixed(origin_x + static_cast<double>(us) * px_per_us, 3); }
};

Layout layout_of(const Trace& t, std::size_t lane_count, const Trace::Pulse& pulse)
{
    Layout l{};
    l.span_us = static_cast<double>(std::max<std::int64_t>(t.end_us(), 1));
    l.px_per_us = natural_width / l.span_us;
    if (pulse.found && pulse.length_us > 0)
        l.px_per_us = std::max(l.px_per_us, least_pulse_px / static_cast<double>(pulse.length_us));
    l.px_per_us = std::min(l.px_per_us, widest_plot / l.span_us);
    l.plot_width = l.span_us * l.px_per_us;
    l.width = origin_x + l.plot_width + right_margin;
    l.lanes_top = notes_height;
    l.lanes_bottom = l.lanes_top + lane_height * static_cast<double>(std::max<std::size_t>(lane_count, 1));
    l.height = l.lanes_bottom + axis_height;
    return l;
}

std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

// The notes: what was watched, how often, and the shortest pulse.
std::string svg_notes(const Trace& t, const Trace::Pulse& pulse)
{
    const Trace::Period period = t.period();
    std::string watched;
    for (const std::string& name : t.names()) {
        watched += ' ';
        watched += name;
    }
    std::string rate = std::to_string(t.samples()) + " samples in " + trace_ms_text(t.end_us());
    if (period.count > 0)
        rate += "; sample period " + fixed(period.mean_us / 1000, 3) + " ms (" + fixed(period.min_us / 1000, 3) +
                "…" + fixed(period.max_us / 1000, 3) + " ms, jitter " + fixed(period.jitter_us / 1000, 3) + " ms)";
    const std::string shortest =
        pulse.found ? "shortest pulse " + trace_ms_text(pulse.length_us) + ": " +
                          t.names()[pulse.register_index] + " bit " +
                          std::to_string(pulse.bit) + " from " + trace_ms_text(pulse.at_us) +
                          "; each edge at the first sample that saw the new level"
                    : "no pulse: no bit changed twice";
    const std::string notes[] = {"lirvan-cli watch:" + watched, rate, shortest};
    std::string svg;
    for (std::size_t i = 0; i < 3; ++i)
        svg += "<text class=\"note\" x=\"10\" y=\"" + fixed(20 + 18 * static_cast<double>(i), 0) + "\">" + escaped(notes[i]) +
               "</text>\n";
    return svg;
}

// Every other register's lanes on a shaded band, so that the lanes of one register stay together.
std::string svg_bands(const std::vector<Trace::Lane>& lanes, const Layout& l)
{
    std::string svg;
    for (std::size_t i = 0, band = 0; i < lanes.size(); ++band) {
        std::size_t n = 0;
        while (i + n < lanes.size() && lanes[i + n].register_index == lanes[i].register_index) ++n;
        if (band % 2 == 1)
            svg += "<rect x=\"0\" y=\"" + fixed(l.lanes_top + lane_height * static_cast<double>(i), 1) +
                   "\" width=\"" + fixed(l.width, 0) + "\" height=\"" + fixed(lane_height * static_cast<double>(n), 1) +
                   "\" fill=\"#f2f5fa\"/>\n";
        i += n;
    }
    return svg;
}

// The time axis: a grid line and a label every round step of about 100 px.
std::string svg_time_axis(const Layout& l)
{
    const double step_us = round_step(100 / l.px_per_us);
    std::string svg = "<g class=\"time-axis\">\n";
    svg += "<line class=\"axis\" x1=\"" + fixed(origin_x, 3) + "\" y1=\"" + fixed(l.lanes_bottom, 0) + "\" x2=\"" +
           fixed(origin_x + l.plot_width, 3) + "\" y2=\"" + fixed(l.lanes_bottom, 0) + "\"/>\n";
    for (double tick = 0; tick <= l.span_us + step_us / 1e6; tick += step_us) {
        const std::string x = fixed(origin_x + tick * l.px_per_us, 3);
        svg += "<line class=\"grid\" x1=\"" + x + "\" y1=\"" + fixed(l.lanes_top, 0) + "\" x2=\"" + x + "\" y2=\"" +
               fixed(l.lanes_bottom + 4, 0) + "\"/>";
        svg += "<text x=\"" + x + "\" y=\"" + fixed(l.lanes_bottom + 18, 0) + "\" text-anchor=\"middle\">" +
               axis_label(tick, step_us) + "</text>\n";
    }
    return svg + "</g>\n";
}

// One lane per bit that changed: its level drawn from sample to sample, each edge where the
// first sample saw the new level.
std::string svg_lanes(const Trace& t, const std::vector<Trace::Lane>& lanes, const Layout& l)
{
    std::string svg;
    if (lanes.empty())
        svg += "<text class=\"note\" x=\"" + fixed(origin_x + 10, 0) + "\" y=\"" + fixed(l.lanes_top + 17, 0) +
               "\">no bit changed</text>\n";
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        const auto [r, bit] = lanes[i];
        const double top = l.lanes_top + lane_height * static_cast<double>(i);
        const auto y_of = [&](bool high) { return fixed(top + (high ? level_high : level_low), 1); };
        const std::string& name = t.names()[r];
        bool level = t.first_value(r) >> bit & 1;
        std::string d(1, 'M');
        d += l.x_of(0);
        d += ' ';
        d += y_of(level);
        for (const TraceChange& c : t.changes()) {
            if (c.register_index != r || !((c.from ^ c.to) >> bit & 1)) continue;
            level = !level;
            d += " H" + l.x_of(c.time_us) + " V" + y_of(level);
        }
        d += " H" + l.x_of(t.end_us());
        svg += "<g class=\"lane\" data-register=\"" + name + "\" data-bit=\"" + std::to_string(bit) + "\">";
        svg += "<text x=\"10\" y=\"" + fixed(top + 17, 0) + "\">" + name + " bit " + std::to_string(bit) + "</text>";
        svg += "<path class=\"level\" d=\"" + d + "\"/></g>\n";
    }
    return svg;
}

}  // namespace

std::string trace_svg(const Trace& t)
{
    const std::vector<Trace::Lane> lanes = t.changed_bits();
    const Trace::Pulse pulse = t.shortest_pulse();
    const Layout l = layout_of(t, lanes.size(), pulse);
    std::string svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fixed(l.width, 0) + "\" height=\"" +
           fixed(l.height, 0) + "\" viewBox=\"0 0 " + fixed(l.width, 0) + " " + fixed(l.height, 0) +
           "\" data-origin-x=\"" + fixed(origin_x, 3) + "\" data-px-per-us=\"" + fixed(l.px_per_us, 9) + "\">\n";
    svg += "<style>text{font-family:monospace;font-size:12px;fill:#222}.note{font-size:13px}"
           ".grid{stroke:#ddd;stroke-width:1}.level{fill:none;stroke:#1a5fb4;stroke-width:1.5}"
           ".axis{stroke:#444;stroke-width:1}</style>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    svg += svg_notes(t, pulse) + svg_bands(lanes, l) + svg_time_axis(l) + svg_lanes(t, lanes, l);
    svg += "</svg>\n";
    return svg;
}
