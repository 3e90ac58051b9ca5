#include "cli/progress.h"

#include "app/value_formats.h"

namespace {

// A transfer shorter than this shows no bar at all.
constexpr std::chrono::milliseconds moment{300};
constexpr int bar_width = 30;

}  // namespace

ProgressBar::ProgressBar(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

ProgressBar::~ProgressBar() { end(); }

void ProgressBar::begin(const std::string& label)
{
    end();
    active_ = true;
    label_ = label;
    shown_percent_ = -1;
    started_ = std::chrono::steady_clock::now();
}

void ProgressBar::show(std::size_t done, std::size_t total)
{
    if (!active_ || !terminal_) return;
    const int percent = progress_percent(done, total);
    if (percent == shown_percent_) return;
    if (!drawn_ && std::chrono::steady_clock::now() - started_ < moment) return;
    draw(percent);
}

void ProgressBar::end()
{
    if (drawn_) err_ << "\r\033[K" << std::flush;  // carriage return, erase the line
    active_ = false;
    drawn_ = false;
}

void ProgressBar::draw(int percent)
{
    const int filled = percent * bar_width / 100;
    err_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(bar_width - filled), '.') << "] " << percent
         << "%" << std::flush;
    drawn_ = true;
    shown_percent_ = percent;
}
