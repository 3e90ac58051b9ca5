// watch: the chosen CNC bus registers read again and again, as fast as the module answers or
// at a set interval, until the given duration or Ctrl+C. Every change goes out at once: a line
// on the terminal (or a JSON line), a row of the CSV file, flushed; the timing diagram is drawn
// when the trace ends, also when the module vanished in it.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/value_formats.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/files.h"
#include "cli/platform.h"
#include "cli/trace.h"
#include "define/utf8_path.h"
#include "module/actions.h"
#include "module/page_polls.h"

namespace {

bool watched_by(const WatchOptions& o, TickPoll poll)
{
    for (const PagePolls& p : polled_pages) {
        if (p.poll != poll) continue;
        for (const std::uint16_t r : p.registers)
            if (std::find(o.registers.begin(), o.registers.end(), r) != o.registers.end()) return true;
    }
    return false;
}

// The bits that differ, as the window's bit rows number them (15 at the left).
std::vector<int> flipped_bits(std::uint16_t from, std::uint16_t to)
{
    std::vector<int> bits;
    for (int bit = 15; bit >= 0; --bit)
        if ((from ^ to) >> bit & 1) bits.push_back(bit);
    return bits;
}

std::string bit_row(std::uint16_t value)
{
    std::string row = word_to_bit_row_text(value);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    return row;
}

// The CSV file, a row written and flushed as each reading comes, so that a trace cut short
// keeps every row before the cut.
class CsvTrace {
public:
    explicit CsvTrace(const std::string& path) : path_(path)
    {
        if (path.empty()) return;
        file_.open(utf8_path(path), std::ios::binary | std::ios::trunc);
        if (!file_) throw CliFailure(exit_file_problem, path + ": cannot be created");
        file_ << "time_us,register,value,bits\n";
        check();
    }
    void row(std::int64_t time_us, const std::string& name, std::uint16_t value)
    {
        if (path_.empty()) return;
        file_ << time_us << ',' << name << ',' << word_to_oct6_text(value) << ',' << bit_row(value) << '\n';
        check();
    }

private:
    void check()
    {
        file_.flush();
        if (!file_) throw CliFailure(exit_file_problem, path_ + ": cannot be written");
    }
    std::string path_;
    std::ofstream file_;
};

// What ended the trace.
enum class TraceEnd { duration, interrupted, vanished };

const char* end_name(TraceEnd e)
{
    switch (e) {
    case TraceEnd::duration: return "done";
    case TraceEnd::interrupted: return "interrupted";
    case TraceEnd::vanished: return "vanished";
    }
    return "";
}

void show_reading(Output& out, const Trace& trace, std::size_t i, std::int64_t t, bool first, std::uint16_t from,
                  std::uint16_t to)
{
    const std::string& name = trace.names()[i];
    Json j = result_object("watch");
    j["time_us"] = t;
    j["register"] = name;
    j["value"] = word_to_oct6_text(to);
    std::string text = trace_ms_text(t);
    text = std::string(14 - std::min<std::size_t>(14, text.size()), ' ') + text + "  " + name + "  ";
    if (first) {
        text += word_to_oct6_text(to);
    } else {
        const std::vector<int> bits = flipped_bits(from, to);
        j["from"] = word_to_oct6_text(from);
        j["bits"] = bits;
        text += word_to_oct6_text(from) + " → " + word_to_oct6_text(to) + (bits.size() > 1 ? "  bits " : "  bit ");
        for (std::size_t b = 0; b < bits.size(); ++b) text += (b ? ", " : "") + std::to_string(bits[b]);
    }
    out.result(j, text);
}

void show_summary(Output& out, const Trace& trace, TraceEnd end, const WatchOptions& o)
{
    const Trace::Period p = trace.period();
    const Trace::Pulse pulse = trace.shortest_pulse();
    const double seconds = static_cast<double>(trace.end_us()) / 1e6;
    Json j = result_object("watch");
    j["end"] = end_name(end);
    j["samples"] = trace.samples();
    j["seconds"] = seconds;
    j["changes"] = trace.changes().size();
    std::string text = "watch " + std::string(end == TraceEnd::interrupted ? "interrupted" : "ended") + ": " +
                       std::to_string(trace.samples()) + " samples in " + trace_ms_text(trace.end_us()) + ", " +
                       std::to_string(trace.changes().size()) + " changes";
    if (p.count > 0) {
        j["samples_per_second"] = 1e6 / p.mean_us;
        j["period_us"] = {{"mean", p.mean_us}, {"min", p.min_us}, {"max", p.max_us}, {"jitter", p.jitter_us}};
        char rate[160];
        std::snprintf(rate, sizeof rate, "; %.1f samples/s, period %.3f ms (%.3f…%.3f ms, jitter %.3f ms)",
                      1e6 / p.mean_us, p.mean_us / 1000, p.min_us / 1000, p.max_us / 1000, p.jitter_us / 1000);
        text += rate;
    }
    if (pulse.found) {
        j["shortest_pulse_us"] = pulse.length_us;
        text += "; shortest pulse " + trace_ms_text(pulse.length_us) + " (" +
                trace.names()[pulse.register_index] + " bit " + std::to_string(pulse.bit) + ")";
    }
    if (!o.csv.empty()) j["csv"] = o.csv;
    if (!o.svg.empty()) j["svg"] = o.svg;
    out.result(j, text);
}

// One exchange of a sample and the registers of the trace its reply gives: a bus register,
// or the EA controller's input or output words.
struct Exchange {
    enum class Kind { bus, controller_inputs, controller_outputs } kind;
    std::uint16_t address;  // the bus register
    std::size_t first;      // its registers in the trace
    std::size_t count;
};

// In the order of the page's tick: the controller's words first, then the bus registers.
std::vector<Exchange> sample_exchanges(const WatchOptions& o, std::vector<std::string>& names)
{
    std::vector<Exchange> exchanges;
    if (o.controller_words) {
        exchanges.push_back({Exchange::Kind::controller_inputs, 0, names.size(), std::size(controller_input_words)});
        for (const std::uint16_t w : controller_input_words) names.push_back("ea-in " + word_to_oct6_text(w));
        exchanges.push_back({Exchange::Kind::controller_outputs, 0, names.size(), std::size(controller_output_words)});
        for (const std::uint16_t w : controller_output_words) names.push_back("ea-out " + word_to_oct6_text(w));
    }
    for (const std::uint16_t r : o.registers) {
        exchanges.push_back({Exchange::Kind::bus, r, names.size(), 1});
        names.push_back(word_to_oct6_text(r));
    }
    return exchanges;
}

// Runs one exchange into `values`; false when the module did not answer it whole.
bool run_exchange(DeviceHandle h, const Exchange& e, std::array<std::uint16_t, 4>& values,
                  std::vector<RegisterReading>& reading)
{
    if (e.kind != Exchange::Kind::bus)
        return read_controller_words(h, e.kind == Exchange::Kind::controller_outputs, values).ok();
    read_registers(h, std::span(&e.address, 1), reading);
    if (reading.empty() || !reading[0].valid) return false;
    values[0] = reading[0].value;
    return true;
}

// Reading a counter takes its counts: as on the window's page, only while the CNC is stopped.
// The DAC channels read with the external DAC on; anything else gives the DAC back.
void prepare_module(ModuleLink& link, const WatchOptions& o, const TickReport& status)
{
    if (status.running && watched_by(o, TickPoll::registers_while_stopped))
        throw CliFailure(exit_transfer_failed, "watch: the CNC processor is running; the measuring channels "
                                               "(170520..170524) are read only while it is stopped, as reading a "
                                               "counter takes its counts (lirvan-cli cpu stop)");
    const bool dac = watched_by(o, TickPoll::dac);
    if (dac != (status.ext_dac != 0))
        link.check(set_external_dac(link.handle(), dac), dac ? "watch: external DAC on" : "watch: external DAC off");
}

// The wait ends at the next sample, or at the end of the duration when that comes first; it
// goes in steps short enough that Ctrl+C ends it at once.
template <typename Now>
void wait_for_next_sample(const WatchOptions& o, const WatchTime& time, const InterruptWatch& interrupts,
                          std::int64_t sample_start, const Now& now_us)
{
    std::int64_t next = sample_start + o.interval.count();
    if (o.duration.count() > 0) next = std::min<std::int64_t>(next, o.duration.count());
    while (!interrupts.interrupted()) {
        const std::int64_t left = next - now_us();
        if (left <= 0) break;
        time.pause(std::chrono::milliseconds(std::min<std::int64_t>((left + 999) / 1000, 50)));
    }
}

}  // namespace

