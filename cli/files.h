// Files of the command line: reading an image whole, and writing so that nothing is left
// half-written. A file is written under a temporary name beside its target and renamed over it
// only once all of it is on disk; a backup is gathered in a temporary folder renamed at the end.
// Every failure throws CliFailure(exit_file_problem) naming the file and the system's reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Reads the whole file. Refuses anything but a regular file (a FIFO or a device would block or
// never end) and files above `limit` bytes.
std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path,
                                          std::size_t limit = 16u << 20);

// Writes `bytes` to `path` as the window saves an image: a temporary file in the same folder,
// flushed to disk, then renamed over `path`. On any failure the temporary file is removed and
// `path` keeps whatever it held before.
void write_file_atomic(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A folder that appears under its final name only when complete. The files go into a hidden
// sibling folder; commit() renames it to the final name. Destroyed without commit() (a failed
// read, an exception), it removes the temporary folder and everything in it.
class StagedFolder {
public:
    // Fails when `final_path` exists already (a backup never mixes with or replaces another).
    explicit StagedFolder(std::filesystem::path final_path);
    ~StagedFolder();
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    void write(const std::string& file_name, const std::vector<std::uint8_t>& bytes);
    void commit();
    const std::filesystem::path& staging_path() const { return staging_; }

private:
    std::filesystem::path final_;
    std::filesystem::path staging_;
    bool committed_ = false;
};
