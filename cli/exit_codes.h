// Exit codes of lirvan-cli, the contract scripts rely on, and the one way a command reports a
// failure: a CliFailure carrying its exit code and the line that names what failed.
#pragma once

#include <stdexcept>
#include <string>

enum ExitCode : int {
    exit_done = 0,
    exit_not_found = 1,        // no module (or not the form the command needs) answered
    exit_transfer_failed = 2,  // a frame or report was refused, a reply came short
    exit_verify_mismatch = 3,  // read-back after a write differs from what was written
    exit_file_problem = 4,     // a file or folder could not be read, written or trusted
    exit_usage = 64,           // the command line itself is wrong
};

class CliFailure : public std::runtime_error {
public:
    CliFailure(int exit_code, const std::string& message)
        : std::runtime_error(message), exit_code_(exit_code) {}
    int exit_code() const { return exit_code_; }

private:
    int exit_code_;
};
