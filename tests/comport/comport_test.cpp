// The serial link against real peers on a pseudo-terminal: libmodbus's RTU server, and a
// scripted peer for the replies libmodbus never sends.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "byte_checks.h"
#include "comport/comport.h"
#include "comport/pty_peer.h"
#include "comport/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

long long ms_since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A poll that gets no complete reply ends at the read time-out: not before, not long after.
::testing::AssertionResult ended_at_the_time_out(Clock::time_point start)
{
    const long long elapsed = ms_since(start);
    if (elapsed >= 990 && elapsed < 1300) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended after " << elapsed << " ms";
}

std::uint16_t crc_of(const std::string& text)
{
    return modbus_crc16(reinterpret_cast<const std::uint8_t*>(text.data()),
                        static_cast<std::uint16_t>(text.size()));
}

// --- CRC ---

TEST(ModbusCrc, KnownValuesAndAgreementWithTheBitwiseDefinition)
{
    EXPECT_EQ(crc_of("123456789"), 0x4B37);
    EXPECT_EQ(modbus_crc16(nullptr, 0), 0xFFFF);
    const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(modbus_crc16(request.data(), 6), 0xCDC5);  // travels as C5 CD

    std::mt19937 random(7);
    std::array<std::uint8_t, 300> data{};
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    for (std::uint16_t length : {1, 2, 3, 8, 23, 255, 256, 300})
        EXPECT_EQ(modbus_crc16(data.data(), length), reference_crc16(data.data(), length))
            << "length " << length;
    // Every single byte value, which walks every entry of both tables.
    for (unsigned b = 0; b < 256; ++b) {
        const std::uint8_t one = static_cast<std::uint8_t>(b);
        ASSERT_EQ(modbus_crc16(&one, 1), reference_crc16(&one, 1)) << "byte " << b;
    }
}

// --- listing ---

TEST(ComPortList, ListsPresentSerialDevicesSortedAndNoPseudoTerminals)
{
    PtyPair pty;
    std::vector<std::string> list{"stale entry"};
    com_port_list(list);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    for (const auto& name : list) {
        EXPECT_NE(name, "stale entry");
        EXPECT_TRUE(std::filesystem::exists("/dev/" + name)) << name;
        EXPECT_EQ(name.find("pts"), std::string::npos) << name;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
    }
}

// --- opening ---

class ComOpen : public ::testing::Test {
protected:
    void TearDown() override { com_close(); }
    PtyPair pty;
};

