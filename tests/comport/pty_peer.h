// Serial peers for tests and benchmarks: a pseudo-terminal pair whose slave end the code under
// test opens by path like any serial port, and two kinds of peer serving the master end in a
// thread of their own:
// - ModbusSlavePeer: libmodbus's RTU server with known holding registers (the real peer);
// - ScriptedPeer: answers each 8-byte request with scripted bytes, so that replies libmodbus
//   would never send (bad CRC, another address, silence, a reply in pieces) can be tried.
#pragma once

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// CRC-16/MODBUS bit by bit, straight from the definition: the tests' own reference, independent
// of the table-driven code under test.
inline std::uint16_t reference_crc16(const std::uint8_t* data, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t k = 0; k < length; ++k) {
        crc ^= data[k];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// Appends the CRC, low byte first.
inline std::vector<std::uint8_t> with_crc(std::vector<std::uint8_t> frame)
{
    const std::uint16_t crc = reference_crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// A function-3 reply: address, function, byte count, the registers high byte first, CRC.
inline std::vector<std::uint8_t> holding_reply(std::uint8_t address,
                                               const std::vector<std::uint16_t>& registers,
                                               std::uint8_t function = 3)
{
    std::vector<std::uint8_t> frame{address, function,
                                    static_cast<std::uint8_t>(2 * registers.size())};
    for (std::uint16_t r : registers) {
        frame.push_back(static_cast<std::uint8_t>(r >> 8));
        frame.push_back(static_cast<std::uint8_t>(r & 0xFF));
    }
    return with_crc(frame);
}

class PtyPair {
public:
    PtyPair()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        path_ = ::ptsname(master_);
        // A fresh slave echoes and edits lines; make it raw at once so nothing written to the
        // master before the code under test opens the slave comes back as an echo.
        const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) throw std::runtime_error("cannot open " + path_);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        ::close(fd);
    }
    ~PtyPair() { ::close(master_); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    // What com_open takes: /dev/pts/N.
    const std::string& path() const { return path_; }

    // Writes raw bytes into the slave's receive queue.
    void inject(const std::vector<std::uint8_t>& bytes) const
    {
        if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("pty write");
    }

private:
    int master_ = -1;
    std::string path_;
};

// Waits up to timeout_ms for the master end to become readable while the slave end is open.
// POLLHUP (nobody has the slave open) is waited out with a short sleep.
inline bool wait_readable(int fd, int timeout_ms)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return false;
    if (p.revents & POLLHUP) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return false;
    }
    return (p.revents & POLLIN) != 0;
}

class ModbusSlavePeer {
public:
    ModbusSlavePeer(const PtyPair& pty, int slave_id, int register_count = 10)
        : master_(pty.master())
    {
        // The context is made for the slave path only to get an RTU context; the server never
        // connects it, it speaks on the pty's master end instead.
        ctx_ = modbus_new_rtu(pty.path().c_str(), 57600, 'N', 8, 1);
        mapping_ = modbus_mapping_new(0, 0, register_count, 0);
        if (!ctx_ || !mapping_) throw std::runtime_error("libmodbus");
        modbus_set_slave(ctx_, slave_id);
        modbus_set_socket(ctx_, master_);
        thread_ = std::thread([this] { serve(); });
    }
    ~ModbusSlavePeer()
    {
        stop_ = true;
        thread_.join();
        modbus_mapping_free(mapping_);
        modbus_free(ctx_);
    }
    ModbusSlavePeer(const ModbusSlavePeer&) = delete;
    ModbusSlavePeer& operator=(const ModbusSlavePeer&) = delete;

    void set_register(int index, std::uint16_t value)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mapping_->tab_registers[index] = value;
    }
    // The last request the server took in, CRC included, and how many it answered.
    std::vector<std::uint8_t> last_request()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_request_;
    }
    int requests() const { return requests_; }

private:
    void serve()
    {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            if (!wait_readable(master_, 20)) continue;
            const int rc = modbus_receive(ctx_, query);
            if (rc <= 0) continue;  // another slave's frame, or a bad one: keep serving
            std::lock_guard<std::mutex> lock(mutex_);
            last_request_.assign(query, query + rc);
            modbus_reply(ctx_, query, rc, mapping_);
            ++requests_;
        }
    }

    int master_;
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::mutex mutex_;
    std::vector<std::uint8_t> last_request_;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class ScriptedPeer {
public:
    // One scripted answer: its bytes, sent in pieces with a pause between them.
    struct Answer {
        std::vector<std::vector<std::uint8_t>> pieces;
        int pause_ms = 0;
    };

    explicit ScriptedPeer(const PtyPair& pty) : master_(pty.master())
    {
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedPeer()
    {
        stop_ = true;
        thread_.join();
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Answers for the next requests, in order. With none queued a request gets no answer.
    void answer(std::vector<std::uint8_t> bytes) { queue({{std::move(bytes)}, 0}); }
    void answer_in_pieces(std::vector<std::vector<std::uint8_t>> pieces, int pause_ms)
    {
        queue({std::move(pieces), pause_ms});
    }
    void stay_silent() { queue({{}, 0}); }

    std::vector<std::vector<std::uint8_t>> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void queue(Answer a)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(std::move(a));
    }

    void serve()
    {
        std::vector<std::uint8_t> request;
        while (!stop_) {
            if (!wait_readable(master_, 20)) continue;
            std::uint8_t byte = 0;
            if (::read(master_, &byte, 1) != 1) continue;
            request.push_back(byte);
            if (request.size() < 8) continue;
            std::optional<Answer> a;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
                if (!answers_.empty()) {
                    a = std::move(answers_.front());
                    answers_.pop_front();
                }
            }
            request.clear();
            if (!a) continue;
            for (std::size_t i = 0; i < a->pieces.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(a->pause_ms));
                const auto& piece = a->pieces[i];
                if (::write(master_, piece.data(), piece.size()) < 0) break;
            }
        }
    }

    int master_;
    std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
