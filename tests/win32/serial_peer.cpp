// lirvan-serial-peer: the far end of the serial lines for the Windows serial-layer tests,
// which run under wine. A Linux program: it makes two pseudo-terminals, links them into the
// wine prefix as COM ports, runs the given command with their names in the environment and
// returns its exit status.
//
//   lirvan-serial-peer PREFIX N1 N2 -- COMMAND...
//
// COM<N1>: libmodbus's RTU server, address 1, holding registers i = 0x1111 * i + 0x0102.
// COM<N2>: a scripted peer for what libmodbus never sends. It answers an 8-byte request
// according to the request's first register:
//   0x0100  the registers carry the 8 request bytes as they arrived (the request's own echo);
//   0x0200  a reply of registers 0xA1B2 0xC3D4 in three pieces, 150 ms apart;
//   other   nothing.
// The test program finds the names in LIRVAN_TEST_MODBUS_PORT and LIRVAN_TEST_SCRIPTED_PORT.
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "comport/pty_peer.h"

namespace {

void serve_scripted(const PtyPair& pty, const std::atomic<bool>& stop)
{
    std::vector<std::uint8_t> request;
    while (!stop) {
        if (!wait_readable(pty.master(), 20)) continue;
        std::uint8_t byte = 0;
        if (::read(pty.master(), &byte, 1) != 1) continue;
        request.push_back(byte);
        if (request.size() < 8) continue;
        const int first = request[2] << 8 | request[3];
        if (first == 0x0100) {
            std::vector<std::uint16_t> echo;
            for (std::size_t i = 0; i < 8; i += 2)
                echo.push_back(static_cast<std::uint16_t>(request[i] << 8 | request[i + 1]));
            pty.inject(holding_reply(request[0], echo));
        } else if (first == 0x0200) {
            const auto reply = holding_reply(request[0], {0xA1B2, 0xC3D4});
            const std::size_t cuts[] = {0, 3, 7, reply.size()};
            for (int k = 0; k < 3; ++k) {
                if (k > 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
                pty.inject({reply.begin() + cuts[k], reply.begin() + cuts[k + 1]});
            }
        }
        request.clear();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || std::string(argv[4]) != "--") {
        std::fprintf(stderr, "usage: %s PREFIX N1 N2 -- COMMAND...\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path dosdevices = fs::path(argv[1]) / "dosdevices";
    const std::string modbus_port = std::string("COM") + argv[2];
    const std::string scripted_port = std::string("COM") + argv[3];
    const fs::path modbus_link = dosdevices / ("com" + std::string(argv[2]));
    const fs::path scripted_link = dosdevices / ("com" + std::string(argv[3]));

    PtyPair modbus_pty, scripted_pty;
    ModbusSlavePeer slave(modbus_pty, 1, 10);
    for (int i = 0; i < 10; ++i) slave.set_register(i, static_cast<std::uint16_t>(0x1111 * i + 0x0102));
    std::atomic<bool> stop{false};
    std::thread scripted([&] { serve_scripted(scripted_pty, stop); });

    fs::create_directories(dosdevices);
    std::error_code ec;
    fs::remove(modbus_link, ec);
    fs::remove(scripted_link, ec);
    fs::create_symlink(modbus_pty.path(), modbus_link);
    fs::create_symlink(scripted_pty.path(), scripted_link);
    ::setenv("LIRVAN_TEST_MODBUS_PORT", modbus_port.c_str(), 1);
    ::setenv("LIRVAN_TEST_SCRIPTED_PORT", scripted_port.c_str(), 1);

    int status = 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[5], argv + 5);
        std::perror(argv[5]);
        ::_exit(127);
    }
    if (child > 0) ::waitpid(child, &status, 0);
    stop = true;
    scripted.join();
    fs::remove(modbus_link, ec);
    fs::remove(scripted_link, ec);
    if (child < 0) return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