TEST_F(ComOpen, AppliesRawEightNoneOneAtTheBaudAndKeepsTheDriversOtherSettings)
{
    // Leave the line the way a terminal program might: cooked, echoing, XON/XOFF, two stop
    // bits, 1200 baud; and hardware flow control, which is the driver's to keep.
    {
        const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        tio.c_lflag |= ICANON | ECHO | ISIG;
        tio.c_iflag |= ICRNL | IXON;
        tio.c_oflag |= OPOST;
        tio.c_cflag |= CSTOPB | CRTSCTS;
        ::cfsetspeed(&tio, B1200);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
        ::close(fd);
    }
    ASSERT_TRUE(com_open(pty.path(), 57600));
    ASSERT_GE(com_handle, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(com_handle, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(com_handle, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    // Closing gives the exclusive mode back: the pty's slave outlives its last close.
    com_close();
    EXPECT_EQ(com_handle, -1);
    const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

TEST_F(ComOpen, FailsOnAbsentPortsAndRefusedRatesLeavingNothingOpen)
{
    EXPECT_FALSE(com_open("/dev/pts/nonexistent", 9600));
    EXPECT_STREQ(com_last_failure().call, "open");  // the reason is kept for the log
    EXPECT_EQ(com_last_failure().error, ENOENT);
    EXPECT_FALSE(com_open("ttyNOSUCH99", 9600));
    EXPECT_FALSE(com_open("", 9600));
    EXPECT_EQ(com_handle, -1);

    EXPECT_FALSE(com_open(pty.path(), 12345));
    EXPECT_EQ(com_handle, -1);
    // The ends of the rate table open at their rate; one step beyond them does not.
    for (const auto& [rate, constant] : {std::pair{50, speed_t{B50}}, {4000000, speed_t{B4000000}}}) {
        ASSERT_TRUE(com_open(pty.path(), rate)) << rate;
        termios tio{};
        ASSERT_EQ(::tcgetattr(com_handle, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), constant) << rate;
        com_close();
    }
    for (const int rate : {0, 49, 51, 3999999, 4000001}) EXPECT_FALSE(com_open(pty.path(), rate)) << rate;
    EXPECT_EQ(com_handle, -1);
    // Nothing kept the port: another program can take it at once.
    const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(ComOpen, APortHeldByAnotherProgramIsRefusedAndAFailedAttemptBlocksNothing)
{
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(com_open(pty.path(), 9600));
    EXPECT_EQ(com_handle, -1);
    EXPECT_STREQ(com_last_failure().call, "flock/TIOCEXCL");
    EXPECT_EQ(com_last_failure().error, EWOULDBLOCK);
    ::close(other);

    EXPECT_TRUE(com_open(pty.path(), 9600));
    // While we hold it, the other program is kept out.
    const int again = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    if (again >= 0) {  // root may open a TIOCEXCL tty; the lock still tells it no
        EXPECT_NE(::flock(again, LOCK_EX | LOCK_NB), 0);
        ::close(again);
    }
}

TEST_F(ComOpen, OpeningAgainClosesThePortOpenBefore)
{
    PtyPair second;
    ASSERT_TRUE(com_open(pty.path(), 9600));
    ASSERT_TRUE(com_open(second.path(), 9600));
    // The first port was closed, lock and all: its master end sees the hang-up.
    pollfd p{pty.master(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(ComOpen, ClosingALineThatFlowControlHoldsBackDropsItsOutputAtOnce)
{
    ASSERT_TRUE(com_open(pty.path(), 57600));
    ASSERT_EQ(::tcflow(com_handle, TCOOFF), 0);  // held back as a far end keeping CTS low holds it
    // In packet mode the master end is told when the line's output is flushed.
    int packet = 1;
    ASSERT_EQ(::ioctl(pty.master(), TIOCPKT, &packet), 0);
    const auto start = Clock::now();
    com_close();
    EXPECT_LT(ms_since(start), 100);
    pollfd p{pty.master(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    std::uint8_t status = 0;
    ASSERT_EQ(::read(pty.master(), &status, 1), 1);
    EXPECT_NE(status & TIOCPKT_FLUSHWRITE, 0) << int{status};
}

// --- the transaction against libmodbus ---

class ReadHolding : public ::testing::Test {
protected:
    void TearDown() override { com_close(); }
    PtyPair pty;
};

TEST_F(ReadHolding, SendsTheExactRequestAndCopiesTheRegistersUnchanged)
{
    ModbusSlavePeer slave(pty, 1);
    const std::uint16_t values[10] = {0x0000, 0xFFFF, 0x1234, 0x8001, 0x00FF,
                                      0xFF00, 0x0D0A, 0x1113, 0xA5A5, 0x0107};
    for (int i = 0; i < 10; ++i) slave.set_register(i, values[i]);
    ASSERT_TRUE(com_open(pty.path(), 57600));

    std::uint8_t regs[20] = {};
    const auto start = Clock::now();
    ASSERT_TRUE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_LT(ms_since(start), 250) << "a complete reply must not wait for the time-out";
    EXPECT_EQ(slave.last_request(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(regs[2 * i], values[i] >> 8) << "register " << i;
        EXPECT_EQ(regs[2 * i + 1], values[i] & 0xFF) << "register " << i;
    }

    // Another window of registers: first and count go out high byte first.
    std::uint8_t three[6] = {};
    ASSERT_TRUE(modbus_read_holding(1, 7, 3, three));
    EXPECT_EQ(slave.last_request(), with_crc({0x01, 0x03, 0x00, 0x07, 0x00, 0x03}));
    EXPECT_EQ(Bytes(three, three + 6), (Bytes{0x11, 0x13, 0xA5, 0xA5, 0x01, 0x07}));
}

TEST_F(ReadHolding, TheLargestReadOf125RegistersFitsAndLargerCountsAreRefused)
{
    ModbusSlavePeer slave(pty, 9, 125);
    for (int i = 0; i < 125; ++i) slave.set_register(i, static_cast<std::uint16_t>(0x0100 * i + 3));
    ASSERT_TRUE(com_open(pty.path(), 115200));

    std::vector<std::uint8_t> regs(2 * 126 + 2, 0xEE);
    ASSERT_TRUE(modbus_read_holding(9, 0, 125, regs.data()));
    EXPECT_EQ(regs[248], 124);
    EXPECT_EQ(regs[249], 3);
    EXPECT_EQ(regs[250], 0xEE) << "nothing written past 2 * count bytes";

    std::fill(regs.begin(), regs.end(), 0xEE);
    const int before = slave.requests();
    EXPECT_FALSE(modbus_read_holding(9, 0, 126, regs.data()));
    EXPECT_FALSE(modbus_read_holding(9, 0, 0, regs.data()));
    EXPECT_EQ(slave.requests(), before) << "refused before anything is sent";
    EXPECT_EQ(regs[0], 0xEE);
}

TEST_F(ReadHolding, AnExceptionReplyFailsAtTheTimeOut)
{
    ModbusSlavePeer slave(pty, 1, 10);
    ASSERT_TRUE(com_open(pty.path(), 57600));
    std::uint8_t regs[22];
    std::memset(regs, 0x5A, sizeof regs);
    const auto start = Clock::now();
    // Register 10 is past the server's map: it answers with exception 2, five bytes.
    EXPECT_FALSE(modbus_read_holding(1, 0, 11, regs));
    EXPECT_TRUE(ended_at_the_time_out(start));
    EXPECT_EQ(slave.requests(), 1);
    EXPECT_TRUE(all_bytes_are(regs, 0x5A));
}

TEST(ReadHoldingClosed, FailsAtOnceWithNoPortOpen)
{
    com_close();
    std::uint8_t regs[20] = {};
    const auto start = Clock::now();
    EXPECT_FALSE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_LT(ms_since(start), 50);
}

TEST_F(ReadHolding, APortThatHungUpFailsAtOnceInsteadOfWaitingOutTheTimeOut)
{
    ASSERT_TRUE(com_open(pty.path(), 57600));
    // What a USB adapter pulled out mid-poll leaves behind: a hung-up tty, which reads as end
    // of file and polls as ready for ever.
    if (::ioctl(com_handle, TIOCVHANGUP) != 0) GTEST_SKIP() << "hanging up a tty needs CAP_SYS_ADMIN";
    std::uint8_t regs[20];
    std::memset(regs, 0x5A, sizeof regs);
    const auto start = Clock::now();
    EXPECT_FALSE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_LT(ms_since(start), 200);
    EXPECT_TRUE(all_bytes_are(regs, 0x5A));
}

// --- the transaction against scripted replies ---

class ReadHoldingScripted : public ReadHolding {
protected:
    void SetUp() override { ASSERT_TRUE(com_open(pty.path(), 57600)); }
    static std::vector<std::uint16_t> ten() { return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; }
    ScriptedPeer peer{pty};
};

TEST_F(ReadHoldingScripted, AcceptanceRestsOnLengthAndCrcAlone)
{
    std::uint8_t regs[20];

    // Another address and another function code, with a correct CRC: accepted as it stands.
    peer.answer(holding_reply(0x42, ten(), 0x04));
    ASSERT_TRUE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_EQ(regs[0], 0);
    EXPECT_EQ(regs[1], 1);
    EXPECT_EQ(regs[19], 10);

    // CRC bytes swapped, a data byte flipped, the CRC's high byte wrong: all rejected, and the
    // destination is left as it was.
    Bytes swapped = holding_reply(1, ten());
    ASSERT_NE(swapped[23], swapped[24]);
    std::swap(swapped[23], swapped[24]);
    Bytes flipped = holding_reply(1, ten());
    flipped[10] ^= 0x01;
    Bytes high_wrong = holding_reply(1, ten());
    high_wrong[24] ^= 0x80;
    for (const Bytes& bad : {swapped, flipped, high_wrong}) {
        std::memset(regs, 0x77, sizeof regs);
        peer.answer(bad);
        EXPECT_FALSE(modbus_read_holding(1, 0, 10, regs));
        ASSERT_TRUE(all_bytes_are(regs, 0x77));
    }
    // Each of them was one request and no retry.
    EXPECT_EQ(peer.requests().size(), 4u);
}

TEST_F(ReadHoldingScripted, AReplyInPiecesIsCollectedUntilComplete)
{
    // No gap between bytes ends a read: only the total time-out does.
    const Bytes reply = holding_reply(1, ten());
    peer.answer_in_pieces({Bytes(reply.begin(), reply.begin() + 3),
                           Bytes(reply.begin() + 3, reply.begin() + 20),
                           Bytes(reply.begin() + 20, reply.end())},
                          200);
    std::uint8_t regs[20] = {};
    const auto start = Clock::now();
    EXPECT_TRUE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_GE(ms_since(start), 390);
    EXPECT_EQ(regs[19], 10);
}

TEST_F(ReadHoldingScripted, NoReplyFailsAfterTheTimeOutAndTheNextPollStillWorks)
{
    peer.stay_silent();
    std::uint8_t regs[20] = {};
    const auto start = Clock::now();
    EXPECT_FALSE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_TRUE(ended_at_the_time_out(start));

    peer.answer(holding_reply(1, ten()));
    EXPECT_TRUE(modbus_read_holding(1, 0, 10, regs));
}

TEST_F(ComOpen, BytesWaitingBeforeTheOpenAreDiscarded)
{
    // Stale bytes in the receive queue would shift the reply and fail its CRC.
    pty.inject({0x01, 0x03, 0x14, 0x00, 0x00, 0xAB});
    ASSERT_TRUE(com_open(pty.path(), 19200));
    ScriptedPeer peer(pty);
    peer.answer(holding_reply(1, {0x0102}));
    std::uint8_t regs[2] = {};
    EXPECT_TRUE(modbus_read_holding(1, 0, 1, regs));
    EXPECT_EQ(regs[0], 1);
    EXPECT_EQ(regs[1], 2);
}

}  // namespace

namespace {

// --- stale bytes and a blocked line between polls ---

TEST_F(ReadHolding, AStrayOrLateByteInTheQueueSpoilsNoLaterPoll)
{
    ModbusSlavePeer slave(pty, 1);
    slave.set_register(9, 0x0A0B);
    ASSERT_TRUE(com_open(pty.path(), 57600));
    std::uint8_t regs[20] = {};
    ASSERT_TRUE(modbus_read_holding(1, 0, 10, regs));

    // Line noise, or the tail of a reply that came after its poll gave up: one byte waits in
    // the receive queue when the next request goes out.
    pty.inject({0x5A});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int poll = 0; poll < 4; ++poll) {
        std::memset(regs, 0, sizeof regs);
        EXPECT_TRUE(modbus_read_holding(1, 0, 10, regs)) << "poll " << poll;
        EXPECT_EQ(regs[18], 0x0A) << "poll " << poll;
        EXPECT_EQ(regs[19], 0x0B) << "poll " << poll;
    }
}

TEST_F(ReadHolding, AWriteThatCannotGoOutFailsAfterASecond)
{
    ASSERT_TRUE(com_open(pty.path(), 57600));
    // Nobody reads the far end: the line's buffers fill and a long write can never finish.
    std::vector<std::uint8_t> flood(1 << 20, 0x55);
    auto start = Clock::now();
    EXPECT_FALSE(com_write(flood.data(), flood.size()));
    EXPECT_TRUE(ended_at_the_time_out(start));
}

TEST_F(ReadHolding, AStoppedLineFailsThePollInASecondAndLeavesNoHalfRequestBehind)
{
    ScriptedPeer peer(pty);
    ASSERT_TRUE(com_open(pty.path(), 57600));
    // Output held back as hardware flow control holds it while the far end keeps CTS low.
    ASSERT_EQ(::tcflow(com_handle, TCOOFF), 0);
    std::uint8_t regs[20] = {};
    auto start = Clock::now();
    EXPECT_FALSE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_TRUE(ended_at_the_time_out(start)) << "the write's second, not the write's and the read's";

    // CTS back: the next request goes out alone and whole, and its reply is taken.
    ASSERT_EQ(::tcflow(com_handle, TCOON), 0);
    peer.answer(holding_reply(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(modbus_read_holding(1, 0, 10, regs));
    EXPECT_EQ(regs[19], 10);
    EXPECT_EQ(peer.requests(), (std::vector<Bytes>{{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}}));
}

}  // namespace
