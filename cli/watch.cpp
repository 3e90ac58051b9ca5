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
    void row(std::int64_t time_us, std::uint16_t address, std::uint16_t value)
    {
        if (path_.empty()) return;
        file_ << time_us << ',' << word_to_oct6_text(address) << ',' << word_to_oct6_text(value) << ','
              << bit_row(value) << '\n';
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
    const std::uint16_t address = trace.registers()[i];
    Json j = result_object("watch");
    j["time_us"] = t;
    j["register"] = word_to_oct6_text(address);
    j["value"] = word_to_oct6_text(to);
    std::string text = trace_ms_text(t);
    text = std::string(14 - std::min<std::size_t>(14, text.size()), ' ') + text + "  " + word_to_oct6_text(address) + "  ";
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
                word_to_oct6_text(trace.registers()[pulse.register_index]) + " bit " + std::to_string(pulse.bit) + ")";
    }
    if (!o.csv.empty()) j["csv"] = o.csv;
    if (!o.svg.empty()) j["svg"] = o.svg;
    out.result(j, text);
}

}  // namespace

void command_watch(ModuleLink& link, Output& out, const WatchOptions& o, const WatchTime& time)
{
    const TickReport& status = link.hold_application();
    // Before the first reading: a trace that could not be kept is not begun.
    CsvTrace csv(o.csv);
    // Reading a counter takes its counts: as on the window's page, only while the CNC is stopped.
    if (status.running && watched_by(o, TickPoll::registers_while_stopped))
        throw CliFailure(exit_transfer_failed, "watch: the CNC processor is running; the measuring channels "
                                               "(170520..170524) are read only while it is stopped, as reading a "
                                               "counter takes its counts (lirvan-cli cpu stop)");
    // The DAC channels read with the external DAC on; anything else gives the DAC back.
    const bool dac = watched_by(o, TickPoll::dac);
    if (dac != (status.ext_dac != 0))
        link.check(set_external_dac(link.handle(), dac), dac ? "watch: external DAC on" : "watch: external DAC off");

    Trace trace(o.registers);
    InterruptWatch interrupts;
    TraceEnd end = TraceEnd::duration;
    const std::chrono::microseconds start = time.clock();
    const auto now_us = [&] { return (time.clock() - start).count(); };
    std::vector<RegisterReading> reading;
    std::size_t failed_register = 0;
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
        for (std::size_t i = 0; i < o.registers.size(); ++i) {
            const std::int64_t t = i == 0 ? sample_start : now_us();
            read_registers(link.handle(), std::span(&o.registers[i], 1), reading);
            if (reading.empty() || !reading[0].valid) {
                complete = false;
                failed_register = i;
                failed_at = t;
                break;
            }
            const std::uint16_t value = reading[0].value;
            const bool first = !trace.seen(i);
            const std::uint16_t before = first ? value : trace.last_value(i);
            if (trace.add(i, t, value)) {
                show_reading(out, trace, i, t, first, before, value);
                if (!o.every_sample) csv.row(t, o.registers[i], value);
            }
            if (o.every_sample) csv.row(t, o.registers[i], value);
        }
        if (!complete) {
            // A report that Ctrl+C cut short is the end the user asked for.
            end = interrupts.interrupted() ? TraceEnd::interrupted : TraceEnd::vanished;
            break;
        }
        trace.sample_done();
        if (o.interval.count() > 0) {
            const std::int64_t next = sample_start + o.interval.count();
            while (!interrupts.interrupted()) {
                const std::int64_t left = next - now_us();
                if (left <= 0) break;
                // In steps short enough that Ctrl+C ends the wait at once.
                time.pause(std::chrono::milliseconds(std::min<std::int64_t>((left + 999) / 1000, 50)));
            }
        }
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
                                                   " (reading " + word_to_oct6_text(o.registers[failed_register]) +
                                                   "); what was recorded before is kept");
}
