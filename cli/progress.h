// The progress bar of a transfer: one line on stderr, redrawn in place, shown only when stderr
// is a terminal and only once the transfer has taken longer than a moment, and wiped at the end
// so that the terminal keeps only the command's result. The module action of the transfer
// tells it how far it is (its TransferProgress).
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

class ProgressBar {
public:
    // `terminal` false: the bar never draws (stderr is a file or a pipe).
    ProgressBar(std::ostream& err, bool terminal);
    ~ProgressBar();

    // Starts a transfer named `label`.
    void begin(const std::string& label);
    // `done` of the transfer's `total` bytes have moved.
    void show(std::size_t done, std::size_t total);
    // Ends the transfer and wipes the bar if it was drawn.
    void end();
    bool drawn() const { return drawn_; }

private:
    void draw(int percent);

    std::ostream& err_;
    bool terminal_;
    bool active_ = false;
    bool drawn_ = false;
    std::string label_;
    int shown_percent_ = -1;
    std::chrono::steady_clock::time_point started_;
};
