// The Modbus RTU register read (function 3) and its CRC-16, on the port that com_open opened.
#include "comport/comport.h"

#include <array>
#include <cstring>

#include "comport/serial_port.h"

namespace {

// The two byte tables of the Modbus serial line's CRC, both from one rule: T(i) is i after
// eight steps of "shift right by one, then XOR 0xA001 if the bit shifted out was 1". The
// table for the CRC's high-order byte holds the low byte of T(i) (0x00, 0xC1, 0x81, 0x40, ...),
// the table for its low-order byte the high byte of T(i) (0x00, 0xC0, 0xC1, 0x01, ...).
struct CrcTables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

constexpr CrcTables make_crc_tables()
{
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int step = 0; step < 8; ++step) v = (v & 1u) ? (v >> 1) ^ 0xA001u : v >> 1;
        t.high[i] = static_cast<std::uint8_t>(v & 0xFF);
        t.low[i] = static_cast<std::uint8_t>(v >> 8);
    }
    return t;
}

constexpr CrcTables crc_tables = make_crc_tables();
static_assert(crc_tables.high[1] == 0xC1 && crc_tables.high[2] == 0x81 && crc_tables.high[3] == 0x40);
static_assert(crc_tables.low[1] == 0xC0 && crc_tables.low[2] == 0xC1 && crc_tables.low[3] == 0x01);

constexpr std::uint8_t read_holding_function = 3;
// Function 3 reads at most 125 registers: the reply is then 2 * 125 + 5 = 255 bytes.
constexpr std::uint16_t max_registers = 125;
constexpr std::size_t request_size = 8;

}  // namespace

std::uint16_t modbus_crc16(const std::uint8_t* data, std::uint16_t length)
{
    std::uint8_t lo = 0xFF;
    std::uint8_t hi = 0xFF;
    for (std::uint16_t k = 0; k < length; ++k) {
        const std::uint8_t i = data[k] ^ lo;
        lo = hi ^ crc_tables.high[i];
        hi = crc_tables.low[i];
    }
    return static_cast<std::uint16_t>(hi << 8 | lo);
}

bool modbus_read_holding(std::uint8_t address, std::uint16_t first, std::uint16_t count,
                         std::uint8_t* destination)
{
    // A count outside what function 3 allows would not fit the frame buffer.
    if (count < 1 || count > max_registers) return false;

    // One buffer carries the request out and then takes the reply in.
    std::array<std::uint8_t, 256> frame{};
    frame[0] = address;
    frame[1] = read_holding_function;
    frame[2] = static_cast<std::uint8_t>(first >> 8);
    frame[3] = static_cast<std::uint8_t>(first & 0xFF);
    frame[4] = static_cast<std::uint8_t>(count >> 8);
    frame[5] = static_cast<std::uint8_t>(count & 0xFF);
    const std::uint16_t request_crc = modbus_crc16(frame.data(), 6);
    frame[6] = static_cast<std::uint8_t>(request_crc & 0xFF);
    frame[7] = static_cast<std::uint8_t>(request_crc >> 8);

    // Whatever waits in the queues belongs to no request of ours: a stray byte left there would
    // shift this reply and every later one. A request that could not go out within the write
    // time-out gets no reply; waiting for one would hold the window a second longer.
    com_purge();
    if (!com_write(frame.data(), request_size)) return false;

    // Slave address, function code and byte count of the reply are not examined: the reply
    // stands or falls by its length and its CRC. A short reply (an exception reply among them)
    // is rejected before the CRC comparison: the bytes that did not arrive hold nothing.
    const std::size_t data_size = 2u * count;
    const std::size_t reply_size = data_size + 5;
    if (com_read(frame.data(), reply_size) != static_cast<long>(reply_size)) return false;
    const std::uint16_t reply_crc =
        modbus_crc16(frame.data(), static_cast<std::uint16_t>(reply_size - 2));
    if (frame[reply_size - 2] != (reply_crc & 0xFF) || frame[reply_size - 1] != (reply_crc >> 8))
        return false;

    std::memcpy(destination, frame.data() + 3, data_size);
    return true;
}