void command_watch(ModuleLink& link, Output& out, const WatchOptions& o, const WatchTime& time)
{
    const TickReport& status = link.hold_application();
    // Before the first reading: a trace that could not be kept is not begun.
    CsvTrace csv(o.csv);
    prepare_module(link, o, status);

    std::vector<std::string> names;
    const std::vector<Exchange> exchanges = sample_exchanges(o, names);
    Trace trace(names);
    InterruptWatch interrupts;
    TraceEnd end = TraceEnd::duration;
    const std::chrono::microseconds start = time.clock();
    const auto now_us = [&] { return (time.clock() - start).count(); };
    std::vector<RegisterReading> reading;
    std::array<std::uint16_t, 4> values{};
    std::string failed_name;
    std::int64_t failed_at = 0;
    for (;;) {
        if (interrupts.interrupted()) {
            end = TraceEnd::interrupted;
            break;
        }
        const std::int64_t sample_start = now_us();
        if (o.duration.count() > 0 && sample_start >= o.duration.count()) break;
        trace.sample_started(sample_start);
        bool complete = true;
        for (const Exchange& e : exchanges) {
            const std::int64_t t = &e == &exchanges.front() ? sample_start : now_us();
            if (!run_exchange(link.handle(), e, values, reading)) {
                complete = false;
                failed_name = names[e.first];
                failed_at = t;
                break;
            }
            for (std::size_t k = 0; k < e.count; ++k) {
                const std::size_t i = e.first + k;
                const std::uint16_t value = values[k];
                const bool first = !trace.seen(i);
                const std::uint16_t before = first ? value : trace.last_value(i);
                if (trace.add(i, t, value)) {
                    show_reading(out, trace, i, t, first, before, value);
                    if (!o.every_sample) csv.row(t, names[i], value);
                }
                if (o.every_sample) csv.row(t, names[i], value);
            }
        }
        if (!complete) {
            // A report that Ctrl+C cut short is the end the user asked for.
            end = interrupts.interrupted() ? TraceEnd::interrupted : TraceEnd::vanished;
            break;
        }
        trace.sample_done();
        if (o.interval.count() > 0) wait_for_next_sample(o, time, interrupts, sample_start, now_us);
    }
    if (end != TraceEnd::vanished) trace.end(now_us());
    link.release();

    show_summary(out, trace, end, o);
    if (!o.svg.empty()) {
        const std::string svg = trace_svg(trace);
        write_file_atomic(utf8_path(o.svg), std::vector<std::uint8_t>(svg.begin(), svg.end()));
    }
    if (end == TraceEnd::vanished)
        throw CliFailure(exit_transfer_failed, "watch: the module stopped answering at " + trace_ms_text(failed_at) +
                                                   " (reading " + failed_name +
                                                   "); what was recorded before is kept");
}
