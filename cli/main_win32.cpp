// lirvan-cli.exe: the module's actions from a Windows console or script, on the system's HID
// backend. The arguments arrive as UTF-16 (wmain) and go on as UTF-8, so that a Cyrillic file
// name reaches the files as it was typed. What the command line prints is UTF-8: a console
// is given it as UTF-16, which it shows whatever its code page (866 on a Russian system);
// redirected to a file or a pipe, the bytes go out as they are.
#include <windows.h>

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/carried_update.h"
#include "cli/cli.h"
#include "cli/platform.h"
#include "define/wide_text.h"
#include "device/system_hid.h"
#include "define/win32/system_library.h"

namespace {

// How many bytes at the start of `text` end with a whole UTF-8 sequence: a character cut by
// the end of a write waits for the rest of its bytes.
std::size_t whole_utf8_prefix(const std::string& text)
{
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto byte = static_cast<unsigned char>(text[n - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? n - back : n;
    }
    return n;
}

// One of the process's standard streams.
class StandardStream : public std::streambuf {
public:
    explicit StandardStream(DWORD which) : handle_(::GetStdHandle(which))
    {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
    }
    ~StandardStream() override { write_out(true); }

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof())) pending_.push_back(traits_type::to_char_type(c));
        write_out(false);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        pending_.append(s, static_cast<std::size_t>(n));
        write_out(false);
        return n;
    }
    int sync() override { return write_out(false) ? 0 : -1; }

private:
    bool write_out(bool all)
    {
        const std::size_t ready = all ? pending_.size() : console_ ? whole_utf8_prefix(pending_) : pending_.size();
        bool ok = true;
        if (console_) {
            const std::wstring text = widen(std::string_view(pending_).substr(0, ready));
            for (std::size_t done = 0; ok && done < text.size();) {
                DWORD n = 0;
                ok = ::WriteConsoleW(handle_, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) && n > 0;
                done += n;
            }
        } else {
            for (std::size_t done = 0; ok && done < ready;) {
                DWORD n = 0;
                ok = ::WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(ready - done), &n, nullptr) && n > 0;
                done += n;
            }
        }
        pending_.erase(0, ready);
        return ok;
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    restrict_dll_search();  // HID.dll comes from the system folder, never from beside the program
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    StandardStream out_stream(STD_OUTPUT_HANDLE), err_stream(STD_ERROR_HANDLE);
    std::ostream out(&out_stream), err(&err_stream);
    CliEnv env(out, err);
    env.err_is_terminal = stderr_is_terminal();
    env.make_system_hid = [] { return make_system_hid(); };
    env.firmware = carried_update_image();
    env.demo_firmware = carried_demo_update_image();
    return run_cli(args, env);
}
