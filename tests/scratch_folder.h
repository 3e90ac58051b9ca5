// A test's own scratch folder: made new and empty in the system's temporary folder under a name
// that no other process can be given at the same time, and removed with all it holds at the end.
// Test programs run side by side (ctest -j), each test case in a process of its own, so a name
// made up from a clock, an address or a seed can meet another's; only the system's "make it
// unless it exists" decides a free name.
#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <stdlib.h>
#endif

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix = "lirvan-test-")
    {
        namespace fs = std::filesystem;
#ifdef _WIN32
        // No mkdtemp here: the process id and a count, each name made only if it is free.
        static unsigned count = 0;
        const fs::path base = fs::temp_directory_path();
        for (int tries = 0; path_.empty(); ++tries) {
            const fs::path p = base / (prefix + std::to_string(_getpid()) + "-" + std::to_string(count++));
            std::error_code ec;
            if (fs::create_directory(p, ec)) path_ = p;
            else if (ec || tries > 1000) throw std::system_error(ec, "scratch folder " + p.string());
        }
#else
        std::string pattern = (fs::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        path_ = pattern;
#endif
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
